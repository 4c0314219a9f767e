// Jobs and the worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "TK/tk_except.h"
#include "TK/tk_threa.h"

namespace {

std::string assertion(int line)
{
    return tk_mail_assertion::make_text("tk_threa.cpp", line);
}

class counting_job : public tk_thread_functor {
public:
    explicit counting_job(int steps_until_done) : limit(steps_until_done) {}
    bool is_done() override { return steps >= limit; }
    void step() override { ++steps; }
    void on_finish() override { ++finishes; }
    int limit;
    int steps = 0;
    int finishes = 0;
};

// A job that runs until asked to stop, and tells when it has started and ended.
class endless_job : public tk_thread_functor {
public:
    ~endless_job() override { ++*deleted; }
    void step() override
    {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    void on_finish() override { finished = true; }
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    int* deleted = nullptr;
};

class job_thread : public tk_thread {
public:
    explicit job_thread(tk_thread_functor* job) : tk_thread(false), job_(job) {}
    tk_thread_functor* job() const { return functor; }

protected:
    tk_thread_functor* create_functor() override { return job_; }

private:
    tk_thread_functor* job_;
};

class null_job_thread : public tk_thread {
public:
    null_job_thread() : tk_thread(false) {}

protected:
    tk_thread_functor* create_functor() override { return nullptr; }
};

bool wait_for(const std::atomic<bool>& flag)
{
    for (int i = 0; i < 2000 && !flag; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return flag;
}

} // namespace

TEST(Job, RunStepsUntilDoneThenFinishesOnce)
{
    counting_job done_at_once(0);
    done_at_once.run();
    EXPECT_EQ(done_at_once.steps, 0);
    EXPECT_EQ(done_at_once.finishes, 1);

    counting_job three(3);
    three.run();
    EXPECT_EQ(three.steps, 3);
    EXPECT_EQ(three.finishes, 1);
}

TEST(WorkerThread, DefaultJobIsStoppedAndDeleted)
{
    tk_thread t(false);
    EXPECT_FALSE(t.is_alive());
    t.start();
    EXPECT_TRUE(t.is_alive());
    const auto before = std::chrono::steady_clock::now();
    t.stop();
    EXPECT_FALSE(t.is_alive());
    // The bare job sleeps in 100 ms steps, so the stop is seen within one step.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

TEST(WorkerThread, RunningJobIsStoppedAndNotDeletedWhenNotOwned)
{
    int deleted = 0;
    auto* job = new endless_job;
    job->deleted = &deleted;
    {
        job_thread t(job);
        t.start();
        ASSERT_TRUE(wait_for(job->started));
        EXPECT_TRUE(t.is_alive());
        try {
            t.start();
            FAIL() << "a second start must be refused";
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.message, assertion(92));
        }
        try {
            t.cleanup();
            FAIL() << "cleanup of a running thread must be refused";
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.message, assertion(71));
        }
        t.stop();
        EXPECT_FALSE(t.is_alive());
        EXPECT_TRUE(job->finished) << "the job ended through its normal path";
        EXPECT_EQ(t.job(), nullptr);
        try {
            t.stop();
            FAIL() << "stop on an idle thread must be refused";
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.message, assertion(55));
        }
    }
    EXPECT_EQ(deleted, 0);
    delete job;
    EXPECT_EQ(deleted, 1);
}

TEST(WorkerThread, DestructorStopsARunningJobAndCleansAnEndedOne)
{
    endless_job running;
    int deleted = 0;
    running.deleted = &deleted;
    {
        job_thread t(&running);
        t.start();
        ASSERT_TRUE(wait_for(running.started));
    }
    EXPECT_TRUE(running.finished);

    counting_job quick(1);
    {
        job_thread t(&quick);
        t.start();
        for (int i = 0; i < 2000 && t.is_alive(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(t.is_alive());
    }
    EXPECT_EQ(quick.finishes, 1);

    // An ended thread can be started again; the old run is cleaned up first.
    counting_job again(2);
    job_thread t(&again);
    t.start();
    for (int i = 0; i < 2000 && t.is_alive(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    again.steps = 0;
    t.start();
    for (int i = 0; i < 2000 && t.is_alive(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(again.finishes, 2);
}

TEST(WorkerThread, MissingJobIsAnInternalError)
{
    null_job_thread t;
    try {
        t.start();
        FAIL() << "a missing job must be refused";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message, assertion(105));
    }
    EXPECT_FALSE(t.is_alive());
}

namespace {

// A job whose run leaves with a standard exception.
class throwing_job : public tk_thread_functor {
public:
    void run() override { throw std::runtime_error("job failed"); }
};

} // namespace

TEST(WorkerThread, StandardExceptionLeavingTheJobEndsOnlyTheThread)
{
    throwing_job job;
    job_thread t(&job);
    t.start();
    for (int i = 0; i < 2000 && t.is_alive(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(t.is_alive());
    t.cleanup();
    EXPECT_EQ(t.job(), nullptr);
}

TEST(WorkerThread, DestroyedWhileTheJobIsEnding)
{
    // The owner goes away around the moment the job returns; whichever way the race
    // between the two falls, the thread is joined and the job finished once.
    for (int round = 0; round < 300; ++round) {
        counting_job job(round % 3);
        {
            job_thread t(&job);
            t.start();
            if (round % 2 == 1)
                std::this_thread::yield();
        }
        EXPECT_EQ(job.finishes, 1);
    }
}
