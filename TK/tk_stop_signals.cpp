#include "TK/tk_stop_signals.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "platform/plat_output_file.h"

namespace {

const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The job the signals ask to stop, and the first stop signal (0 while none came).
std::atomic<tk_thread_functor*> signalled_job{nullptr};
std::atomic<int> first_signal{0};

struct sigaction previous[std::size(stop_signals)];
struct sigaction previous_abort;
struct sigaction previous_file_size;

// Leaves the handler with the signal's default action pending: the process ends by it
// as soon as the handler returns.
void default_action(int sig)
{
    signal(sig, SIG_DFL);
    raise(sig);
}

void on_stop_signal(int sig)
{
    const int saved_errno = errno;
    int none = 0;
    if (!first_signal.compare_exchange_strong(none, sig)) {
        plat_remove_unfinished_output();
        default_action(sig);
        return;
    }
    if (tk_thread_functor* job = signalled_job.load())
        job->request_stop();
    errno = saved_errno;
}

void on_abort(int sig)
{
    plat_remove_unfinished_output();
    default_action(sig);
}

} // namespace

tk_stop_signals::tk_stop_signals(tk_thread_functor* job)
{
    first_signal = 0;
    signalled_job = job;
    struct sigaction action {};
    action.sa_handler = &on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int sig : stop_signals)
        sigaddset(&action.sa_mask, sig);
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        if (sigaction(stop_signals[i], nullptr, &previous[i]) == 0 && previous[i].sa_handler != SIG_IGN)
            sigaction(stop_signals[i], &action, nullptr);
    struct sigaction abort_action {};
    abort_action.sa_handler = &on_abort;
    sigemptyset(&abort_action.sa_mask);
    sigaction(SIGABRT, &abort_action, &previous_abort);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &previous_file_size);
}

tk_stop_signals::~tk_stop_signals()
{
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        sigaction(stop_signals[i], &previous[i], nullptr);
    sigaction(SIGABRT, &previous_abort, nullptr);
    sigaction(SIGXFSZ, &previous_file_size, nullptr);
    signalled_job = nullptr;
}

int tk_stop_signals::received()
{
    return first_signal;
}

void tk_end_by_signal(int sig)
{
    signal(sig, SIG_DFL);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, sig);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(sig);
    std::_Exit(128 + sig); // not reached: the default action of these signals ends the process
}
