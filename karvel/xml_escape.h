// The ASCII text that stands for one character code in the XML document.
#pragma once

#include <string>

namespace kvl {

// Code written in place of characters that XML 1.0 cannot carry, even as a reference:
// controls other than tab, line feed and carriage return, surrogates, U+FFFE, U+FFFF and
// anything above U+10FFFF. It is written as its reference "&#65533;".
constexpr unsigned xml_replacement_code = 0xFFFD;

// True when a reference to the code is allowed in an XML 1.0 document.
bool xml_is_char(unsigned code);

// One code as the document writes it: a few printable ASCII bytes as themselves, '&' as
// "&amp;", codes from U+0100 up as one decimal reference of the whole code, the other
// bytes as a two-digit hexadecimal reference. The result is always pure ASCII.
std::string xml_escape_code(unsigned code);

// Appends xml_escape_code(code) to out.
void xml_append_escaped(std::string& out, unsigned code);

} // namespace kvl
