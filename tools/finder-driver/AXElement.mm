#include "AXElement.h"

#include <iostream>

namespace lemvora::driver {

std::string utf8(CFStringRef string) {
    if (!string)
        return "";
    NSString* composed = [(__bridge NSString*)string precomposedStringWithCanonicalMapping];
    return composed.UTF8String ? composed.UTF8String : "";
}

std::string utf8(NSString* string) {
    return utf8((__bridge CFStringRef)string);
}

NSString* ns(const std::string& string) {
    return [NSString stringWithUTF8String:string.c_str()];
}

std::shared_ptr<AXElement> applicationElement(pid_t pid) {
    // Never null; for a process that is gone, or has no accessibility, every call on it fails
    // (kAXErrorInvalidUIElement, kAXErrorCannotComplete, kAXErrorNotImplemented).
    auto app = std::make_shared<AXElement>(AXUIElementCreateApplication(pid));
    app->setTimeout(3);
    return app;
}

AXElement& ax(const ElementPtr& element) {
    return static_cast<AXElement&>(*element);
}

// The role and action names the core compares with or performs are the SDK's own.
bool roleNamesMatchTheSdk() {
    const std::pair<const char*, CFStringRef> names[] = {
        {role::application, kAXApplicationRole},
        {role::window, kAXWindowRole},
        {role::menuBar, kAXMenuBarRole},
        {role::menuBarItem, kAXMenuBarItemRole},
        {role::menu, kAXMenuRole},
        {role::menuItem, kAXMenuItemRole},
        {role::button, kAXButtonRole},
        {role::staticText, kAXStaticTextRole},
        {role::textField, kAXTextFieldRole},
        {role::scrollArea, kAXScrollAreaRole},
        {role::table, kAXTableRole},
        {role::outline, kAXOutlineRole},
        {role::row, kAXRowRole},
        {role::cell, kAXCellRole},
        {role::group, kAXGroupRole},
        {role::browser, kAXBrowserRole},
        {role::list, kAXListRole},
        {role::popUpButton, kAXPopUpButtonRole},
        {role::menuButton, kAXMenuButtonRole},
        {role::disclosureTriangle, kAXDisclosureTriangleRole},
        {action::press, kAXPressAction},
        {attribute::main, kAXMainAttribute},
        {attribute::focused, kAXFocusedAttribute},
    };
    for (const auto& [core, sdk] : names)
        if (utf8(sdk) != core) {
            std::cerr << "the name " << core << " is " << utf8(sdk) << " in the SDK\n";
            return false;
        }
    return true;
}

} // namespace lemvora::driver
