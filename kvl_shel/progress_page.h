// The progress page: runs the conversion on the worker thread and shows its progress.
#pragma once

#include <memory>

#include "GUI2/g_wiz_pg.h"
#include "TK/tk_stop_signals.h"
#include "TK/tk_threa.h"

class QLabel;
class QProgressBar;

class progress_page : public wizard_page<105, wizb_back | wizb_next, psp_hashelp>, public tk_thread {
public:
    progress_page();
    ~progress_page() override;

    bool page_init() override;
    void on_timer(int timer_id) override;
    void on_help() override;

    // Ends a worker that still runs: asks the run to stop and waits for it, while the
    // user-interface thread keeps serving what the worker hands to it.
    void end_worker();

    // The stop signal (SIGINT, SIGTERM, SIGHUP) that ended a run and closed the wizard as a
    // confirmed Cancel does; 0 when none did. The program then ends by it.
    int stopped_by_signal() const { return stop_signal; }

    QLabel* status;
    QProgressBar* bar;

protected:
    tk_thread_functor* create_functor() override;

private:
    bool ending = false;
    // While the worker runs, the stop signals ask it to stop instead of ending the process.
    std::unique_ptr<tk_stop_signals> stop_scope;
    int stop_signal = 0;
};
