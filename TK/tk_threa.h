// A job and the worker thread that runs it.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

// A job: run() steps until is_done(), then on_finish(). POSIX cannot end a thread
// safely, so a job is stopped by request: the request is polled between steps, and
// long jobs poll stop_requested() themselves.
class tk_thread_functor {
public:
    virtual ~tk_thread_functor() = default;
    virtual void run();
    virtual bool is_done() { return false; }
    virtual void step();
    virtual void on_finish() {}

    void request_stop() { stop_flag = true; }
    void clear_stop() { stop_flag = false; }
    bool stop_requested() const { return stop_flag; }

private:
    std::atomic<bool> stop_flag{false};
};

// Thrown by the polls of long work once its job was asked to stop; the run that catches
// it ends as a stopped run.
struct tk_stop_exception {};

// How long work asks whether its job was asked to stop: a callback and its data, as the
// PDF core's abort check takes them. Without a callback the answer is no.
struct tk_stop_check {
    bool (*check)(void*) = nullptr;
    void* data = nullptr;
    bool requested() const { return check != nullptr && check(data); }
    // Throws tk_stop_exception when a stop was requested.
    void poll() const
    {
        if (requested())
            throw tk_stop_exception();
    }
};

// The base of a conversion job.
class tk_converter : public tk_thread_functor {
public:
    tk_converter();
    ~tk_converter() override = default;
    virtual void set_option(bool value) { option = value; }
    // Checks the path and points the registered logger at it (console program).
    void set_logfile(const std::string& path);

    bool finished = false;
    bool option = false;
    std::string src;
    std::string dest;
    std::string log_file;
};

// Owner of one worker thread that runs one job.
class tk_thread {
public:
    explicit tk_thread(bool owns_functor);
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    bool is_alive() const;
    void start();
    // Asks the job to stop, waits until its thread has ended, then cleans up.
    void stop();
    void cleanup();

    // Breaks a system call the running thread is blocked in (the open of a FIFO nobody
    // reads, a write to a full pipe): the call returns with EINTR, as the stop signals
    // break it in a program without a worker, and the job sees its stop request.
    void interrupt();
    // Asks the job to stop and breaks its blocked calls again and again until the thread
    // has ended or the time is up; between the tries `serve` runs (the user-interface
    // thread keeps serving what the worker hands to it). True when the thread has ended.
    bool stop_within(std::chrono::milliseconds limit, void (*serve)() = nullptr);

protected:
    // The job to run; the default is a bare job that steps until stopped.
    virtual tk_thread_functor* create_functor();

    std::thread handle;
    std::atomic<bool> running{false};
    bool owns_functor;
    tk_thread_functor* functor = nullptr;

private:
    static void routine(tk_thread_functor* job, std::atomic<bool>* running);
};
