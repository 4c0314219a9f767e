#include "kvl_shel/progress_page.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "GUI2/g_gui_thread.h"
#include "GUI2/g_wiz_sh.h"
#include "karvel/kvl_conv.h"
#include "platform/plat_output_file.h"

namespace {

// The page whose run the exit hooks end; null outside a run.
std::atomic<progress_page*> running_page{nullptr};
// Set once exit() has ended the run: the process then ends with exit's status, or by the
// stop signal that came, before the static objects made before the run go.
std::atomic<bool> ended_at_exit{false};
std::atomic<int> exit_signal{0};

// The first thing exit() does is destroy the calling thread's thread-local objects: this
// one, made on the user-interface thread, ends the run before any static object goes.
struct exit_watch {
    bool armed = false;
    ~exit_watch()
    {
        if (progress_page* page = running_page.exchange(nullptr))
            page->end_run_at_exit();
    }
};
thread_local exit_watch gui_thread_exit_watch;

// Ends the process at once: by the stop signal when one came, else with the status.
[[noreturn]] void end_now(int status, int sig)
{
    std::fflush(nullptr);
    if (sig != 0)
        tk_end_by_signal(sig);
    std::_Exit(status);
}

void end_after_run(int status, void*)
{
    if (ended_at_exit)
        end_now(status, exit_signal);
}

// Arms both hooks on the user-interface thread. The exit handler is registered once, at the
// first run, so it runs before the static objects that exist by then are destroyed.
void watch_exit()
{
    gui_thread_exit_watch.armed = true; // its first use makes it on this thread
    static std::once_flag once;
    std::call_once(once, [] { on_exit(&end_after_run, nullptr); });
}

void serve_gui()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

progress_page::progress_page() : tk_thread(false)
{
    set_header(QStringLiteral("Step 3 of 3"), QStringLiteral("Document converting is in progress"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Document converting is in progress. Please wait until the wizard completes")));
    layout->addWidget(new QLabel(QStringLiteral("converting your PDF document into XML format.")));
    layout->addStretch(1);
    status = new QLabel();
    status->setObjectName(QStringLiteral("1323"));
    status->setAlignment(Qt::AlignCenter);
    layout->addWidget(status);
    bar = new QProgressBar();
    bar->setObjectName(QStringLiteral("1321"));
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    bar->setValue(0);
    layout->addWidget(bar);
    layout->addStretch(1);
}

progress_page::~progress_page()
{
    end_worker();
    progress_page* self = this;
    running_page.compare_exchange_strong(self, nullptr);
}

tk_thread_functor* progress_page::create_functor()
{
    return &tk_singleton<karvel_convertor>::instance();
}

bool progress_page::page_init()
{
    post_wizard_buttons(0);
    bar->setValue(0);
    ending = false;
    stop_signal = 0;
    resume_gui_handovers();
    // In place before the worker starts: its first write past the file-size limit already
    // fails as a write instead of ending the program.
    stop_scope.reset();
    stop_scope = std::make_unique<tk_stop_signals>(create_functor());
    start();
    if (is_alive()) {
        watch_exit();
        running_page = this;
    } else {
        stop_scope.reset();
    }
    return true;
}

void progress_page::on_timer(int)
{
    if (ending)
        return;
    // A stop signal during the run is a confirmed Cancel: the worker was asked to stop by
    // the handler, the boxes open now close (the Cancel question as answered Yes, an error
    // as answered OK) and the wizard closes. Nothing is waited for here, where a box may be
    // open below: the entry then ends the worker and the program ends by the signal.
    if (stop_scope != nullptr && tk_stop_signals::received() != 0) {
        stop_signal = tk_stop_signals::received();
        ending = true;
        functor->request_stop();
        stop_gui_handovers();
        auto& shell = static_cast<QDialog&>(tk_singleton<wizard_shell>::instance());
        if (shell.isVisible())
            shell.done(QDialog::Rejected);
        return;
    }
    // Outside a run the signals end the program as they always do.
    if (!is_alive())
        stop_scope.reset();
    karvel_convertor& conv = tk_singleton<karvel_convertor>::instance();
    const double percent = conv.get_percent();
    // The finish page says the document is converted: move on once the run has also
    // ended, so that the document's closing lines are written (and any failure in
    // writing them has been reported) before it is shown.
    if (percent >= 100.0 && !is_alive()) {
        wizard_shell& shell = tk_singleton<wizard_shell>::instance();
        shell.stop_timer();
        shell.setCurrentId(106);
    }
    bar->setValue(static_cast<int>(percent));
    char text[256];
    std::snprintf(text, sizeof text, "Processing page %ld of %ld", static_cast<long>(conv.page_index.load()),
                  static_cast<long>(conv.page_count.load()));
    status->setText(QString::fromUtf8(text));
}

void progress_page::on_help()
{
    wizard_shell::display_help();
}

bool progress_page::end_worker(std::chrono::milliseconds limit)
{
    ending = true;
    if (functor != nullptr && is_alive()) {
        stop_gui_handovers();
        if (!stop_within(limit, &serve_gui))
            return false;
    }
    if (!is_alive())
        cleanup();
    if (stop_scope != nullptr) {
        // A signal that came while the run was being ended ends the program too.
        if (stop_signal == 0)
            stop_signal = tk_stop_signals::received();
        stop_scope.reset();
    }
    resume_gui_handovers();
    progress_page* self = this;
    running_page.compare_exchange_strong(self, nullptr);
    if (tk_singleton<wizard_shell>::exists())
        tk_singleton<wizard_shell>::instance().stop_timer();
    return true;
}

int progress_page::stopped_by_signal() const
{
    if (stop_signal != 0)
        return stop_signal;
    return stop_scope != nullptr ? tk_stop_signals::received() : 0;
}

void progress_page::save_settings_and_remove_destination()
{
    // The worker only reads what the settings hold, so they are saved beside it too.
    if (tk_singleton<karvel_convertor>::exists()) {
        try {
            tk_singleton<karvel_convertor>::instance().serialize(true);
        } catch (...) {
            // the stored settings stay as they were
        }
    }
    plat_remove_unfinished_output();
}

void progress_page::end_process(int status)
{
    save_settings_and_remove_destination();
    end_now(status, stopped_by_signal());
}

void progress_page::end_run_at_exit()
{
    // Nothing serves the worker any more: what it waits for returns now.
    abandon_gui_handovers();
    stop_within(worker_end_limit);
    save_settings_and_remove_destination();
    exit_signal = stopped_by_signal();
    ended_at_exit = true;
}
