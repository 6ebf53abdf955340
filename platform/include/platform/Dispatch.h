// The queues: the main queue, whose jobs run later, in order, on the main thread; the main run
// loop, for a job that must not hold that queue; and the document queues, off the main thread,
// one a volume.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// Submits a job asynchronously to the main queue and returns at once. The main queue is serial:
// while one of its jobs runs, none of the others does, even when that job turns the run loop.
void dispatchAsyncMain(std::function<void()> job);

// Runs a job later on the main thread, from the main run loop in its common modes rather than
// from the main queue, and returns at once. A job that runs a modal loop there (an alert) then
// holds only itself: the main queue's jobs still run while it waits, and so do jobs performed
// this way, but only those performed after the loop that runs the waiting job took its list.
// The run loop takes every block queued so far into a list of its own before it runs the first,
// so a loop turned inside one of them sees only the blocks queued after that moment
// (CoreFoundation's __CFRunLoopDoBlocks in CFRunLoop.c, swift-corelibs-foundation): the
// blocks queued before it wait until it returns, behind those queued later.
// On Linux the extension's process serves both between requests, and models the same.
void performOnMainRunLoop(std::function<void()> job);

// The document queues: one serial queue a volume, off the main thread, where the extension makes
// its documents, so that a slow copy (a share that stopped answering, a slow stick) never holds
// the thread on which Finder calls it, nor a document on another volume. `volume` names the
// queue (the volume's mount point): jobs with one name run one at a time, in the order submitted;
// jobs with different names never wait for each other. On macOS a serial dispatch queue a name;
// on Linux a worker thread a name.
void dispatchAsyncDocuments(const std::string& volume, std::function<void()> job);

// Runs every job queued so far on the main queue and the main run loop, and the jobs those queue,
// until none is left; returns how many ran. The run loop of the hosting process calls it (on
// Linux: the extension between requests); on macOS the system's run loop runs the jobs, and this
// turns that loop until they have run (for programs that run no loop, such as tests).
int drainMainQueue();

// Runs the main queue's jobs, as drainMainQueue does, until every document queue has run every
// job too, and so nothing more can come from them; returns how many main-thread jobs ran. For
// programs that want an action's whole effect before they go on (tests; the Linux extension as
// it ends). Not from inside a main-queue job, which would wait for itself.
int waitForDocuments();

// Whether the caller runs on the main thread, the one that runs the main queue's jobs (on Linux
// the process's first thread).
bool isMainThread();

// The request that a job serves. On Linux each action the finder host sends is one: the jobs
// queued while it is performed, and the jobs those queue in turn, serve it; the host hears of
// their effects under its name, and of its end once the last of them is done. Code that keeps
// work for later beyond a job (an alert waiting its turn) takes the current one along and runs
// that work under it. On macOS there is none: currentJobContext() is empty there.
class JobContext;
std::shared_ptr<JobContext> currentJobContext();

// Runs the code of its scope under a context (or under none), then restores the one before.
class ScopedJobContext {
public:
    explicit ScopedJobContext(std::shared_ptr<JobContext> context);
    ~ScopedJobContext();
    ScopedJobContext(const ScopedJobContext&) = delete;
    ScopedJobContext& operator=(const ScopedJobContext&) = delete;

private:
    std::shared_ptr<JobContext> previous_;
};

} // namespace platform
