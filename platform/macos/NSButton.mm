// Buttons and boxes on AppKit. An NSButton sends its action to an Objective-C target, so each C++
// target gets one LVObjectProxy for as long as the process runs, which hands the selector on to
// its C++ object by name. A box is an NSBox of the type asked for.
#include "platform/AppKitViews/NSButton.h"
#include "ObjectProxy.h"
#include "Strings.h"

#import <AppKit/AppKit.h>

#include <map>

using platform::macos::ns;
using platform::macos::utf8;

using platform::Object;

@implementation LVObjectProxy {
    Object* _object;
}
- (instancetype)initWithObject:(Object*)object {
    self = [super init];
    if (self != nil)
        _object = object;
    return self;
}
- (BOOL)respondsToSelector:(SEL)selector {
    return _object->respondsTo(utf8(NSStringFromSelector(selector))) ||
           [super respondsToSelector:selector];
}
- (NSMethodSignature*)methodSignatureForSelector:(SEL)selector {
    if (!_object->respondsTo(utf8(NSStringFromSelector(selector))))
        return [super methodSignatureForSelector:selector];
    const bool takesSender = [NSStringFromSelector(selector) hasSuffix:@":"];
    return [NSMethodSignature signatureWithObjCTypes:takesSender ? "v@:@" : "v@:"];
}
- (void)perform:(const char*)selector sender:(id)sender {
    (void)sender;
    _object->perform(selector, nullptr);
}
- (void)forwardInvocation:(NSInvocation*)invocation {
    const std::string name = utf8(NSStringFromSelector(invocation.selector));
    if (!_object->perform(name, nullptr))
        [super forwardInvocation:invocation];
}
@end

namespace {
// One proxy per C++ object, for as long as the process runs (targets are not owned by AppKit).
LVObjectProxy* proxyFor(Object* object) {
    static std::map<Object*, LVObjectProxy*> proxies;
    auto it = proxies.find(object);
    if (it == proxies.end())
        it = proxies.emplace(object, [[LVObjectProxy alloc] initWithObject:object]).first;
    return it->second;
}
} // namespace

namespace platform {

Button::Button(const std::string& title, Object* target, Selector action)
    : View([NSButton buttonWithTitle:ns(title)
                              target:(target != nullptr ? proxyFor(target) : nil)
                              action:NSSelectorFromString(ns(action))]),
      target_(target), action_(std::move(action)) {}

std::shared_ptr<Button> Button::buttonWithTitle(const std::string& title, Object* target,
                                                Selector action) {
    auto button = std::shared_ptr<Button>(new Button(title, target, std::move(action)));
    static_cast<NSButton*>(button->widget()).bezelStyle = NSBezelStyleRounded;
    return button;
}

std::string Button::title() const {
    return utf8(static_cast<NSButton*>(widget()).title);
}
void Button::performClick() {
    [static_cast<NSButton*>(widget()) performClick:nil];
}
void Button::setBezelStyle(BezelStyle style) {
    static_cast<NSButton*>(widget()).bezelStyle = static_cast<NSBezelStyle>(style);
}
BezelStyle Button::bezelStyle() const {
    return static_cast<BezelStyle>(static_cast<NSButton*>(widget()).bezelStyle);
}

Box::Box() : View([[NSBox alloc] init]) {}
void Box::setBoxType(BoxType type) {
    type_ = type;
    static_cast<NSBox*>(widget()).boxType = static_cast<NSBoxType>(type);
}

} // namespace platform
