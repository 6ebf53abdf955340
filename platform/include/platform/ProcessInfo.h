// NSProcessInfo's activities: telling the system that the process has work under way that it
// must not cut short.
#pragma once

#include <memory>
#include <string>

namespace platform {

class ProcessInfo {
public:
    // What beginActivity returns, for endActivity; opaque.
    using Activity = std::shared_ptr<void>;

    virtual ~ProcessInfo() = default;
    // Begins a user-initiated activity that still lets the system sleep when idle, and keeps it
    // from ending the process meanwhile (macOS: beginActivityWithOptions:reason: with
    // NSActivityUserInitiatedAllowingIdleSystemSleep, which includes
    // NSActivitySuddenTerminationDisabled and NSActivityAutomaticTerminationDisabled;
    // NSProcessInfo.h). `reason` is for debugging.
    virtual Activity beginActivity(const std::string& reason) = 0;
    virtual void endActivity(Activity activity) = 0;

    static ProcessInfo& processInfo();
    static void setShared(std::shared_ptr<ProcessInfo> processInfo);
};

} // namespace platform
