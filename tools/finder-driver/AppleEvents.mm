#import <Foundation/Foundation.h>

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

std::string appleScript(const std::string& source) {
    NSDictionary* error = nil;
    // An Apple event waits two minutes for its answer by default (AppleScript Language Guide,
    // "with timeout"), and the messaging timeout of the Accessibility calls does not bind it:
    // Finder busy in a menu would hold a step past its own limit.
    NSAppleScript* script = [[NSAppleScript alloc]
        initWithSource:ns("with timeout of 10 seconds\n" + source + "\nend timeout")];
    NSAppleEventDescriptor* result = [script executeAndReturnError:&error];
    if (!result)
        throw StepFailure{"AppleScript: " + utf8((NSString*)error[NSAppleScriptErrorMessage]) +
                          " (" + utf8([error[NSAppleScriptErrorNumber] description]) + ")"};
    return result.stringValue ? utf8(result.stringValue) : "";
}

std::string finderWindowAndSelection() {
    try {
        return appleScript("tell application \"Finder\"\n"
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
