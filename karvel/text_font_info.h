// A font used on the page: the core's font of a graphics state.
#pragma once

#include <memory>

class GfxFont;
class GfxState;

namespace kvl {

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
};

} // namespace kvl
