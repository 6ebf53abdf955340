#import <Foundation/Foundation.h>

#include <cmath>

#include "AXElement.h"
#include "AppleEvents.h"
#include "Steps.h"

namespace lemvora::driver {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

namespace {
double eventLimit = 10;
}

void setEventTimeout(double seconds) {
    eventLimit = seconds;
}

std::string appleScript(const std::string& call, const std::string& source) {
    return sendEvent(call, eventLimit, [&](double limit) {
        // An Apple event waits two minutes for its answer by default (AppleScript Language
        // Guide, "with timeout", which takes whole seconds), and the messaging timeout of the
        // Accessibility calls does not bind it: Finder busy in a menu would hold a step past its
        // own limit.
        const std::string seconds = std::to_string(static_cast<long>(std::ceil(limit)));
        NSDictionary* error = nil;
        NSAppleScript* script =
            [[NSAppleScript alloc] initWithSource:ns("with timeout of " + seconds + " seconds\n" +
                                                     source + "\nend timeout")];
        NSAppleEventDescriptor* result = [script executeAndReturnError:&error];
        EventReply reply;
        if (result) {
            reply.answer = result.stringValue ? utf8(result.stringValue) : "";
        } else {
            reply.error = [(NSNumber*)error[NSAppleScriptErrorNumber] longValue];
            reply.message = utf8((NSString*)error[NSAppleScriptErrorMessage]);
        }
        return reply;
    });
}

std::string finderWindowAndSelection() {
    try {
        return appleScript("Finder's front window and selection",
                           "tell application \"Finder\"\n"
                           "  set out to POSIX path of (target of front Finder window as alias)\n"
                           "  repeat with f in (get selection)\n"
                           "    set out to out & linefeed & POSIX path of (f as alias)\n"
                           "  end repeat\n"
                           "  return out\n"
                           "end tell");
    } catch (const StepFailure& failure) {
        return failure.reason;
    }
}

} // namespace lemvora::driver
