// The one reporter of caught tk_exceptions in a program.
#pragma once

#include <map>
#include <string>

#include "TK/tk_except.h"
#include "TK/tk_singl.h"

class tk_error_converter {
public:
    tk_error_converter();
    std::string convert(int code) const;

    std::map<unsigned, std::string> messages;
};

class error_handler : public tk_singleton<error_handler> {
public:
    error_handler();
    ~error_handler() override = default;

    // Reports one exception. Each program supplies its own build of this operation:
    // the console prints, the wizard shows dialogs.
    void handle(const tk_exception& e, bool can_continue);

    // The message shown for e: prefix, then the table's text for its code or what().
    std::string make_message(const tk_exception& e) const;

    std::string prefix;
    bool quiet = false;
    std::map<int, int> help_topics;
    tk_error_converter converter;
};
