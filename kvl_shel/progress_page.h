// The progress page: runs the conversion on the worker thread and shows its progress.
#pragma once

#include <chrono>
#include <memory>

#include "GUI2/g_wiz_pg.h"
#include "TK/tk_stop_signals.h"
#include "TK/tk_threa.h"

class QLabel;
class QProgressBar;

// How long a worker asked to stop is waited for before the program ends without it.
constexpr std::chrono::milliseconds worker_end_limit{3000};

class progress_page : public wizard_page<105, wizb_back | wizb_next, psp_hashelp>, public tk_thread {
public:
    progress_page();
    ~progress_page() override;

    bool page_init() override;
    void on_timer(int timer_id) override;
    void on_help() override;

    // Ends a worker that still runs: asks the run to stop (the boxes it waits for close,
    // what it asks from now on returns at once) and waits for it at most `limit`, while
    // the user-interface thread keeps serving what the worker hands to it. True when no
    // worker runs any more.
    bool end_worker(std::chrono::milliseconds limit = worker_end_limit);

    // The stop signal (SIGINT, SIGTERM, SIGHUP) that came during the run and closed the
    // wizard as a confirmed Cancel, or came while the run was being ended; 0 when none
    // did. The program then ends by it.
    int stopped_by_signal() const;

    // Ends the process while the worker may still run (it did not stop in time): the
    // settings are saved, the unfinished destination is removed, and the process ends by
    // the stop signal that came, else with the status; nothing the worker may still use
    // is destroyed.
    [[noreturn]] void end_process(int status);

    // The process is ending by exit() during the run (the display plugin calls exit(1) when
    // the connection to the display breaks): run on the user-interface thread before any
    // static object is destroyed. Stops the worker within the limit without serving it,
    // saves the settings and removes the unfinished destination.
    void end_run_at_exit();

    QLabel* status;
    QProgressBar* bar;

protected:
    tk_thread_functor* create_functor() override;

private:
    void save_settings_and_remove_destination();

    bool ending = false;
    // While the worker runs, the stop signals ask it to stop instead of ending the process.
    std::unique_ptr<tk_stop_signals> stop_scope;
    int stop_signal = 0;
};
