// A window, as AppKit's NSWindow.h has it: made for a content size and a style, it shows one
// content view, which fills it.
#pragma once

#include "platform/AppKit.h"
#include "platform/AppKitViews/NSView.h"

#include <string>

namespace platform {

enum WindowStyle : unsigned { titled = 1, closable = 2, miniaturizable = 4, resizable = 8 };
enum class BackingStore { buffered = 2 };

class Window {
public:
    Window(Rect contentRect, unsigned styleMask, BackingStore backing, bool defer);
    ~Window();
    void setTitle(const std::string& title);
    std::string title() const;
    void center();
    void setContentView(std::shared_ptr<View> view);
    View* contentView() const { return content_.get(); }
    void makeKeyAndOrderFront(Object* sender);
    unsigned styleMask() const;
    bool isVisible() const;
    // Whether keyboard focus is in a text field (whose text a key press would then replace).
    bool firstResponderIsTextField() const;
    NativeWindow widget() const;
    struct Private;

private:
    std::unique_ptr<Private> d_;
    std::shared_ptr<View> content_;
    [[maybe_unused]] unsigned styleMask_; // as made, where the system keeps none
};

} // namespace platform
