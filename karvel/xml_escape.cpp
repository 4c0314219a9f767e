#include "karvel/xml_escape.h"

#include <cstdio>

#include "TK/tk_log.h"

namespace kvl {

bool xml_is_char(unsigned code)
{
    if (code < 0x20)
        return code == 0x09 || code == 0x0A || code == 0x0D;
    if (code >= 0xD800 && code <= 0xDFFF)
        return false;
    if (code == 0xFFFE || code == 0xFFFF)
        return false;
    return code <= 0x10FFFF;
}

namespace {

// The printable bytes that stand for themselves.
bool is_literal_byte(unsigned b)
{
    return b == 0x20 || (b >= 0x28 && b <= 0x3B) || b == 0x3D || (b >= 0x40 && b <= 0x7E);
}

void append_decimal_reference(std::string& out, unsigned code)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "&#%u;", code);
    out += buf;
}

} // namespace

void xml_append_escaped(std::string& out, unsigned code)
{
    const unsigned low = code & 0xFFu;
    tk_log(1, "TextPage::convertChar(%04X, '%c')", code, static_cast<signed char>(low));

    if (!xml_is_char(code)) {
        append_decimal_reference(out, xml_replacement_code);
        return;
    }
    // From U+0100 up (also codes above U+FFFF whose second byte is zero): the whole code.
    if ((code & 0xFF00u) != 0 || code > 0xFFFFu) {
        tk_log(1, "kod16='%x' kod10='%d' left='%c' right='%c'\n", code, static_cast<int>(code),
               static_cast<signed char>((code >> 8) & 0xFFu), static_cast<signed char>(low));
        append_decimal_reference(out, code);
        return;
    }
    if (low == 0x26) {
        out += "&amp;";
        return;
    }
    if (is_literal_byte(low)) {
        out += static_cast<char>(low);
        return;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "&#x%02X;", low);
    out += buf;
}

std::string xml_escape_code(unsigned code)
{
    std::string out;
    xml_append_escaped(out, code);
    return out;
}

} // namespace kvl
