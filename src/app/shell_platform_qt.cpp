// Linux only: the desktop launcher's Qt application, with widgets on a display or without them
// (headless, when no display can be opened).
#include "app/shell_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#include <string>
#include <vector>

#include "app/ui_thread.h"
#include "sys/environment.h"

struct ShellPlatform::Impl {
    // Qt keeps references to the argument count and vector for the application's life.
    int argc = 0;
    std::vector<std::string> argText;
    std::vector<char*> argv;
    std::unique_ptr<QCoreApplication> app;
};

ShellPlatform::ShellPlatform() : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    const std::string platform = GetEnvironmentValue("QT_QPA_PLATFORM");
    const bool display = DisplayNamed() || !platform.empty();
    // The program's own command line is read elsewhere; Qt sees only a platform choice, which
    // ends with the offscreen platform so that a display that cannot be opened is no failure.
    const std::string wanted = platform.empty() ? "xcb;wayland" : platform;
    impl.argText = {"trailhost"};
    if (display) {
        impl.argText.push_back("-platform");
        impl.argText.push_back(wanted + ";offscreen");
    }
    for (std::string& arg : impl.argText) {
        impl.argv.push_back(arg.data());
    }
    impl.argv.push_back(nullptr);
    impl.argc = static_cast<int>(impl.argText.size());
    if (!display) {
        impl.app = std::make_unique<QCoreApplication>(impl.argc, impl.argv.data());
        SetHeadless(true);
        return;
    }
    impl.app = std::make_unique<QApplication>(impl.argc, impl.argv.data());
    // Landing on the offscreen platform without asking for it means no display could be opened.
    const bool offscreenWanted = wanted.compare(0, 9, "offscreen") == 0;
    SetHeadless(QGuiApplication::platformName() == "offscreen" && !offscreenWanted);
    QApplication::setQuitOnLastWindowClosed(false);
}

ShellPlatform::~ShellPlatform() {
    StopUiThreadWork();
}

bool ShellPlatform::StartOle() {
    return true;
}

bool ShellPlatform::HasDisplay() const {
    return GuiAvailable();
}

int ShellPlatform::RunMessageLoop() {
    return RunUiLoop();
}

void RaiseFrontWindow() {
    if (!GuiAvailable()) {
        return;
    }
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible()) {
                front = widget;
            }
        }
    }
    if (front != nullptr) {
        front->raise();
        front->activateWindow();
    }
}
