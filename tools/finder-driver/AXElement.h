// The driver's Element over an AXUIElementRef (HIServices' AXUIElement.h), and the texts between
// Core Foundation's strings and the core's. Objective-C++: the Mac side's own.
#pragma once

#import <AppKit/AppKit.h>
#import <ApplicationServices/ApplicationServices.h>

#include "Element.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lemvora::driver {

// Compared in composed form: Finder and the file system may hand back decomposed letters.
std::string utf8(CFStringRef string);
std::string utf8(NSString* string);
NSString* ns(const std::string& string);

class AXElement final : public Element {
public:
    // Takes over one reference (an element from a Copy or Create call, or retained).
    explicit AXElement(AXUIElementRef ref) : ref_(ref) {}
    ~AXElement() override { CFRelease(ref_); }
    AXElement(const AXElement&) = delete;
    AXElement& operator=(const AXElement&) = delete;

    AXUIElementRef ref() const { return ref_; }

    // A string's text, a number's as text ("1", "0.5"); "" for values of other types.
    std::string attribute(CFStringRef name) const {
        CFTypeRef value = copy(name);
        if (!value)
            return "";
        std::string text;
        // A pool of its own: the waits read attributes for minutes, under main's one pool.
        @autoreleasepool {
            if (CFGetTypeID(value) == CFStringGetTypeID())
                text = utf8(static_cast<CFStringRef>(value));
            else if (CFGetTypeID(value) == CFNumberGetTypeID())
                text = utf8([(__bridge NSNumber*)value stringValue]);
        }
        CFRelease(value);
        return text;
    }
    std::string role() const override { return attribute(kAXRoleAttribute); }
    std::string title() const override { return attribute(kAXTitleAttribute); }
    std::string value() const override { return attribute(kAXValueAttribute); }
    std::string subrole() const override { return attribute(kAXSubroleAttribute); }
    std::string identifier() const override { return attribute(kAXIdentifierAttribute); }
    std::string description() const override { return attribute(kAXDescriptionAttribute); }

