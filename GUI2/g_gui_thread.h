// Hands work from any thread to the user-interface thread and waits for it.
#pragma once

#include <functional>

class QDialog;

// Runs work on the user-interface thread: at once when called there (or when no
// application object exists), otherwise by posting it and waiting until it has run.
// An exception thrown by the work is rethrown to the caller. While hand-overs are
// stopped, work from another thread is not run and the call returns at once.
void run_on_gui_thread(const std::function<void()>& work);

// True on the user-interface thread, or when no application object exists.
bool on_gui_thread();

// Runs a modal dialog (a message box, an error dialog) on the user-interface thread and
// returns the value it ended with. While hand-overs are stopped it is not shown and
// stop_answer is returned; one that is open when they stop closes with stop_answer.
int run_modal(QDialog& dialog, int stop_answer);

// A run is being stopped (user-interface thread): the open modal dialogs close with their
// stop answers, work waiting to be handed over is dropped, and from now on hand-overs
// and modal dialogs return at once without running.
void stop_gui_handovers();
// Hand-overs and modal dialogs run again (a run starts, or a stopped one has ended).
void resume_gui_handovers();
// The user-interface thread serves nothing more (the process is ending): every waiting
// hand-over returns, also one whose work has begun, and later ones return at once.
void abandon_gui_handovers();
