// System services of the wizard: clipboard, bug-report mail and the GUI library's version.
// None of them throws or shows anything; failures are only traced.
#pragma once

#include <ctime>
#include <string>

// The recipient of bug reports.
extern const char* const tk_bug_address;

// Puts the text on the clipboard as plain text (the wizard's GUI library provides it).
void tk_copy_to_clipboard1(const std::string& text);

// Mails a bug report through "sendmail -t" when the system has one.
void tk_send_bug(const std::string& app_name, const std::string& message);

// The report's date text "year/month/day hour:minute" without leading zeros.
std::string tk_bug_report_date(const std::tm& local);

// The GUI library's run-time version: major in the high 16 bits, minor in the low 16
// bits; 0 when it cannot be read (the wizard's GUI library provides it).
unsigned get_dll_version(const wchar_t* dll_name);

// The version number of a "major.minor[.patch]" text, 0 when it is not one.
unsigned tk_parse_version(const char* text);
