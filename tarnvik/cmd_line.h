// The console program's options, usage text and start-up failure exit.
#pragma once

#include <string>

// The three option strings, filled only by parse_cmd_line.
extern std::string option_src;
extern std::string option_dest;
extern std::string option_pswd;

extern const char* const usage_text;
constexpr int program_version_major = 2;
constexpr int program_version_minor = 3;

// The destination a run writes: the given one, or the source with the extension ".xml".
std::string destination_for(const std::string& src, const std::string& dest);
// Looks at the whole command line before any option is applied: throws a level-1
// tk_exception when a log file it names is the source or the destination (the log would
// be emptied or written over it while the options are applied).
void check_log_files(int argc, const char* const* argv);
// Applies every argument in order; false when one was not recognised.
bool parse_cmd_line(int argc, const char* const* argv);
// The usage text formatted with the program's version.
std::string usage_message();
// Prints the text on standard error and ends the process with -1.
[[noreturn]] void fatal_error(const std::string& text);
