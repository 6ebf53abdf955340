// The application and its delegate, as AppKit's NSApplication.h has them: launching, the event
// loop, activation and termination.
#pragma once

namespace platform {

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() {}
    virtual void applicationDidBecomeActive() {}
    virtual bool applicationShouldTerminateAfterLastWindowClosed() { return false; }
};

enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

class Application {
public:
    static Application& sharedApplication();
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
    ApplicationDelegate* delegate() const { return delegate_; }
    void setActivationPolicy(ActivationPolicy policy) { policy_ = policy; }
    ActivationPolicy activationPolicy() const { return policy_; }
    // Finishes launching (the delegate hears of it), then runs the event loop until the
    // application terminates.
    void run();
    // Takes the activation policy and finishes launching, without running the event loop: for a
    // program that turns the loop itself (a test).
    void finishLaunching();
    void activateIgnoringOtherApps(bool ignoringOtherApps);
    bool isActive() const { return active_; }
    // The system tells the application it became active or inactive (another application was
    // brought to the front, or the user came back); the delegate hears of each activation.
    void handleActivation(bool active);
    void terminate();
    // One turn of the event loop: the events and jobs waiting now are handled, and the windows
    // are laid out, so that frames and cells are current. Returns at once.
    void runLoopOnce();

private:
    Application();
    ApplicationDelegate* delegate_ = nullptr;
    ActivationPolicy policy_ = ActivationPolicy::prohibited;
    bool active_ = false;
};

} // namespace platform
