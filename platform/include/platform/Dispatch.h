// The main queue: jobs submitted from anywhere run later, in order, on the main thread.
#pragma once

#include <functional>

namespace platform {

// Submits a job asynchronously to the main queue and returns at once.
void dispatchAsyncMain(std::function<void()> job);

// Runs every job queued so far, and the jobs those queue, until the queue is empty; returns how
// many ran. The run loop of the hosting process calls it (on Linux: the extension after each
// request); on macOS the system's run loop runs the jobs, and this turns that loop until they
// have run (for programs that run no loop, such as tests).
int drainMainQueue();

// Whether the caller runs on the main thread, the one that runs the main queue's jobs (on Linux
// the process's first thread).
bool isMainThread();

} // namespace platform
