// The wizard program's entry and its start-up check.
#pragma once

#include <string>

// Builds the long-lived objects, runs the wizard modally and tears everything down;
// returns the process's exit code.
int karvel_main(int argc, char** argv);

// The wizard's window title: "Karvel" with the program's version.
std::string wizard_title();

// The run-time GUI library's version: major in the high 16 bits, minor in the low.
unsigned gui_library_version();
// True when the version is recent enough to run the wizard.
bool gui_library_accepted(unsigned version);
// Returns only when the GUI library is usable; otherwise reports and ends the process.
void check_gui_library();
