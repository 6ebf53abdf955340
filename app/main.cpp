// The host application Lemvora.
#include "AppDelegate.h"

namespace {
// The application object and its delegate live for the whole run; the application's delegate
// reference does not own the delegate.
platform::Application* application = nullptr;
lemvora::AppDelegate* delegate = nullptr;
} // namespace

int main() {
    application = &platform::Application::sharedApplication();
    delegate = new lemvora::AppDelegate();
    application->setDelegate(delegate);
    application->setActivationPolicy(platform::ActivationPolicy::regular);
    application->run();
    return 0;
}
