// Parsing of page-list texts such as "1,3,5-10".
#include <climits>
#include <cstring>

#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "karvel/kvl_conv.h"

namespace {

// Reads a number as atoi does (leading white space, optional sign, digits up to the
// first other character; none give 0), saturating instead of overflowing.
long read_page_number(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::strchr(" \t\n\v\f\r", text[i]) != nullptr)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (value < INT_MAX)
            value = value * 10 + (text[i] - '0');
    if (value > INT_MAX)
        value = INT_MAX;
    return negative ? -value : value;
}

[[noreturn]] void invalid_range()
{
    throw tk_exception("Invalid page range", 1);
}

// Refuses a list that would grow past the bound, before anything is allocated for it.
void check_room(const std::vector<unsigned>& list, unsigned long more)
{
    if (more > max_page_list_length - list.size())
        throw tk_exception("Invalid page range: a page list may name at most 1000000 pages.", 1);
}

void append_page(std::vector<unsigned>& list, unsigned page)
{
    check_room(list, 1);
    tk_log(1, "Store page #%d", static_cast<int>(page));
    list.push_back(page);
}

} // namespace

void karvel_convertor::set_page_range(const std::string& text)
{
    tk_log(1, "karvel_convertor::set_page_range(%s)", text.c_str());
    page_list.clear();
    pages_text = text;
    for (const std::string& raw : tk_split(pages_text, ',')) {
        const std::string item = tk_trim(raw);
        if (item.find('-') == std::string::npos) {
            const long n = read_page_number(item);
            if (n == 0)
                invalid_range();
            append_page(page_list, static_cast<unsigned>(n));
            continue;
        }
        tk_log(1, "Got page range: %s", item.c_str());
        const std::vector<std::string> ends = tk_split(item, '-');
        if (ends.size() != 2)
            invalid_range();
        const unsigned a = static_cast<unsigned>(read_page_number(ends[0]));
        const unsigned b = static_cast<unsigned>(read_page_number(ends[1]));
        if (a == 0 || b == 0 || a >= b)
            invalid_range();
        check_room(page_list, static_cast<unsigned long>(b - a) + 1);
        for (unsigned i = a; i <= b; ++i)
            append_page(page_list, i);
    }
}
