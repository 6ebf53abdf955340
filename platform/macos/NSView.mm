// Views and constraints on AppKit. A view wraps the NSView of its class, and its subviews are that
// NSView's subviews. A frame is given from the top left of the superview, as on Linux: AppKit
// counts from the bottom left unless the superview is flipped, so the frame is turned over here.
// Constraints become NSLayoutConstraints with a multiplier of 1, activated together, and auto
// layout solves them.
#include "platform/AppKitViews/NSView.h"
#include "Views.h"

#import <AppKit/AppKit.h>

namespace platform {

namespace {

NSLayoutAttribute nsattribute(LayoutAttribute a) {
    switch (a) {
    case LayoutAttribute::leading:
        return NSLayoutAttributeLeading;
    case LayoutAttribute::trailing:
        return NSLayoutAttributeTrailing;
    case LayoutAttribute::top:
        return NSLayoutAttributeTop;
    case LayoutAttribute::bottom:
        return NSLayoutAttributeBottom;
    case LayoutAttribute::width:
        return NSLayoutAttributeWidth;
    case LayoutAttribute::height:
        return NSLayoutAttributeHeight;
    case LayoutAttribute::centerY:
        return NSLayoutAttributeCenterY;
    }
    return NSLayoutAttributeNotAnAttribute;
}

} // namespace

View::View(Rect frame)
    : View([[NSView alloc] initWithFrame:NSMakeRect(frame.x, frame.y, frame.width, frame.height)]) {
}

View::View(NativeView widget) : widget_(widget), d_(std::make_unique<Private>()) {
    d_->view = widget;
}

View::~View() {
    subviews_.clear();
}

void View::addSubview(std::shared_ptr<View> view) {
    [widget_ addSubview:view->widget()];
    subviews_.push_back(std::move(view));
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    widget_.translatesAutoresizingMaskIntoConstraints = translates;
}

Rect View::frame() const {
    // From the top left of the superview, as on every system: AppKit counts from the bottom left
    // unless the superview is flipped (a stack view is not).
    const NSRect f = widget_.frame;
    NSView* superview = widget_.superview;
    const double y = superview == nil || superview.flipped
                         ? f.origin.y
                         : superview.bounds.size.height - NSMaxY(f);
    return {f.origin.x, y, f.size.width, f.size.height};
}

bool View::isHidden() const {
    return widget_.hidden;
}

void LayoutConstraint::activateConstraints(const std::vector<LayoutConstraint>& constraints) {
    NSMutableArray<NSLayoutConstraint*>* list = [NSMutableArray array];
    for (const auto& c : constraints) {
        const NSLayoutRelation relation = c.relation == Relation::equal
                                              ? NSLayoutRelationEqual
                                              : NSLayoutRelationGreaterThanOrEqual;
        [list addObject:[NSLayoutConstraint
                            constraintWithItem:c.first->widget()
                                     attribute:nsattribute(c.firstAttribute)
                                     relatedBy:relation
                                        toItem:c.second != nullptr ? c.second->widget() : nil
                                     attribute:c.second != nullptr ? nsattribute(c.secondAttribute)
                                                                   : NSLayoutAttributeNotAnAttribute
                                    multiplier:1
                                      constant:c.constant]];
    }
    [NSLayoutConstraint activateConstraints:list];
}

} // namespace platform
