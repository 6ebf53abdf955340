#include "AlertRecord.h"

#include "Menus.h"
#include "Steps.h"

namespace lemvora::driver {

namespace {

std::string shown(std::optional<bool> flag) {
    return !flag ? "none" : *flag ? "true" : "false";
}

} // namespace

std::string focusRecord(const Element& application, const Element& alertWindow) {
    const auto window = application.focusedWindow();
    return "the alert's window: AXMain " + shown(alertWindow.flag(attribute::main)) +
           ", AXFocused " + shown(alertWindow.flag(attribute::focused)) +
           "; its application's AXFocusedWindow: " +
           (!window                     ? std::string("none")
            : window->same(alertWindow) ? std::string("the alert")
                                        : "another window, " + labelOf(*window));
}

std::string menuRecord(const Element* menu, const std::string& title, bool closedByEscape) {
    if (!menu)
        return "with the alert up, no context menu opened";
    return "with the alert up, the context menu " +
           (findItem(*menu, title)
                ? "offers \"" + title + "\""
                : "does not offer \"" + title + "\": " + joined(titlesOf(*menu))) +
           (closedByEscape ? "; Escape closed it" : "; it stayed after Escape");
}

std::string returnRecord(bool alertGone, const std::string& finderBefore,
                         const std::string& finderAfter) {
    return std::string("Return: the alert ") + (alertGone ? "is gone" : "is still up") +
           (finderBefore == finderAfter
                ? "; Finder as before: " + finderBefore
                : "; Finder changed: " + finderBefore + " -> " + finderAfter);
}

} // namespace lemvora::driver
