// The queues on Linux: the main queue and the main run loop's blocks are lists of jobs that the
// main thread runs when its loop (the extension's, between requests) calls drainMainQueue(); each
// document queue is a worker thread of its own. Every job carries the context it was queued in.
#include "platform/Dispatch.h"
#include "MainQueue.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

struct Queued {
    std::function<void()> job;
    std::shared_ptr<JobContext> context;
};
using Jobs = std::deque<Queued>;

thread_local std::shared_ptr<JobContext> current;

Queued queued(std::function<void()> job) {
    return {std::move(job), current};
}

// Runs a job under its context, and lets go of what it holds before the context goes: the end of
// an action comes after everything its jobs did.
void run(Queued& queuedJob) {
    const ScopedJobContext scope(std::move(queuedJob.context));
    queuedJob.job();
    queuedJob.job = nullptr;
}

// Jobs may come from any thread; the main thread runs them.
std::mutex mainLock;
Jobs& mainQueue() {
    static Jobs queue;
    return queue;
}
Jobs& runLoopBlocks() {
    static Jobs blocks;
    return blocks;
}
bool inMainQueueJob = false; // main thread only

void wakeMainThread() {
    const std::uint64_t one = 1;
    (void)!::write(mainQueueDescriptor(), &one, sizeof one);
}

struct DocumentQueue {
    Jobs jobs;
    bool busy = false; // a job of it runs now
    std::condition_variable changed;
};

// One thread a volume that had a document, waiting for the next one (a handful at most in a
// process's life): made with the volume's first job, it saves the next job the making.
struct DocumentQueues {
    pid_t process = ::getpid();
    std::mutex lock;
    std::map<std::string, DocumentQueue> queues; // by volume; an entry stays where it was made
};

void work(DocumentQueues* all, DocumentQueue* queue) {
    pthread_setname_np(pthread_self(), "documents");
    std::unique_lock lock(all->lock);
    for (;;) {
        queue->changed.wait(lock, [queue] { return !queue->jobs.empty(); });
        Queued job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        queue->busy = true;
        lock.unlock();
        run(job);
        lock.lock();
        queue->busy = false;
        wakeMainThread(); // waitForDocuments() looks again
    }
}

// Made at first use, and never destroyed: a thread may still be inside a copy when the process
// ends. A forked child has none of the threads, so it makes its own.
DocumentQueues& documentQueues() {
    static std::mutex making;
    static DocumentQueues* queues = nullptr;
    const std::lock_guard lock(making);
    if (queues == nullptr || queues->process != ::getpid())
        queues = new DocumentQueues;
    return *queues;
}

bool documentQueuesIdle() {
    auto& all = documentQueues();
    const std::lock_guard lock(all.lock);
    for (const auto& [volume, queue] : all.queues)
        if (!queue.jobs.empty() || queue.busy)
            return false;
    return true;
}

} // namespace

int mainQueueDescriptor() {
    static const int descriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return descriptor;
}

void dispatchAsyncMain(std::function<void()> job) {
    {
        const std::lock_guard lock(mainLock);
        mainQueue().push_back(queued(std::move(job)));
    }
    wakeMainThread();
}

void performOnMainRunLoop(std::function<void()> job) {
    {
        const std::lock_guard lock(mainLock);
        runLoopBlocks().push_back(queued(std::move(job)));
    }
    wakeMainThread();
}

void dispatchAsyncDocuments(const std::string& volume, std::function<void()> job) {
    auto& all = documentQueues();
    const std::lock_guard lock(all.lock);
    const auto [at, made] = all.queues.try_emplace(volume);
    DocumentQueue& queue = at->second;
    queue.jobs.push_back(queued(std::move(job)));
    if (made)
        std::thread(work, &all, &queue).detach();
    else
        queue.changed.notify_one();
}

// As a Mac's main run loop serves them: first the run loop's blocks, all those queued so far
// taken into a list of their own at once (__CFRunLoopDoBlocks), so that a loop turned inside one
// of them sees only the blocks queued after; then the main queue, which is serial: none of its
// jobs runs while one of them runs, even when that one turns the loop.
int drainMainQueue() {
    std::uint64_t count = 0;
    (void)!::read(mainQueueDescriptor(), &count, sizeof count); // before the jobs: none is missed
    int ran = 0;
    for (;;) {
        Jobs blocks;
        {
            const std::lock_guard lock(mainLock);
            blocks.swap(runLoopBlocks());
        }
        for (auto& block : blocks) {
            run(block);
            ++ran;
        }
        bool ranJob = false;
        while (!inMainQueueJob) {
            Queued job;
            {
                const std::lock_guard lock(mainLock);
                if (mainQueue().empty())
                    break;
                job = std::move(mainQueue().front());
                mainQueue().pop_front();
            }
            inMainQueueJob = true;
            run(job); // unlocked: a job may queue another
            inMainQueueJob = false;
            ++ran;
            ranJob = true;
        }
        if (blocks.empty() && !ranJob) {
            const std::lock_guard lock(mainLock);
            if (runLoopBlocks().empty())
                return ran;
        }
    }
}

int waitForDocuments() {
    int ran = 0;
    for (;;) {
        ran += drainMainQueue();
        // A job queues its main-thread jobs before it ends, so idle document queues have left
        // all of theirs there.
        if (documentQueuesIdle()) {
            const std::lock_guard lock(mainLock);
            if (mainQueue().empty() && runLoopBlocks().empty())
                return ran;
            continue;
        }
        pollfd fd{mainQueueDescriptor(), POLLIN, 0};
        ::poll(&fd, 1, -1);
    }
}

bool isMainThread() {
    return ::gettid() == ::getpid();
}

std::shared_ptr<JobContext> currentJobContext() {
    return current;
}

ScopedJobContext::ScopedJobContext(std::shared_ptr<JobContext> context)
    : previous_(std::exchange(current, std::move(context))) {}

ScopedJobContext::~ScopedJobContext() {
    current.swap(previous_);
    previous_.reset(); // the context of the scope, last: its end may run here
}

JobContext::JobContext(std::optional<std::uint64_t> action, std::function<void()> ended)
    : action_(action), ended_(std::move(ended)) {}

JobContext::~JobContext() {
    if (!ended_)
        return;
    if (isMainThread()) {
        ended_();
        return;
    }
    const ScopedJobContext none(nullptr);
    performOnMainRunLoop(std::move(ended_)); // behind the effects, which come that way too
}

} // namespace platform
