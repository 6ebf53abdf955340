// Buttons and boxes on Qt 6 Widgets. A button is a QPushButton whose click performs the action on
// its target, by selector name, as AppKit sends it; a box is a QFrame, and a separator box a
// sunken horizontal line one point high.
#include "platform/AppKitViews/NSButton.h"
#include "Views.h"

#include <QFrame>
#include <QPushButton>

namespace platform {

using qt::qs;
using qt::ss;

Button::Button(const std::string& title, Object* target, Selector action)
    : View(new QPushButton(qs(title))), target_(target), action_(std::move(action)) {
    QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked, [this] {
        if (target_ != nullptr)
            target_->perform(action_, nullptr);
    });
}

std::shared_ptr<Button> Button::buttonWithTitle(const std::string& title, Object* target,
                                                Selector action) {
    return std::shared_ptr<Button>(new Button(title, target, std::move(action)));
}

std::string Button::title() const {
    return ss(static_cast<QPushButton*>(widget())->text());
}

void Button::performClick() {
    static_cast<QPushButton*>(widget())->click();
}

// Qt's push button has one look; the style is kept for what asks.
void Button::setBezelStyle(BezelStyle style) {
    bezelStyle_ = style;
}
BezelStyle Button::bezelStyle() const {
    return bezelStyle_;
}

Box::Box() : View(new QFrame) {}

void Box::setBoxType(BoxType type) {
    type_ = type;
    auto* frame = static_cast<QFrame*>(widget());
    if (type == BoxType::separator) {
        frame->setFrameShape(QFrame::HLine);
        frame->setFrameShadow(QFrame::Sunken);
        frame->setFixedHeight(1);
    } else {
        frame->setFrameShape(QFrame::StyledPanel);
    }
}

} // namespace platform
