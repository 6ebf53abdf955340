// What the families of views share on Qt: the state a view keeps beside its widget, and AppKit's
// values (UTF-8 strings, points) in Qt's terms.
#pragma once

#include "platform/AppKitViews/NSTextField.h"

#include <QGuiApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cmath>
#include <string>

namespace platform {

struct View::Private {
    QPointer<QWidget> widget;
    Font font;
    Color textColor = Color::labelColor();
    double preferredMaxLayoutWidth = 0;
    bool wrapping = false;
    bool fillsAcross = false; // as wide as the inner width of the stack view it is arranged in
};

namespace qt {

inline QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
inline std::string ss(const QString& s) {
    return s.toUtf8().toStdString();
}
inline int px(double points) {
    return static_cast<int>(std::lround(points));
}

// Brings a window to the front of the others. Qt's offscreen platform stacks no windows: it keeps
// QPlatformWindow's raise(), which only warns "This plugin does not support raise()" (qtbase,
// qplatformwindow.cpp), so there it is not asked.
inline void raise(QWidget* window) {
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        window->raise();
}

} // namespace qt

} // namespace platform
