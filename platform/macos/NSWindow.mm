// Windows on AppKit: an NSWindow made with the content rectangle, style mask and backing asked
// for, owned by its C++ object: closing does not release it, and it leaves the screen when the
// object goes. Shown, it leaves no view first responder, so that no label opens with its text
// selected.
#include "platform/AppKitViews/NSWindow.h"
#include "Strings.h"

#import <AppKit/AppKit.h>

using platform::macos::ns;
using platform::macos::utf8;

namespace platform {

struct Window::Private {
    NSWindow* window = nil;
};

Window::Window(Rect contentRect, unsigned styleMask, BackingStore backing, bool defer)
    : d_(std::make_unique<Private>()), styleMask_(styleMask) {
    d_->window =
        [[NSWindow alloc] initWithContentRect:NSMakeRect(contentRect.x, contentRect.y,
                                                         contentRect.width, contentRect.height)
                                    styleMask:styleMask
                                      backing:static_cast<NSBackingStoreType>(backing)
                                        defer:defer];
    d_->window.releasedWhenClosed = NO; // the C++ object owns it
}

Window::~Window() {
    // Gone from the screen with its object, as a Qt window is.
    [d_->window orderOut:nil];
}
void Window::setTitle(const std::string& title) {
    d_->window.title = ns(title);
}
std::string Window::title() const {
    return utf8(d_->window.title);
}
void Window::center() {
    [d_->window center];
}
void Window::setContentView(std::shared_ptr<View> view) {
    d_->window.contentView = view->widget();
    content_ = std::move(view);
}
void Window::makeKeyAndOrderFront(Object*) {
    [d_->window makeKeyAndOrderFront:nil];
    // Left alone, the window would give the keyboard to the first view that takes it, the
    // selectable usage paragraph, and AppKit would open with all its text selected.
    [d_->window makeFirstResponder:nil];
}
bool Window::isVisible() const {
    return d_->window.visible;
}
unsigned Window::styleMask() const {
    return static_cast<unsigned>(d_->window.styleMask);
}
bool Window::firstResponderIsTextField() const {
    NSResponder* responder = d_->window.firstResponder;
    // A field being edited hands the keyboard to the window's field editor, a text view.
    return [responder isKindOfClass:NSTextField.class] || [responder isKindOfClass:NSText.class];
}
NativeWindow Window::widget() const {
    return d_->window;
}

} // namespace platform
