#include "TK/tk_threa.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <mutex>
#include <system_error>

#include "TK/tk_error.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

void tk_thread_functor::run()
{
    while (!is_done() && !stop_requested())
        step();
    on_finish();
}

void tk_thread_functor::step()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

tk_converter::tk_converter()
{
    tk_log(2, "tk_converter::ctor");
}

void tk_converter::set_logfile(const std::string& path)
{
    tk_log(1, "tk_convertor::set_logfile(%s)", path.c_str());
    if (!path.empty()) {
        if (tk_is_file_exist(path, 0) && !tk_is_file_exist(path, 1))
            throw tk_exception("Logfile name specifies an existing read-only file.", 1);
        if (!tk_is_path_exist(tk_file_name(path).get_folder()))
            throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
    }
    log_file = path;
    if (!log_file.empty()) {
        tk_logger& logger = tk_singleton<tk_logger>::instance();
        logger.set_file_name(log_file.c_str());
        logger.enabled = true;
    }
}

namespace {

// The signal that breaks the worker's blocked system call. Its handler does nothing and
// is installed without SA_RESTART, so the call is not resumed.
int interrupt_signal()
{
    return SIGRTMIN + 4;
}

void on_interrupt(int) {}

void install_interrupt_handler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = &on_interrupt;
        sigemptyset(&action.sa_mask);
        sigaction(interrupt_signal(), &action, nullptr);
    });
}

} // namespace

tk_thread::tk_thread(bool owns) : owns_functor(owns) {}

tk_thread::~tk_thread()
{
    try {
        if (is_alive())
            stop();
        else
            cleanup();
    } catch (const tk_exception&) {
        // The job ended between the test and stop(): the thread is still to be joined,
        // which must happen before its handle is destroyed.
        if (handle.joinable())
            handle.join();
        if (functor != nullptr && owns_functor)
            delete functor;
        functor = nullptr;
    }
}

bool tk_thread::is_alive() const
{
    return handle.joinable() && running;
}

void tk_thread::start()
{
    if (is_alive())
        throw tk_mail_assertion("tk_threa.cpp", 92);
    cleanup();
    functor = create_functor();
    if (functor == nullptr)
        throw tk_mail_assertion("tk_threa.cpp", 105);
    functor->clear_stop();
    install_interrupt_handler();
    running = true;
    try {
        handle = std::thread(&tk_thread::routine, functor, &running);
    } catch (const std::system_error&) {
        running = false; // the thread never runs
    }
}

void tk_thread::stop()
{
    if (!is_alive())
        throw tk_mail_assertion("tk_threa.cpp", 55);
    while (!stop_within(std::chrono::seconds(1))) {
        // a job that takes long to stop is waited for
    }
    cleanup();
}

void tk_thread::interrupt()
{
    if (is_alive())
        pthread_kill(handle.native_handle(), interrupt_signal());
}

bool tk_thread::stop_within(std::chrono::milliseconds limit, void (*serve)())
{
    if (functor != nullptr)
        functor->request_stop();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // A call entered just after an interrupt blocks again: the interrupt is repeated.
    while (is_alive()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        interrupt();
        if (serve != nullptr)
            serve();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void tk_thread::cleanup()
{
    if (is_alive())
        throw tk_mail_assertion("tk_threa.cpp", 71);
    if (handle.joinable())
        handle.join(); // already ended: returns at once
    if (functor != nullptr && owns_functor)
        delete functor;
    functor = nullptr;
}

tk_thread_functor* tk_thread::create_functor()
{
    owns_functor = true;
    return new tk_thread_functor();
}

void tk_thread::routine(tk_thread_functor* job, std::atomic<bool>* running)
{
    try {
        if (job == nullptr)
            throw tk_mail_assertion("tk_threa.cpp", 149);
        job->run();
    } catch (const tk_exception& e) {
        // Jobs report their own failures; anything that escapes is logged here.
        tk_log(3, "Internal error:\n%s", e.what());
    } catch (const tk_final_exception&) {
        // the run was abandoned on purpose
    } catch (const std::exception& e) {
        // An exception leaving a thread would end the process.
        tk_log(3, "ERROR:\n%s", e.what());
    }
    *running = false;
}
