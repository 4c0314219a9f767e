#include "GUI2/g_gui_thread.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// One piece of work handed over; the caller waits on done.
struct gui_request {
    std::function<void()> work;
    std::exception_ptr failure;
    bool done = false;
};

// Hand-overs refused while a run is being stopped, and for good once the
// user-interface thread serves nothing more.
std::atomic<bool> handovers_stopped{false};
std::atomic<bool> handovers_abandoned{false};

// The modal dialogs open now, innermost last, with the value each closes with on a stop
// (user-interface thread only).
std::vector<std::pair<QDialog*, int>> open_dialogs;

// The requests are kept under the relay's own mutex; the posted event only wakes the
// user-interface thread, so no data travels through the event itself.
class gui_relay : public QObject {
public:
    // False when hand-overs are refused: the work will not run.
    bool submit(gui_request* request)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (handovers_stopped || handovers_abandoned)
                return false;
            queue.push_back(request);
        }
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }

    // Returns once the work has run or was dropped, or the hand-overs were abandoned.
    void wait(gui_request* request)
    {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [request] { return request->done || handovers_abandoned; });
        // Abandoned: a request still queued must never be reached again.
        for (auto it = queue.begin(); it != queue.end(); ++it)
            if (*it == request) {
                queue.erase(it);
                break;
            }
    }

    // Drops the work not yet begun (stop) and wakes every caller.
    void release_waiters(bool drop_queued)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (drop_queued) {
                for (gui_request* request : queue)
                    request->done = true;
                queue.clear();
            }
        }
        finished.notify_all();
    }

    // The relay is made by the first thread that hands work over, usually a worker; the
    // release store here and the acquire load in customEvent order its construction
    // before the user-interface thread's first use in a way the sanitizers can see (the
    // event queue of Qt orders it too, but out of their sight).
    static std::atomic<gui_relay*> published;

protected:
    void customEvent(QEvent*) override
    {
        published.load(std::memory_order_acquire);
        drain();
    }

private:
    void drain()
    {
        for (;;) {
            gui_request* request = nullptr;
            std::function<void()> work;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (queue.empty())
                    return;
                request = queue.front();
                queue.pop_front();
                work = request->work;
            }
            std::exception_ptr failure;
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                request->failure = failure;
                request->done = true;
            }
            finished.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable finished;
    std::deque<gui_request*> queue;
};

std::atomic<gui_relay*> gui_relay::published{nullptr};

gui_relay& relay()
{
    static std::once_flag once;
    static gui_relay* instance = nullptr;
    std::call_once(once, [] {
        instance = new gui_relay();
        instance->moveToThread(QCoreApplication::instance()->thread());
        gui_relay::published.store(instance, std::memory_order_release);
    });
    return *instance;
}

} // namespace

bool on_gui_thread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void run_on_gui_thread(const std::function<void()>& work)
{
    if (on_gui_thread()) {
        work();
        return;
    }
    gui_request request;
    request.work = work;
    gui_relay& r = relay();
    if (!r.submit(&request))
        return;
    r.wait(&request);
    if (request.failure)
        std::rethrow_exception(request.failure);
}

int run_modal(QDialog& dialog, int stop_answer)
{
    if (handovers_stopped || handovers_abandoned)
        return stop_answer;
    open_dialogs.emplace_back(&dialog, stop_answer);
    const int result = dialog.exec();
    for (auto it = open_dialogs.begin(); it != open_dialogs.end(); ++it)
        if (it->first == &dialog) {
            open_dialogs.erase(it);
            break;
        }
    return result;
}

void stop_gui_handovers()
{
    handovers_stopped = true;
    if (gui_relay* r = gui_relay::published.load(std::memory_order_acquire))
        r->release_waiters(true);
    // Each closes when control is back in its own modal loop, innermost first.
    for (auto it = open_dialogs.rbegin(); it != open_dialogs.rend(); ++it)
        it->first->done(it->second);
}

void resume_gui_handovers()
{
    handovers_stopped = false;
}

void abandon_gui_handovers()
{
    handovers_abandoned = true;
    if (gui_relay* r = gui_relay::published.load(std::memory_order_acquire))
        r->release_waiters(false);
}
