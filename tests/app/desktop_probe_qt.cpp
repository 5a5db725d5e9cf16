// Linux only: the test's own display through Qt, and copies started without one.
#include "desktop_probe.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>

#include "shell_test_support.h"

namespace shelltest {

namespace {

const char* const kDisplayVariables[3] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

}  // namespace

bool SharedDisplay() {
    return QGuiApplication::platformName() == "xcb";
}

Area DesktopWorkArea() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return {area.x(), area.y(), area.x() + area.width(), area.y() + area.height()};
}

long ScreenPixel(int x, int y) {
    const QImage pixel = QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage();
    if (pixel.isNull()) {
        return -1;
    }
    return static_cast<long>(pixel.pixel(0, 0) & 0xFFFFFF);
}

std::string AnswerBox(testsupport::ChildProcess& copy, const std::string& folder,
                      const std::string& caption) {
    if (!copy.WaitForEnd(60000)) {
        return "";
    }
    const std::string output = testsupport::ReadFile(folder + "stderr.txt");
    const std::string prefix = caption + ": ";
    const size_t at = output.find(prefix);
    if (at == std::string::npos) {
        return "";
    }
    const size_t end = output.find('\n', at);
    return output.substr(at + prefix.size(), end - at - prefix.size());
}

HeadlessCopies::HeadlessCopies() {
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(kDisplayVariables[i]);
        had_[i] = value != nullptr;
        if (had_[i]) {
            saved_[i] = value;
            unsetenv(kDisplayVariables[i]);
        }
    }
}

HeadlessCopies::~HeadlessCopies() {
    for (int i = 0; i < 3; ++i) {
        if (had_[i]) {
            setenv(kDisplayVariables[i], saved_[i].c_str(), 1);
        }
    }
}

}  // namespace shelltest
