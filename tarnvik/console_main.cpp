#include "tarnvik/console_main.h"

#include <goo/GooString.h>
#include <PDFDoc.h>

#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "PDFR/pdf_open.h"
#include "TK/tk_error.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "karvel/kvl_conv.h"
#include "tarnvik/cmd_line.h"

namespace {

// Opens the document once and drops it, so that format and password failures are
// reported before any output is written.
void probe_document(const std::string& src, const std::string& pswd)
{
    std::unique_ptr<GooString> owner;
    std::unique_ptr<GooString> user;
    if (!pswd.empty()) {
        owner = std::make_unique<GooString>(pswd);
        user = std::make_unique<GooString>(pswd);
    }
    const std::unique_ptr<PDFDoc> doc = pdf_open_document(src, owner.get(), user.get());
    if (!doc->isOk())
        // The core could not open a file that was readable a moment ago.
        fatal_error("Source file does not exist.\nPlease verify the correct file name was given.");
}

// The signals that end a run early: interrupt, terminate and hang-up.
const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The job a signal asks to stop, and the first such signal (0 while none came).
tk_thread_functor* signalled_job = nullptr;
volatile std::sig_atomic_t stop_signal = 0;

// Only asks the run to stop (an atomic store); the run ends at its next operation. A
// second signal while the run ends does not wait for it.
void on_stop_signal(int sig)
{
    if (stop_signal != 0) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    stop_signal = sig;
    if (signalled_job != nullptr)
        signalled_job->request_stop();
}

// While it exists, the stop signals ask the job to stop instead of ending the process.
class stop_on_signals {
public:
    explicit stop_on_signals(tk_thread_functor* job)
    {
        signalled_job = job;
        struct sigaction action {};
        action.sa_handler = &on_stop_signal;
        sigemptyset(&action.sa_mask);
        for (const int sig : stop_signals)
            sigaddset(&action.sa_mask, sig);
        // A signal ignored from the start stays ignored (as nohup asks for the hang-up).
        for (size_t i = 0; i < std::size(stop_signals); ++i)
            if (sigaction(stop_signals[i], nullptr, &previous[i]) == 0 && previous[i].sa_handler != SIG_IGN)
                sigaction(stop_signals[i], &action, nullptr);
    }
    ~stop_on_signals()
    {
        for (size_t i = 0; i < std::size(stop_signals); ++i)
            sigaction(stop_signals[i], &previous[i], nullptr);
        signalled_job = nullptr;
    }
    stop_on_signals(const stop_on_signals&) = delete;
    stop_on_signals& operator=(const stop_on_signals&) = delete;

private:
    struct sigaction previous[std::size(stop_signals)] {};
};

// Ends the process as the signal's default action does, so the caller sees its status.
[[noreturn]] void end_by_signal(int sig)
{
    std::signal(sig, SIG_DFL);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, sig);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    std::raise(sig);
    std::_Exit(128 + sig); // not reached: the default action of these signals ends the process
}

// Runs the conversion; a stop signal ends it early (the run removes its unfinished
// destination), and then the process ends by that signal.
void run_conversion(karvel_convertor& convertor)
{
    {
        const stop_on_signals scope(&convertor);
        static_cast<tk_thread_functor&>(convertor).run();
    }
    if (stop_signal != 0)
        end_by_signal(stop_signal);
}

} // namespace

int tarnvik_main(int argc, const char* const* argv)
{
    tk_logger logger(nullptr, false, 3, false);
    karvel_convertor convertor;
    error_handler handler;
    try {
        if (argc < 2 || argc > 12 || !parse_cmd_line(argc, argv))
            fatal_error(usage_message());
        if (option_src.empty())
            fatal_error("You should specify source file");
        if (!tk_is_file_exist(option_src, 0x4000))
            fatal_error("Source file does not exist.\nPlease verify the correct file name was given.");
        probe_document(option_src, option_pswd);
        std::string dest = option_dest;
        if (dest.empty()) {
            tk_file_name name(option_src);
            name.set_ext(".xml");
            dest = name.get_full_name();
        }
        common_check_dest(dest);
        // "-" is the standard output stream, not a file of that name.
        if (dest != "-")
            common_check_dest_not_source(dest, option_src);
        convertor.src = option_src;
        convertor.dest = dest;
        convertor.password = option_pswd;
        run_conversion(convertor);
    } catch (const tk_exception& e) {
        handler.handle(e, false);
        return -1;
    } catch (const std::exception& e) {
        fatal_error(e.what());
    }
    return 0;
}
