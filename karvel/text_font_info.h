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

    // Held for the page, so that a record never outlives its font or stands for a
    // different font allocated at the same address. Null for a state without font.
    std::shared_ptr<GfxFont> gfxFont;
};

} // namespace kvl
