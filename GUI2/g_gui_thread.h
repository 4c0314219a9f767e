// Hands work from any thread to the user-interface thread and waits for it.
#pragma once

#include <functional>

// Runs work on the user-interface thread: at once when called there (or when no
// application object exists), otherwise by posting it and waiting until it has run.
// An exception thrown by the work is rethrown to the caller.
void run_on_gui_thread(const std::function<void()>& work);

// True on the user-interface thread, or when no application object exists.
bool on_gui_thread();
