#include "karvel/text_font_info.h"

#include <GfxFont.h>
#include <GfxState.h>

namespace kvl {

TextFontInfo::TextFontInfo(GfxState* state)
{
    if (state != nullptr && state->getFont()) {
        gfxFont = state->getFont();
        hasFont = true;
    }
}

bool TextFontInfo::matches(GfxState* state) const
{
    GfxFont* current = state != nullptr ? state->getFont().get() : nullptr;
    if (current == nullptr)
        return !hasFont;
    return hasFont && gfxFont.lock().get() == current;
}

} // namespace kvl
