#include "karvel/text_font_info.h"

#include <GfxFont.h>
#include <GfxState.h>

namespace kvl {

TextFontInfo::TextFontInfo(GfxState* state)
{
    if (state != nullptr)
        gfxFont = state->getFont();
}

bool TextFontInfo::matches(GfxState* state) const
{
    GfxFont* current = state != nullptr ? state->getFont().get() : nullptr;
    return gfxFont.get() == current;
}

} // namespace kvl
