// NSApplication on Qt, and the system's extension settings for Linux: a small window over the
// finder host's registry of enabled extensions.
#include "Views.h"
#include "platform/AppKitViews.h"
#include "platform/Bundle.h"
#include "platform/ExtensionRegistry.h"
#include "platform/FinderSync.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace platform {

namespace {

QApplication& qtApplication() {
    // The program takes no command-line options: Qt gets only the program's name.
    static int argc = 1;
    static char name[] = "Lemvora";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        auto* app = new QApplication(argc, argv);
        app->setQuitOnLastWindowClosed(false); // the delegate decides
        // The application's icon, as its bundle carries it for macOS too.
        if (const auto icon = Bundle::main().urlForResource("Lemvora.png"))
            app->setWindowIcon(QIcon(QString::fromStdString(icon->string())));
        return app;
    }();
    return *application;
}

} // namespace

Application::Application() {
    QApplication& app = qtApplication();
    QObject::connect(
        &app, &QGuiApplication::applicationStateChanged,
        [this](Qt::ApplicationState state) { handleActivation(state == Qt::ApplicationActive); });
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, [this] {
        if (delegate_ != nullptr && delegate_->applicationShouldTerminateAfterLastWindowClosed())
            terminate();
    });
}

Application& Application::sharedApplication() {
    static Application* application = new Application;
    return *application;
}

void Application::finishLaunching() {
    // Qt's application is launched once made; the activation policy means nothing here.
}

void Application::run() {
    QTimer::singleShot(0, [this] {
        if (delegate_ != nullptr)
            delegate_->applicationDidFinishLaunching();
    });
    qtApplication().exec();
}

void Application::runLoopOnce() {
    QApplication::processEvents();
}

void Application::activateIgnoringOtherApps(bool) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            qt::raise(window);
            window->activateWindow();
        }
    }
    // Some platforms (offscreen, some window managers) report no change of state; becoming
    // active is what was asked, so say so once.
    handleActivation(true);
}

void Application::terminate() {
    QCoreApplication::quit();
}

void FinderSyncController::showExtensionManagementInterface() {
    // Linux has no System Settings pane for Finder extensions: this window is it. Opening it is
    // leaving the application, closing it is coming back (and the application hears of both).
    const URL appex = Bundle::main().bundleURL() / "Contents/PlugIns/LemvoraMenu.appex";
    auto* dialog = new QDialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName("extensionSettings");
    dialog->setWindowTitle(QStringLiteral("Uzantılar — Finder"));
    auto* layout = new QVBoxLayout(dialog);
    auto* check = new QCheckBox(QStringLiteral("Lemvora (Yeni Belge menüsü)"));
    check->setChecked(registry::isEnabled(appex));
    auto* where = new QLabel(QString::fromStdString(appex.string()));
    where->setStyleSheet("color: gray");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    layout->addWidget(check);
    layout->addWidget(where);
    layout->addWidget(buttons);
    QObject::connect(check, &QCheckBox::toggled, [appex, check](bool on) {
        try {
            on ? registry::enable(appex) : registry::disable(appex);
        } catch (const std::exception&) {
            const QSignalBlocker block(check);
            check->setChecked(!on);
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    QObject::connect(dialog, &QDialog::finished,
                     [] { Application::sharedApplication().handleActivation(true); });
    Application::sharedApplication().handleActivation(false);
    dialog->show();
}

} // namespace platform