    std::optional<int> disclosureLevel() const override {
        CFTypeRef value = copy(kAXDisclosureLevelAttribute);
        std::optional<int> level;
        int number = 0;
        if (value && CFGetTypeID(value) == CFNumberGetTypeID() &&
            CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberIntType, &number))
            level = number;
        if (value)
            CFRelease(value);
        return level;
    }
    std::optional<bool> disclosing() const override { return boolean(kAXDisclosingAttribute); }
    std::optional<bool> flag(const std::string& name) const override {
        return boolean((__bridge CFStringRef)ns(name));
    }
    std::optional<bool> boolean(CFStringRef attribute) const {
        CFTypeRef value = copy(attribute);
        std::optional<bool> set;
        // A CFBoolean, or a number as some applications answer.
        if (value && CFGetTypeID(value) == CFBooleanGetTypeID())
            set = CFBooleanGetValue(static_cast<CFBooleanRef>(value));
        else if (value && CFGetTypeID(value) == CFNumberGetTypeID())
            set = [(__bridge NSNumber*)value boolValue];
        if (value)
            CFRelease(value);
        return set;
    }
    ElementPtr focusedWindow() const override {
        return elementAttribute(kAXFocusedWindowAttribute);
    }
    bool same(const Element& other) const override {
        // Compared with CFEqual (AXUIElement.h), not as pointers: each attribute read hands a
        // new reference to the element.
        const auto* theirs = dynamic_cast<const AXElement*>(&other);
        return theirs && CFEqual(ref_, theirs->ref_);
    }

    ElementPtr parent() const override { return elementAttribute(kAXParentAttribute); }
    ElementPtr focused() const override { return elementAttribute(kAXFocusedUIElementAttribute); }

    std::vector<ElementPtr> children() const override {
        std::vector<ElementPtr> kids;
        CFTypeRef value = nullptr;
        // kAXErrorInvalidUIElement for an element that is gone, kAXErrorNoValue for one without
        // children: no children either way.
        if (AXUIElementCopyAttributeValue(ref_, kAXChildrenAttribute, &value) != kAXErrorSuccess ||
            !value)
            return kids;
        if (CFGetTypeID(value) == CFArrayGetTypeID()) {
            const auto array = static_cast<CFArrayRef>(value);
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
                auto child = static_cast<AXUIElementRef>(
                    const_cast<void*>(CFArrayGetValueAtIndex(array, i)));
                CFRetain(child);
                kids.push_back(std::make_shared<AXElement>(child));
            }
        }
        CFRelease(value);
        return kids;
    }

    bool perform(const std::string& action) override {
        return performAction((__bridge CFStringRef)ns(action)) == kAXErrorSuccess;
    }

    AXError performAction(CFStringRef action) {
        // kAXErrorInvalidUIElement when the element is gone, kAXErrorActionUnsupported when it
        // has no such action, kAXErrorCannotComplete when the application did not answer within
        // the messaging timeout: the header warns that applications run modal work inside an
        // action (a menu opening, an alert), so the action may still have happened.
        return AXUIElementPerformAction(ref_, action);
    }

    std::optional<Frame> frame() const override {
        const auto r = cgFrame();
        if (!r)
            return std::nullopt;
        return Frame{r->origin.x, r->origin.y, r->size.width, r->size.height};
    }
    // Position and size in global screen coordinates (origin top left, as CGEvent's); none when
    // the element is gone (kAXErrorInvalidUIElement) or has no frame.
    std::optional<CGRect> cgFrame() const {
        CFTypeRef position = nullptr, size = nullptr;
        std::optional<CGRect> rect;
        // Both: kAXErrorInvalidUIElement when the element is gone, kAXErrorNoValue or
        // kAXErrorAttributeUnsupported when it has no frame.
        if (AXUIElementCopyAttributeValue(ref_, kAXPositionAttribute, &position) ==
                kAXErrorSuccess &&
            AXUIElementCopyAttributeValue(ref_, kAXSizeAttribute, &size) == kAXErrorSuccess) {
            CGRect r = CGRectZero;
            // Values of another type (an application may answer anything) are no frame.
            if (CFGetTypeID(position) == AXValueGetTypeID() &&
                CFGetTypeID(size) == AXValueGetTypeID() &&
                AXValueGetValue(static_cast<AXValueRef>(position), kAXValueTypeCGPoint,
                                &r.origin) &&
                AXValueGetValue(static_cast<AXValueRef>(size), kAXValueTypeCGSize, &r.size))
                rect = r;
        }
        if (position)
            CFRelease(position);
        if (size)
            CFRelease(size);
        return rect;
    }

    bool disclose() override {
        // kAXErrorInvalidUIElement when the row is gone, kAXErrorAttributeUnsupported or
        // kAXErrorIllegalArgument where it cannot be opened this way: refused. Not
        // kAXErrorCannotComplete: the application may still be opening it (AXUIElement.h), and
        // the wait after it looks.
        const AXError error =
            AXUIElementSetAttributeValue(ref_, kAXDisclosingAttribute, kCFBooleanTrue);
        return error == kAXErrorSuccess || error == kAXErrorCannotComplete;
    }

    void setTimeout(float seconds) {
        // kAXErrorInvalidUIElement when the element is gone; kAXErrorIllegalArgument for a
        // timeout that is not positive. Neither matters here: the calls after it fail alike.
        AXUIElementSetMessagingTimeout(ref_, seconds);
    }

    bool select() {
        // kAXErrorInvalidUIElement when the element is gone, kAXErrorAttributeUnsupported or
        // kAXErrorIllegalArgument where the selection cannot be set this way.
        return AXUIElementSetAttributeValue(ref_, kAXSelectedAttribute, kCFBooleanTrue) ==
               kAXErrorSuccess;
    }

private:
    // An attribute whose value is an element (an AXUIElementRef); null for one of another type.
    ElementPtr elementAttribute(CFStringRef name) const {
        CFTypeRef value = copy(name);
        if (!value)
            return nullptr;
        if (CFGetTypeID(value) != AXUIElementGetTypeID()) {
            CFRelease(value);
            return nullptr;
        }
        return std::make_shared<AXElement>(static_cast<AXUIElementRef>(value)); // takes it over
    }

    // The attribute's value, to release; null when there is none: kAXErrorInvalidUIElement when
    // the element is gone (a closed menu's item, a closed window), kAXErrorNoValue or
    // kAXErrorAttributeUnsupported when it has no such attribute, kAXErrorCannotComplete when
    // the application did not answer in time.
    CFTypeRef copy(CFStringRef name) const {
        CFTypeRef value = nullptr;
        if (AXUIElementCopyAttributeValue(ref_, name, &value) != kAXErrorSuccess)
            return nullptr;
        return value;
    }

    AXUIElementRef ref_;
};

// An application's element, its calls waiting at most 3 s.
std::shared_ptr<AXElement> applicationElement(pid_t pid);
// The Mac's element behind the core's.
AXElement& ax(const ElementPtr& element);
// Whether the role, attribute and action names the core compares with are the SDK's own; says
// which is not on standard error.
bool roleNamesMatchTheSdk();

} // namespace lemvora::driver
