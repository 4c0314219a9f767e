// The stop signals of a run: SIGINT, SIGTERM and SIGHUP.
#pragma once

#include "TK/tk_threa.h"

// While it exists, the first stop signal asks the job to stop (the run ends at its next
// poll and removes its unfinished destination) and is remembered; a second one removes the
// unfinished destination itself and ends the process by that signal at once. SIGABRT (the
// PDF core aborts when it runs out of memory) removes the unfinished destination on the
// way out too. A stop signal ignored from the start stays ignored (as nohup asks for the
// hang-up). Interrupted system calls are not resumed: a write blocked on a full pipe or
// an open of a FIFO nobody reads returns, and the run sees the stop request. SIGXFSZ is
// ignored meanwhile, so that a write past the file-size limit fails (EFBIG) as any failed
// write does instead of ending the process with a cut file.
class tk_stop_signals {
public:
    explicit tk_stop_signals(tk_thread_functor* job);
    ~tk_stop_signals();
    tk_stop_signals(const tk_stop_signals&) = delete;
    tk_stop_signals& operator=(const tk_stop_signals&) = delete;

    // The first stop signal since the last scope was made; 0 while none came.
    static int received();
};

// Ends the process as the signal's default action does, so the caller sees its status.
[[noreturn]] void tk_end_by_signal(int sig);
