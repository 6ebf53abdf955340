// Push buttons, which send their action to a target, and boxes (the window's separator line), as
// AppKit's NSButton.h and NSBox.h have them.
#pragma once

#include "platform/AppKit.h"
#include "platform/AppKitViews/NSView.h"

#include <string>

namespace platform {

enum class BezelStyle { rounded = 1 };

class Button : public View {
public:
    static std::shared_ptr<Button> buttonWithTitle(const std::string& title, Object* target,
                                                   Selector action);
    std::string title() const;
    Object* target() const { return target_; }
    const Selector& action() const { return action_; }
    void setBezelStyle(BezelStyle style);
    BezelStyle bezelStyle() const;
    void performClick(); // presses the real button

private:
    Button(const std::string& title, Object* target, Selector action);
    Object* target_;
    Selector action_;
    [[maybe_unused]] BezelStyle bezelStyle_ = BezelStyle::rounded; // where the system keeps none
};

enum class BoxType { primary = 0, separator = 2 };
class Box : public View {
public:
    Box();
    void setBoxType(BoxType type);
    BoxType boxType() const { return type_; }

private:
    BoxType type_ = BoxType::primary;
};

} // namespace platform
