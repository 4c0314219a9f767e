// Strong writing direction of a character (the core does not export its own tables).
#pragma once

#include <CharTypes.h>

namespace kvl {

// A letter written left to right.
bool unicodeTypeL(Unicode c);
// A letter written right to left (Hebrew, Arabic and the other right-to-left scripts).
bool unicodeTypeR(Unicode c);

} // namespace kvl
