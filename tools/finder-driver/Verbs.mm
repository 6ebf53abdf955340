#include "Verbs.h"

#include "AXElement.h"
#include "HostWindow.h"
#include "System.h"

#include <cstdlib>
#include <iostream>

namespace lemvora::driver {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

void requireTrust() {
    if (!AXIsProcessTrusted())
        throw StepFailure{"AXIsProcessTrusted() is false: this program may not use the "
                          "Accessibility API (see the job's TCC step)"};
}

int windowCommand(const Options& options) {
    const auto timeoutGiven = secondsOption(options, "--timeout", 30);
    if (!timeoutGiven) {
        std::cerr << "window: --timeout takes a number of seconds\n";
        return 2;
    }
    const double timeout = *timeoutGiven;
    const WindowExpectation expected{options.all("--text"), options.all("--title"),
                                     options.all("--button")};
    RealClock clock;
    ElementPtr window;
    const std::vector<std::string> seen;
    std::vector<Step> steps{
        {"trust", requireTrust},
        {"find the window \"Lemvora\"",
         [&] {
             const bool found = waitFor(clock, timeout, 0.25, [&] {
                 for (pid_t pid : processesEndingIn("/Lemvora.app/Contents/MacOS/Lemvora"))
                     for (auto& child : applicationElement(pid)->children())
                         if (child->role() == role::window && child->title() == "Lemvora")
                             return (window = child) != nullptr;
                 return false;
             });
             if (!found)
                 throw StepFailure{"no Lemvora process with that window after " +
                                   std::to_string(int(timeout)) + " s"};
         }},
    };
    if (options.has("--press"))
        steps.push_back({"press \"" + options.one("--press") + "\"", [&] {
                             const auto button =
                                 findByRole(*window, role::button, options.one("--press"), 8);
                             // kAXErrorCannotComplete does not say the press failed
                             // (AXUIElement.h): the application may still be busy with it. The next
                             // step looks at its effect.
                             const AXError pressed = button
                                                         ? ax(button).performAction(kAXPressAction)
                                                         : kAXErrorInvalidUIElement;
                             if (pressed != kAXErrorSuccess && pressed != kAXErrorCannotComplete)
                                 throw StepFailure{"no button to press"};
                         }});
    steps.push_back({"read the window", [&] {
                         std::vector<std::string> problems;
                         const bool same = waitFor(clock, timeout, 0.25, [&] {
                             problems = compare(readWindow(*window), expected);
                             return problems.empty();
                         });
                         if (!same)
                             throw StepFailure{joined(problems)};
                         if (const auto frame = ax(window).cgFrame())
                             std::cout << "window frame: " << int(frame->origin.x) << ","
                                       << int(frame->origin.y) << "," << int(frame->size.width)
                                       << "," << int(frame->size.height) << "\n";
                     }});
    return runSteps(steps, std::cout, seen);
}

} // namespace lemvora::driver
