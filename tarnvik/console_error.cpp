// The console build of the error handler's report: plain text on standard output.
#include <cstdio>
#include <cstdlib>

#include "TK/tk_error.h"
#include "TK/tk_log.h"

void error_handler::handle(const tk_exception& e, bool /*can_continue*/)
{
    tk_log(2, "error_handler::handle");
    if (e.level == 2) {
        tk_log(3, "Internal error:\n%s", e.what());
        std::fprintf(stdout, "Internal error: %s\n", e.what());
        std::fflush(stdout);
        std::exit(-1);
    }
    std::string message = make_message(e);
    tk_log(3, "Error:\n%s", message.c_str());
    for (char& c : message)
        if (c == '\n')
            c = ' ';
    if (!quiet) {
        std::fputs("Error:\n", stdout);
        std::fflush(stdout);
        std::fprintf(stdout, "%s\n", message.c_str());
        std::fflush(stdout);
    }
    if (e.level == 1) {
        tk_log(1, "Got 1-level error");
        std::exit(-1);
    }
    tk_log(1, "Got 0-level error");
}
