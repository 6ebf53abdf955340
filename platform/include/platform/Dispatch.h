// The queues: the main queue, whose jobs run later, in order, on the main thread; the main run
// loop, for a job that must not hold that queue; and the document queue, off the main thread.
#pragma once

#include <functional>

namespace platform {

// Submits a job asynchronously to the main queue and returns at once.
void dispatchAsyncMain(std::function<void()> job);

// Runs a job later on the main thread, from the main run loop in its common modes rather than
// from the main queue, and returns at once. A job that runs a modal loop there (an alert) then
// holds only itself: the main queue's jobs, and jobs performed this way, still run while it waits.
// On Linux the main queue, which the extension's process serves between requests.
void performOnMainRunLoop(std::function<void()> job);

// The document queue: one serial queue off the main thread, where the extension makes its
// documents, so that a slow copy (a share that stopped answering, a slow stick) never holds the
// thread on which Finder calls it. Jobs run one at a time, in the order submitted. On macOS a
// serial dispatch queue; on Linux a worker thread.
void dispatchAsyncDocuments(std::function<void()> job);

// Runs every job queued so far, and the jobs those queue, until the queue is empty; returns how
// many ran. The run loop of the hosting process calls it (on Linux: the extension between
// requests); on macOS the system's run loop runs the jobs, and this turns that loop until they
// have run (for programs that run no loop, such as tests).
int drainMainQueue();

// Runs the main queue's jobs, as drainMainQueue does, until the document queue has run every job
// too, and so nothing more can come from it; returns how many main-queue jobs ran. For programs
// that want an action's whole effect before they go on (tests; the Linux extension as it ends).
int waitForDocuments();

// Whether the caller runs on the main thread, the one that runs the main queue's jobs (on Linux
// the process's first thread).
bool isMainThread();

} // namespace platform
