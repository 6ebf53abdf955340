// The application on AppKit: NSApplication, with an LVApplicationDelegate that hands launching,
// activation and the closing of the last window on to the C++ delegate. One turn of the event
// loop handles the events waiting, then the main run loop's jobs and timers, then every window's
// layout.
#include "platform/AppKitViews/NSApplication.h"
#include "Activation.h"

#import <AppKit/AppKit.h>

@interface LVApplicationDelegate : NSObject <NSApplicationDelegate>
@end

@implementation LVApplicationDelegate
- (void)applicationDidFinishLaunching:(NSNotification*)notification {
    (void)notification;
    if (auto* delegate = platform::Application::sharedApplication().delegate())
        delegate->applicationDidFinishLaunching();
}
- (void)applicationDidBecomeActive:(NSNotification*)notification {
    (void)notification;
    platform::Application::sharedApplication().handleActivation(true);
}
- (void)applicationDidResignActive:(NSNotification*)notification {
    (void)notification;
    platform::Application::sharedApplication().handleActivation(false);
}
// Window restoration encodes securely (macOS 14 logs a warning at every start otherwise).
- (BOOL)applicationSupportsSecureRestorableState:(NSApplication*)application {
    (void)application;
    return YES;
}
- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender {
    (void)sender;
    auto* delegate = platform::Application::sharedApplication().delegate();
    return delegate != nullptr && delegate->applicationShouldTerminateAfterLastWindowClosed();
}
@end

namespace platform {

Application::Application() {
    // NSApplication's delegate reference is weak: this one lives as long as the process.
    static LVApplicationDelegate* bridge = [[LVApplicationDelegate alloc] init];
    NSApplication.sharedApplication.delegate = bridge;
}

Application& Application::sharedApplication() {
    static Application* application = new Application;
    return *application;
}

void Application::run() {
    [NSApp setActivationPolicy:static_cast<NSApplicationActivationPolicy>(policy_)];
    [NSApp run];
}

void Application::finishLaunching() {
    [NSApp setActivationPolicy:static_cast<NSApplicationActivationPolicy>(policy_)];
    [NSApp finishLaunching];
}

void Application::runLoopOnce() {
    @autoreleasepool {
        // The events waiting now, then the main queue's jobs and timers, then layout.
        while (NSEvent* event = [NSApp nextEventMatchingMask:NSEventMaskAny
                                                   untilDate:NSDate.distantPast
                                                      inMode:NSDefaultRunLoopMode
                                                     dequeue:YES])
            [NSApp sendEvent:event];
        [NSRunLoop.mainRunLoop runMode:NSDefaultRunLoopMode beforeDate:NSDate.distantPast];
        for (NSWindow* window in NSApp.windows)
            [window layoutIfNeeded];
    }
}

void Application::activateIgnoringOtherApps(bool) {
    macos::activateApplication();
}

void Application::terminate() {
    [NSApp terminate:nil];
}

} // namespace platform
