#pragma once

// The console program: builds its long-lived objects, checks the options and runs one
// conversion. Returns the exit code, or ends the process itself on reported failures.
int tarnvik_main(int argc, const char* const* argv);
