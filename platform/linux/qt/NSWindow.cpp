// Windows on Qt 6 Widgets. A window is a top-level widget sized to its content rectangle, with the
// title bar buttons its style asks for; one that is not resizable has a fixed size. The content
// view fills it through a margin-free layout, and the window grows when the content's layout needs
// more room, as auto layout makes an NSWindow do.
#include "platform/AppKitViews/NSWindow.h"
#include "Views.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

namespace platform {

using qt::px;
using qt::qs;
using qt::ss;

namespace {
class WindowWidget : public QWidget {
public:
    WindowWidget() : QWidget(nullptr, Qt::Window) {}
};
} // namespace

struct Window::Private {
    QPointer<WindowWidget> widget;
    QSize contentSize;
};

Window::Window(Rect contentRect, unsigned styleMask, BackingStore, bool)
    : d_(std::make_unique<Private>()), styleMask_(styleMask) {
    d_->widget = new WindowWidget;
    d_->contentSize = QSize(px(contentRect.width), px(contentRect.height));
    d_->widget->resize(d_->contentSize);
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (styleMask & WindowStyle::titled)
        flags |= Qt::WindowTitleHint;
    if (styleMask & WindowStyle::closable)
        flags |= Qt::WindowCloseButtonHint;
    if (styleMask & WindowStyle::miniaturizable)
        flags |= Qt::WindowMinimizeButtonHint;
    if (styleMask & WindowStyle::resizable)
        flags |= Qt::WindowMaximizeButtonHint;
    d_->widget->setWindowFlags(flags);
    if (!(styleMask & WindowStyle::resizable))
        d_->widget->setFixedSize(d_->contentSize);
}

Window::~Window() {
    content_.reset();
    if (d_->widget)
        delete d_->widget.data();
}

void Window::setTitle(const std::string& title) {
    d_->widget->setWindowTitle(qs(title));
}
std::string Window::title() const {
    return ss(d_->widget->windowTitle());
}

void Window::center() {
    const QScreen* screen =
        d_->widget->screen() ? d_->widget->screen() : QApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = d_->widget->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    d_->widget->move(frame.topLeft());
}

void Window::setContentView(std::shared_ptr<View> view) {
    delete d_->widget->layout();
    auto* layout = new QVBoxLayout(d_->widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view->widget());
    content_ = std::move(view);
    // The content keeps its size unless its constraints need more, as auto layout would do.
    const QSize needed = layout->minimumSize();
    const QSize size = d_->contentSize.expandedTo(needed);
    if (!(styleMask_ & WindowStyle::resizable))
        d_->widget->setFixedSize(size);
    else
        d_->widget->resize(size);
}

void Window::makeKeyAndOrderFront(Object*) {
    d_->widget->show();
    qt::raise(d_->widget);
    d_->widget->activateWindow();
}

bool Window::isVisible() const {
    return d_->widget && d_->widget->isVisible();
}
unsigned Window::styleMask() const {
    return styleMask_;
}
bool Window::firstResponderIsTextField() const {
    const QWidget* focus = d_->widget ? d_->widget->focusWidget() : nullptr;
    return qobject_cast<const QLabel*>(focus) != nullptr ||
           qobject_cast<const QLineEdit*>(focus) != nullptr;
}
QWidget* Window::widget() const {
    return d_->widget;
}

} // namespace platform
