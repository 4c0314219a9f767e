// A font used on the page: the core's font of a graphics state.
#pragma once

#include <memory>
#include <string>

class GfxFont;
class GfxState;

namespace kvl {

// What a word takes from its font's names and flags: the same for every word of the
// font, so it is worked out once per font record.
struct TextFontFamily {
    bool known = false;
    bool isSans = false, isSerif = false, isBold = false, isItalic = false, isDisplay = false;
    double spaceWidth = 0;
    std::string fontCode;
    std::string faceName;
};

class TextFontInfo {
public:
    explicit TextFontInfo(GfxState* state);

    // True when this record stands for the state's current font.
    bool matches(GfxState* state) const;

    // The font while the core still holds it; null for a state without font. The record
    // does not keep the font alive (a form's fonts go with the form), and a font freed by
    // the core is never mistaken for a later one at the same address.
    std::shared_ptr<GfxFont> getFont() const { return gfxFont.lock(); }

    std::weak_ptr<GfxFont> gfxFont;
    bool hasFont = false;
    TextFontFamily family;
};

} // namespace kvl
