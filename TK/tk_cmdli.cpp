#include "TK/tk_cmdli.h"

#include <cstring>

#include "TK/tk_except.h"

namespace {
const char* const source_file = "tk_cmdli.cpp";
}

const char* TCmdLine::value() const
{
    if (!has_more())
        throw tk_mail_assertion(source_file, 147);
    return current_value;
}

int TCmdLine::id() const
{
    if (!has_more())
        throw tk_mail_assertion(source_file, 140);
    return current_id;
}

ansi_cmd_line::ansi_cmd_line(int argc, const char* const* argv, const cmd_line_option* table)
    : TCmdLine(table), cursor(argv + 1), remaining(argc - 1)
{
    if (argc > 1)
        classify(*cursor);
}

void ansi_cmd_line::next()
{
    if (!has_more())
        throw tk_mail_assertion(source_file, 60);
    ++cursor;
    --remaining;
    if (has_more())
        classify(*cursor);
}

void ansi_cmd_line::classify(const char* argument)
{
    if (!has_more())
        throw tk_mail_assertion(source_file, 19);
    // The end row's empty prefix matches every argument.
    const cmd_line_option* row = options;
    while (std::strncmp(argument, row->prefix, std::strlen(row->prefix)) != 0)
        ++row;
    current_value = argument + std::strlen(row->prefix);
    if (*row->prefix != '\0') {
        current_id = row->id;
        return;
    }
    current_id = -1;
    if (unknown_count >= 20)
        throw tk_mail_assertion(source_file, 52);
    unknown[unknown_count++] = argument;
}
