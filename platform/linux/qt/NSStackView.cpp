// Stack views on Qt 6 Widgets. A stack view is a widget with a box layout in its direction, without
// Qt's own spacing: the gaps AppKit puts between the arranged views (the stack's spacing, or the
// custom spacing after a view) are explicit spacer items, and the edge insets are the layout's
// margins. A vertical stack aligns its views to the leading edge, unless a constraint makes one as
// wide as the stack's inside; a scroll view takes the room that is left.
#include "platform/AppKitViews/NSStackView.h"
#include "Views.h"
#include "platform/AppKitViews/NSTableView.h"

#include <QBoxLayout>

namespace platform {

using qt::px;

StackView::StackView(std::vector<std::shared_ptr<View>> views) : View(new QWidget) {
    for (const auto& view : views)
        addSubview(view);
    arranged_ = std::move(views);
    relayout();
}

std::shared_ptr<StackView> StackView::stackViewWithViews(std::vector<std::shared_ptr<View>> views) {
    return std::shared_ptr<StackView>(new StackView(std::move(views)));
}

void StackView::setOrientation(Orientation orientation) {
    orientation_ = orientation;
    relayout();
}
void StackView::setAlignment(StackAlignment) {
    relayout();
} // leading is the only one used
void StackView::setSpacing(double spacing) {
    spacing_ = spacing;
    relayout();
}
void StackView::setEdgeInsets(EdgeInsets insets) {
    insets_ = insets;
    relayout();
}
void StackView::setCustomSpacing(double spacing, View* afterView) {
    for (auto& entry : custom_)
        if (entry.first == afterView) {
            entry.second = spacing;
            relayout();
            return;
        }
    custom_.emplace_back(afterView, spacing);
    relayout();
}

void StackView::relayout() {
    // Layouts cannot change direction: make a new one with explicit gaps between the views.
    delete widget()->layout();
    auto* layout = new QBoxLayout(orientation_ == Orientation::vertical ? QBoxLayout::TopToBottom
                                                                        : QBoxLayout::LeftToRight,
                                  widget());
    layout->setSpacing(0);
    layout->setContentsMargins(px(insets_.left), px(insets_.top), px(insets_.right),
                               px(insets_.bottom));
    const Qt::Alignment along =
        orientation_ == Orientation::vertical ? Qt::AlignLeft : Qt::Alignment();
    View* previous = nullptr;
    for (const auto& view : arranged_) {
        if (previous != nullptr) {
            double gap = spacing_;
            for (const auto& [after, spacing] : custom_)
                if (after == previous)
                    gap = spacing;
            layout->addSpacing(px(gap));
        }
        const bool grows = dynamic_cast<ScrollView*>(view.get()) != nullptr;
        layout->addWidget(view->widget(), grows ? 1 : 0,
                          view->d().fillsAcross ? Qt::Alignment() : along);
        previous = view.get();
    }
}

} // namespace platform
