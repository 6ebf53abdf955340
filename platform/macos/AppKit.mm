// The layer's services on the real frameworks: NSAlert, NSWorkspace, NSProcessInfo's activities,
// NSLog and os_log, FIFinderSyncController, the volumes and their notifications. (The queues are
// in Dispatch.mm, the file manager's services in FileSystem.mm; the principal class that Finder
// instantiates is in ExtensionMain.mm.)
#include "platform/AppKit.h"
#include "Activation.h"
#include "Strings.h"
#include "platform/Dispatch.h"
#include "platform/FinderSync.h"
#include "platform/ProcessInfo.h"

#import <AppKit/AppKit.h>
#import <FinderSync/FinderSync.h>

#include <memory>
#include <system_error>

#include <notify.h>
#include <notify_keys.h>
#include <os/log.h>

using platform::macos::ns;

namespace platform {

namespace {

NSURL* fileURL(const URL& url) {
    return [NSURL fileURLWithPath:ns(url.string())];
}
// A new document's URL, made without asking the disk (NSURL.h: fileURLWithPath:isDirectory:
// "saves an i/o"): the reveal runs on the main thread, and the document's volume may be a share
// that stopped answering. A new document is always a file.
NSURL* documentURL(const URL& url) {
    return [NSURL fileURLWithPath:ns(url.string()) isDirectory:NO];
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
            [list addObject:documentURL(url)];
        [NSWorkspace.sharedWorkspace activateFileViewerSelectingURLs:list];
    }
    void openApplicationAtURL(const URL& url, const OpenConfiguration&) override {
        [NSWorkspace.sharedWorkspace
            openApplicationAtURL:folderURL(url) // a bundle is a folder
                   configuration:[[NSWorkspaceOpenConfiguration alloc] init]
               completionHandler:nil];
    }
    bool openURL(const URL& url) override {
        return [NSWorkspace.sharedWorkspace openURL:fileURL(url)];
    }
};

// NSProcessInfo.h: work that outlives the event callback that started it needs an activity ("If
// your activity takes place synchronously inside an event callback on the main thread, you do not
// need to use this API"); performExpiringActivityWithReason: is unavailable on macOS.
class SystemProcessInfo : public ProcessInfo {
public:
    Activity beginActivity(const std::string& reason) override {
        id<NSObject> token = [NSProcessInfo.processInfo
            beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                              reason:ns(reason)];
        // Held by the C++ side until endActivity: a token that is deallocated ends the activity
        // (NSProcessInfo.h).
        return Activity((__bridge_retained void*)token,
                        [](void* held) { (void)(__bridge_transfer id<NSObject>)held; });
    }
    void endActivity(Activity activity) override {
        if (activity)
            [NSProcessInfo.processInfo endActivity:(__bridge id<NSObject>)activity.get()];
    }
};

} // namespace

std::shared_ptr<ProcessInfo> defaultProcessInfo() {
    return std::make_shared<SystemProcessInfo>();
}
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

// On the main thread, at every mount, unmount and rename: so it asks no volume anything. No
// resource value is asked for (the empty key list), since reading one asks the volume itself and
// a share that stopped answering holds the question (seen in macfuse/macfuse#423, a stack blocked
// in CFURLCopyResourcePropertyForKey); the list itself comes from the kernel's mount table without
// waiting on any volume (MNT_NOWAIT, in the words of Foundation's own implementer, in
// swiftlang/swift-corelibs-foundation#4649).
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
