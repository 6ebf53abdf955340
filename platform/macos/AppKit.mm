// The layer's services on the real frameworks: NSAlert, NSWorkspace, NSLog and os_log, the main
// dispatch queue and run loop, the document queue, FIFinderSyncController, the volumes and their
// notifications. (The file manager's are in FileSystem.mm; the principal class that Finder
// instantiates is in ExtensionMain.mm.)
#include "platform/AppKit.h"
#include "Activation.h"
#include "Strings.h"
#include "platform/Dispatch.h"
#include "platform/FinderSync.h"

#import <AppKit/AppKit.h>
#import <FinderSync/FinderSync.h>

#include <atomic>
#include <memory>
#include <system_error>

#include <notify.h>
#include <notify_keys.h>
#include <os/log.h>
#include <pthread.h>

using platform::macos::ns;

namespace platform {

namespace {

NSURL* fileURL(const URL& url) {
    return [NSURL fileURLWithPath:ns(url.string())];
}
// A folder's URL, made without asking the disk: fileURLWithPath: alone asks it whether the path
// is a folder, and a dead network share holds that question for tens of seconds.
NSURL* folderURL(const URL& url) {
    return [NSURL fileURLWithPath:ns(url.string()) isDirectory:YES];
}
// The path of a file URL; none for any other URL, which names no file to look at (NSURL.h:
// fileURL is "whether the scheme is file:", and only then is the URL's path "suitable for input
// into NSFileManager"), nor for one that has no file-system representation.
std::optional<URL> path(NSURL* url) {
    if (url == nil || !url.fileURL)
        return std::nullopt;
    const char* representation = url.fileSystemRepresentation;
    if (representation == nullptr)
        return std::nullopt;
    return URL(representation);
}

class AppKitAlertPresenter : public AlertPresenter {
public:
    ModalResponse runModal(const Alert& alert) override {
        NSAlert* panel = [[NSAlert alloc] init];
        panel.alertStyle = static_cast<NSAlertStyle>(alert.alertStyle());
        panel.messageText = ns(alert.messageText());
        panel.informativeText = ns(alert.informativeText());
        for (const auto& title : alert.buttons())
            [panel addButtonWithTitle:ns(title)];
        // The extension is a background process with no window of its own: left alone, its alert
        // would open behind Finder's windows, without keyboard focus, until the user found it.
        // The user's own choice in Finder asked for it, so the process becomes the
        // active application for it (what an application does for its own modal alert), and
        // the alert's window floats above other applications' windows, should the system not
        // bring the process forward.
        platform::macos::activateApplication();
        panel.window.level = NSFloatingWindowLevel;
        return [panel runModal];
    }
};

class AppKitWorkspace : public Workspace {
public:
    void activateFileViewerSelectingURLs(const std::vector<URL>& urls) override {
        NSMutableArray<NSURL*>* list = [NSMutableArray array];
        for (const auto& url : urls)
            [list addObject:fileURL(url)];
        [NSWorkspace.sharedWorkspace activateFileViewerSelectingURLs:list];
    }
    void openApplicationAtURL(const URL& url, const OpenConfiguration&) override {
        [NSWorkspace.sharedWorkspace
            openApplicationAtURL:fileURL(url)
                   configuration:[[NSWorkspaceOpenConfiguration alloc] init]
               completionHandler:nil];
    }
    bool openURL(const URL& url) override {
        return [NSWorkspace.sharedWorkspace openURL:fileURL(url)];
    }
};

} // namespace

std::shared_ptr<AlertPresenter> defaultAlertPresenter() {
    return std::make_shared<AppKitAlertPresenter>();
}
std::shared_ptr<Workspace> defaultWorkspace() {
    return std::make_shared<AppKitWorkspace>();
}

void NSLog(const std::string& line) {
    ::NSLog(@"%@", ns(line));
}

void osLog(const std::string& line) {
    static const os_log_t log = [] {
        NSString* identifier = NSBundle.mainBundle.bundleIdentifier;
        return os_log_create(identifier != nil ? identifier.UTF8String : "com.lemvora.Lemvora",
                             "general");
    }();
    os_log(log, "%{public}s", line.c_str());
}

std::string localizedDescription(const std::exception& error) {
    // The system's own wording for an errno, in the user's language, as NSError gives it.
    if (const auto* system = dynamic_cast<const std::system_error*>(&error);
        system != nullptr && (system->code().category() == std::system_category() ||
                              system->code().category() == std::generic_category())) {
        NSError* described = [NSError errorWithDomain:NSPOSIXErrorDomain
                                                 code:system->code().value()
                                             userInfo:nil];
        return described.localizedDescription.UTF8String;
    }
    return error.what();
}

namespace {
// Jobs submitted to the main thread (dispatchAsyncMain, performOnMainRunLoop) that have not run
// yet, and those that have; jobs on the document queue not yet done.
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
// one of the given modes (kCFRunLoopCommonModes: in any of its common modes, the modal panel's
// among them); CFRunLoopWakeUp makes a sleeping loop look at once. A modal alert's runModal turns
// the main run loop itself, so other blocks performed there still run; one submitted to the main
// dispatch queue would wait until the alert closed, and the main queue's other jobs with it.
void performOnMainRunLoop(std::function<void()> job) {
    CFRunLoopRef main = CFRunLoopGetMain();
    CFRunLoopPerformBlock(main, kCFRunLoopCommonModes, counted(std::move(job)));
    CFRunLoopWakeUp(main);
}

// dispatch/queue.h: a queue made by dispatch_queue_create with DISPATCH_QUEUE_SERIAL "invokes
// blocks serially in FIFO order", on a thread of the system's pool, never the main one.
void dispatchAsyncDocuments(std::function<void()> job) {
    static dispatch_queue_t const queue =
        dispatch_queue_create("com.lemvora.LemvoraMenu.documents", DISPATCH_QUEUE_SERIAL);
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

// The system's controller is asked only in a process the system started as an extension. Every
// registered URL is a folder's, and is made as one (folderURL), without asking the disk.
void FinderSyncController::setDirectoryURLs(std::set<URL> urls) {
    if (startedAsExtension()) {
        NSMutableSet<NSURL*>* set = [NSMutableSet set];
        for (const auto& url : urls)
            [set addObject:folderURL(url)];
        FIFinderSyncController.defaultController.directoryURLs = set;
    }
    directoryURLs_ = std::move(urls);
}

std::optional<URL> FinderSyncController::targetedURL() const {
    // What a host set for this request (tests, which have no Finder), else what Finder says.
    if (targetedURL_ || !startedAsExtension())
        return targetedURL_;
    return path(FIFinderSyncController.defaultController.targetedURL);
}

void FinderSyncController::setTargetedURL(std::optional<URL> url) {
    targetedURL_ = std::move(url);
}

std::vector<URL> FinderSyncController::selectedItemURLs() const {
    // As for the targeted URL: what a host set, else what Finder says (a nil array is none).
    if (!selectedItemURLs_.empty() || !startedAsExtension())
        return selectedItemURLs_;
    std::vector<URL> urls;
    for (NSURL* url in FIFinderSyncController.defaultController.selectedItemURLs)
        if (auto item = path(url))
            urls.push_back(std::move(*item));
    return urls;
}

void FinderSyncController::setSelectedItemURLs(std::vector<URL> urls) {
    selectedItemURLs_ = std::move(urls);
}

std::vector<URL> systemMountedVolumeURLs() {
    std::vector<URL> volumes;
    for (NSURL* volume in [NSFileManager.defaultManager
             mountedVolumeURLsIncludingResourceValuesForKeys:@[]
                                                     options:NSVolumeEnumerationSkipHiddenVolumes])
        if (auto folder = path(volume))
            volumes.push_back(std::move(*folder));
    return volumes;
}

void watchVolumes() {
    // Once for the process, from two sources, both delivered on the main queue, where the
    // extension's other work runs. The workspace posts its notifications on its own centre, but
    // nothing says that they reach a sandboxed extension; the kernel's own, through notifyd, come
    // for every mount, unmount and update of a mount's state. One event often comes through both:
    // the extension registers again only when its set of folders changed.
    static const bool watching = [] {
        NSNotificationCenter* centre = NSWorkspace.sharedWorkspace.notificationCenter;
        for (NSNotificationName name in @[
                 NSWorkspaceDidMountNotification, NSWorkspaceDidUnmountNotification,
                 NSWorkspaceDidRenameVolumeNotification
             ])
            [centre addObserverForName:name
                                object:nil
                                 queue:NSOperationQueue.mainQueue
                            usingBlock:^(NSNotification* notification) {
                              volumesChanged(notification.name.UTF8String);
                            }];
        for (const char* name : {kNotifyVFSMount, kNotifyVFSUnmount, kNotifyVFSUpdate}) {
            int token = NOTIFY_TOKEN_INVALID; // never cancelled: it lasts as long as the process
            const uint32_t status =
                notify_register_dispatch(name, &token, dispatch_get_main_queue(), ^(int) {
                  volumesChanged(name);
                });
            if (status != NOTIFY_STATUS_OK)
                osLog(std::string("notify_register_dispatch(") + name +
                      ") failed: " + std::to_string(status));
        }
        return true;
    }();
    (void)watching;
}

bool FinderSyncController::isExtensionEnabled() {
    return FIFinderSyncController.isExtensionEnabled;
}

void FinderSyncController::showExtensionManagementInterface() {
    [FIFinderSyncController showExtensionManagementInterface];
}

} // namespace platform
