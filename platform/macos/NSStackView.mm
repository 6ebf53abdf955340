// Stack views on AppKit: an NSStackView, which lays out its arranged views itself, with the
// orientation, alignment, spacing, custom spacing and edge insets handed straight to it. Its
// views are placed by constraints only.
#include "platform/AppKitViews/NSStackView.h"

#import <AppKit/AppKit.h>

namespace platform {

static NSStackView* stack(NSView* view) {
    return static_cast<NSStackView*>(view);
}

StackView::StackView(std::vector<std::shared_ptr<View>> views)
    : View([NSStackView stackViewWithViews:@[]]) {
    for (const auto& view : views) {
        // Placed by constraints only: no header promises that the stack switches this off.
        view->widget().translatesAutoresizingMaskIntoConstraints = NO;
        [stack(widget()) addArrangedSubview:view->widget()];
    }
    arranged_ = std::move(views);
}

std::shared_ptr<StackView> StackView::stackViewWithViews(std::vector<std::shared_ptr<View>> views) {
    return std::shared_ptr<StackView>(new StackView(std::move(views)));
}

void StackView::setOrientation(Orientation orientation) {
    orientation_ = orientation;
    stack(widget()).orientation = static_cast<NSUserInterfaceLayoutOrientation>(orientation);
}
void StackView::setAlignment(StackAlignment alignment) {
    stack(widget()).alignment = static_cast<NSLayoutAttribute>(alignment);
}
void StackView::setSpacing(double spacing) {
    spacing_ = spacing;
    stack(widget()).spacing = spacing;
}
void StackView::setEdgeInsets(EdgeInsets insets) {
    insets_ = insets;
    stack(widget()).edgeInsets =
        NSEdgeInsetsMake(insets.top, insets.left, insets.bottom, insets.right);
}
void StackView::setCustomSpacing(double spacing, View* afterView) {
    custom_.emplace_back(afterView, spacing);
    [stack(widget()) setCustomSpacing:spacing afterView:afterView->widget()];
}
void StackView::relayout() {} // NSStackView lays itself out

} // namespace platform
