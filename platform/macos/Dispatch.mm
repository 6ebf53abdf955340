// The queues on the real system: the main dispatch queue, the main run loop's blocks, and a serial
// dispatch queue a volume for the documents.
#include "platform/Dispatch.h"

#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include <dispatch/dispatch.h>
#include <pthread.h>

namespace platform {

namespace {
// Jobs submitted to the main thread (dispatchAsyncMain, performOnMainRunLoop) that have not run
// yet, and those that have; jobs on the document queues not yet done.
std::atomic<int> pendingJobs{0};
int ranJobs = 0; // main thread only
std::atomic<int> documentJobs{0};

dispatch_block_t counted(std::function<void()> job) {
    auto shared = std::make_shared<std::function<void()>>(std::move(job));
    ++pendingJobs;
    return ^{
      (*shared)();
      ++ranJobs;
      --pendingJobs;
    };
}
} // namespace

void dispatchAsyncMain(std::function<void()> job) {
    dispatch_async(dispatch_get_main_queue(), counted(std::move(job)));
}

// CFRunLoop.h: CFRunLoopPerformBlock queues a block for a run loop, to run when that loop runs in
// one of the given modes (kCFRunLoopCommonModes: in any mode of the loop's set of common modes);
// CFRunLoopWakeUp makes a sleeping loop look at once. That the modal panel's mode is among the
// common modes is the Threading Programming Guide's ("Run Loops", Table 3-1: "For Cocoa
// applications, this set includes the default, modal, and event tracking modes"). A modal alert's
// runModal turns the main run loop itself, so the main queue's jobs, and blocks performed there
// after the loop took its list, still run meanwhile; a job submitted to the main dispatch queue
// would hold that serial queue, and every later job of it, until the alert closed.
void performOnMainRunLoop(std::function<void()> job) {
    CFRunLoopRef main = CFRunLoopGetMain();
    CFRunLoopPerformBlock(main, kCFRunLoopCommonModes, counted(std::move(job)));
    CFRunLoopWakeUp(main);
}

// dispatch/queue.h: a queue made by dispatch_queue_create with
// DISPATCH_QUEUE_SERIAL_WITH_AUTORELEASE_POOL "invokes blocks serially in FIFO order, and
// surrounds execution of any block submitted asynchronously to it with the equivalent of a
// individual Objective-C @autoreleasepool scope" (macOS 10.12 and later), on a thread of the
// system's pool, never the main one. A plain serial queue sets up no pool of its own for a block:
// the NSErrors and NSStrings the copies make would pile up for the life of the process. One queue
// a volume, made at its first document and kept (a handful of volumes at most).
void dispatchAsyncDocuments(const std::string& volume, std::function<void()> job) {
    static std::mutex lock;
    static auto* const queues = new std::map<std::string, dispatch_queue_t>;
    dispatch_queue_t queue;
    {
        const std::lock_guard held(lock);
        __strong dispatch_queue_t& slot = (*queues)[volume];
        if (slot == nil)
            slot = dispatch_queue_create("com.lemvora.LemvoraMenu.documents",
                                         DISPATCH_QUEUE_SERIAL_WITH_AUTORELEASE_POOL);
        queue = slot;
    }
    auto shared = std::make_shared<std::function<void()>>(std::move(job));
    ++documentJobs;
    dispatch_async(queue, ^{
      (*shared)();
      --documentJobs;
    });
}

bool isMainThread() {
    return pthread_main_np() != 0;
}

int drainMainQueue() {
    // The system runs the main queue and the main run loop's blocks from that loop. Where nobody
    // runs it (a test program), turn it until the jobs submitted so far, and those they submit,
    // have run.
    const int before = ranJobs;
    while (pendingJobs > 0)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true);
    return ranJobs - before;
}

int waitForDocuments() {
    const int before = ranJobs;
    while (documentJobs > 0 || pendingJobs > 0)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
    return ranJobs - before;
}

// Jobs carry no context here: nothing on a Mac asks which request a job serves.
std::shared_ptr<JobContext> currentJobContext() {
    return nullptr;
}
ScopedJobContext::ScopedJobContext(std::shared_ptr<JobContext>) {}
ScopedJobContext::~ScopedJobContext() = default;

} // namespace platform
