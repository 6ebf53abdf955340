// Bringing the application forward, on every macOS the build runs on.
#pragma once

#import <AppKit/AppKit.h>

namespace platform::macos {

// From macOS 14 on, activateIgnoringOtherApps: is deprecated for -[NSApplication activate], and
// either is a request that the system may decline (it grants it when the user's own action led
// here). The SDK this is built against may predate `activate`, so it is chosen at run time: by
// the system's version (as @available asks it, without the compiler runtime that @available
// needs and the cross-check's toolchain lacks) and by the method being there.
inline void activateApplication() {
    NSApplication* application = NSApplication.sharedApplication;
    const NSOperatingSystemVersion sonoma = {14, 0, 0};
    if ([NSProcessInfo.processInfo isOperatingSystemAtLeastVersion:sonoma] &&
        [application respondsToSelector:@selector(activate)]) {
        [application performSelector:@selector(activate)];
        return;
    }
    [application activateIgnoringOtherApps:YES];
}

} // namespace platform::macos
