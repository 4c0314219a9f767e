#include "GUI2/g_gui_thread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace {

// One piece of work handed over; the caller waits on done.
struct gui_request {
    std::function<void()> work;
    std::exception_ptr failure;
    bool done = false;
};

// The requests are kept under the relay's own mutex; the posted event only wakes the
// user-interface thread, so no data travels through the event itself.
class gui_relay : public QObject {
public:
    void submit(gui_request* request)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            queue.push_back(request);
        }
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

    void wait(gui_request* request)
    {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [request] { return request->done; });
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
    r.submit(&request);
    r.wait(&request);
    if (request.failure)
        std::rethrow_exception(request.failure);
}
