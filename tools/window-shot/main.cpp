// lemvora-window-shot: starts the host application's window as Lemvora does (seed, build,
// refresh) and saves a picture of it. Run it with QT_QPA_PLATFORM=offscreen for no display.
//
// Usage: lemvora-window-shot OUTPUT.png
// The program must lie in Lemvora.app/Contents/MacOS, beside Lemvora, to find its resources.
#include "AppDelegate.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lemvora-window-shot OUTPUT.png\n");
        return 2;
    }
    auto& application = platform::Application::sharedApplication();
    lemvora::AppDelegate delegate;
    application.setDelegate(&delegate);
    delegate.applicationDidFinishLaunching();
    QApplication::processEvents();
    const QPixmap picture = delegate.window()->widget()->grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
