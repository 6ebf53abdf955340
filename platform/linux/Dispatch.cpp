// The queues on Linux: the main queue is a list of jobs that the main thread runs when its loop
// (the extension's, between requests) calls drainMainQueue(); the document queue is one worker
// thread.
#include "platform/Dispatch.h"
#include "MainQueue.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

using Jobs = std::deque<std::function<void()>>;

// Jobs may come from any thread; the main thread runs them.
std::mutex mainQueueLock;
Jobs& mainQueue() {
    static Jobs queue;
    return queue;
}

void wakeMainThread() {
    const std::uint64_t one = 1;
    (void)!::write(mainQueueDescriptor(), &one, sizeof one);
}

struct DocumentQueue {
    pid_t process = ::getpid();
    std::mutex lock;
    std::condition_variable changed;
    Jobs jobs;
    bool busy = false;
};

void work(DocumentQueue* queue) {
    pthread_setname_np(pthread_self(), "documents");
    std::unique_lock lock(queue->lock);
    for (;;) {
        queue->changed.wait(lock, [queue] { return !queue->jobs.empty(); });
        auto job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        queue->busy = true;
        lock.unlock();
        job();
        lock.lock();
        queue->busy = false;
        wakeMainThread(); // waitForDocuments() looks again
    }
}

// Made with its thread at first use, and never destroyed: the thread may still be inside a copy
// when the process ends. A forked child has no such thread, so it makes its own.
DocumentQueue& documentQueue() {
    static std::mutex making;
    static DocumentQueue* queue = nullptr;
    const std::lock_guard lock(making);
    if (queue == nullptr || queue->process != ::getpid()) {
        queue = new DocumentQueue;
        std::thread(work, queue).detach();
    }
    return *queue;
}

} // namespace

int mainQueueDescriptor() {
    static const int descriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return descriptor;
}

void dispatchAsyncMain(std::function<void()> job) {
    {
        const std::lock_guard lock(mainQueueLock);
        mainQueue().push_back(std::move(job));
    }
    wakeMainThread();
}

void performOnMainRunLoop(std::function<void()> job) {
    dispatchAsyncMain(std::move(job));
}

void dispatchAsyncDocuments(std::function<void()> job) {
    auto& queue = documentQueue();
    const std::lock_guard lock(queue.lock);
    queue.jobs.push_back(std::move(job));
    queue.changed.notify_one();
}

int drainMainQueue() {
    std::uint64_t count = 0;
    (void)!::read(mainQueueDescriptor(), &count, sizeof count); // before the jobs: none is missed
    int ran = 0;
    for (;;) {
        std::function<void()> job;
        {
            const std::lock_guard lock(mainQueueLock);
            if (mainQueue().empty())
                return ran;
            job = std::move(mainQueue().front());
            mainQueue().pop_front();
        }
        job(); // unlocked: a job may queue another
        ++ran;
    }
}

int waitForDocuments() {
    int ran = 0;
    for (;;) {
        ran += drainMainQueue();
        {
            auto& queue = documentQueue();
            const std::lock_guard lock(queue.lock);
            // A job queues its main-queue jobs before it ends, so an idle document queue has
            // left all of them there.
            if (queue.jobs.empty() && !queue.busy) {
                const std::lock_guard mainLock(mainQueueLock);
                if (mainQueue().empty())
                    return ran;
                continue;
            }
        }
        pollfd fd{mainQueueDescriptor(), POLLIN, 0};
        ::poll(&fd, 1, -1);
    }
}

bool isMainThread() {
    return ::gettid() == ::getpid();
}

} // namespace platform
