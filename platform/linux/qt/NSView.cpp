// Views and constraints on Qt 6 Widgets. A view is a widget, its subviews the widget's children.
// Qt has no constraint solver, so the constraint patterns the application uses become Qt layout
// rules: a view pinned to the four edges of its superview fills it (a layout with those margins),
// a view pinned left and right and centred vertically is laid out in a row with those margins,
// "width = other's width + c" follows the other view as it resizes (or, when the other is the
// stack view it stands in and c takes off the stack's insets, lets the stack stretch it), and
// "height >= c" is a minimum height. Any other constraint is refused.
#include "platform/AppKitViews/NSView.h"
#include "Views.h"
#include "platform/AppKitViews/NSStackView.h"

#include <QBoxLayout>
#include <QEvent>

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

namespace platform {

using qt::px;

namespace {

// Runs a callback whenever the watched widget is resized.
class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QWidget* watched, std::function<void()> onResize)
        : QObject(watched), onResize_(std::move(onResize)) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            onResize_();
        return false;
    }

private:
    std::function<void()> onResize_;
};

} // namespace

View::View(Rect frame) : View(new QWidget) {
    widget_->setGeometry(px(frame.x), px(frame.y), px(frame.width), px(frame.height));
}

View::View(QWidget* widget) : widget_(widget), d_(std::make_unique<Private>()) {
    d_->widget = widget;
}

View::~View() {
    subviews_.clear(); // children first, while their parent still stands
    if (d_->widget)
        delete d_->widget.data();
}

void View::addSubview(std::shared_ptr<View> view) {
    view->widget()->setParent(widget_);
    view->widget()->show();
    subviews_.push_back(std::move(view));
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool) {
    // Qt widgets never turn their geometry into constraints; nothing to switch off.
}

Rect View::frame() const {
    const QRect g = widget_->geometry();
    return {double(g.x()), double(g.y()), double(g.width()), double(g.height())};
}

bool View::isHidden() const {
    return widget_->isHidden();
}

namespace {

struct Pins {
    std::optional<double> leading, trailing, top, bottom, centerY;
};

} // namespace

void LayoutConstraint::activateConstraints(const std::vector<LayoutConstraint>& constraints) {
    std::map<View*, Pins> pinned; // views pinned to their superview
    for (const auto& c : constraints) {
        QWidget* first = c.first->widget();
        if (c.second == nullptr) {
            if (c.firstAttribute == LayoutAttribute::height &&
                c.relation == Relation::greaterThanOrEqual) {
                first->setMinimumHeight(px(c.constant));
                continue;
            }
            throw std::invalid_argument("unsupported constraint to a constant");
        }
        QWidget* second = c.second->widget();
        if (c.firstAttribute == LayoutAttribute::width &&
            c.secondAttribute == LayoutAttribute::width && c.relation == Relation::equal) {
            // As wide as the inside of the stack view it stands in: let the stack stretch it.
            auto* stack = dynamic_cast<StackView*>(c.second);
            const QLayout* stackLayout = stack != nullptr ? second->layout() : nullptr;
            if (stackLayout != nullptr && first->parentWidget() == second &&
                px(-c.constant) == stackLayout->contentsMargins().left() +
                                       stackLayout->contentsMargins().right()) {
                c.first->d().fillsAcross = true;
                stack->relayout();
                continue;
            }
            const double constant = c.constant;
            QPointer<QWidget> target = first;
            auto apply = [target, second, constant] {
                if (target)
                    target->setFixedWidth(std::max(0, second->width() + px(constant)));
            };
            new ResizeWatcher(second, apply);
            apply();
            continue;
        }
        if (c.relation != Relation::equal || first->parentWidget() != second ||
            c.firstAttribute != c.secondAttribute)
            throw std::invalid_argument("unsupported constraint");
        Pins& pins = pinned[c.first];
        switch (c.firstAttribute) {
        case LayoutAttribute::leading:
            pins.leading = c.constant;
            break;
        case LayoutAttribute::trailing:
            pins.trailing = -c.constant;
            break;
        case LayoutAttribute::top:
            pins.top = c.constant;
            break;
        case LayoutAttribute::bottom:
            pins.bottom = -c.constant;
            break;
        case LayoutAttribute::centerY:
            pins.centerY = c.constant;
            break;
        default:
            throw std::invalid_argument("unsupported constraint");
        }
    }
    for (const auto& [view, pins] : pinned) {
        QWidget* child = view->widget();
        QWidget* parent = child->parentWidget();
        if (parent->layout() != nullptr)
            throw std::invalid_argument("superview is already laid out");
        if (pins.leading && pins.trailing && pins.top && pins.bottom) {
            auto* layout = new QVBoxLayout(parent);
            layout->setContentsMargins(px(*pins.leading), px(*pins.top), px(*pins.trailing),
                                       px(*pins.bottom));
            layout->setSpacing(0);
            layout->addWidget(child);
        } else if (pins.leading && pins.trailing && pins.centerY && *pins.centerY == 0) {
            auto* layout = new QHBoxLayout(parent);
            layout->setContentsMargins(px(*pins.leading), 0, px(*pins.trailing), 0);
            layout->setSpacing(0);
            layout->addWidget(child, 1, Qt::AlignVCenter);
        } else {
            throw std::invalid_argument("unsupported set of edge constraints");
        }
    }
}

} // namespace platform
