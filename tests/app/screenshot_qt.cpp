// Linux only: screenshots of the screen through Qt, as PNG files.
#include "screenshot.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "shell_test_support.h"

namespace shelltest {

std::string SaveScreenshot(int x, int y, int width, int height, const std::string& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return "";
    }
    const QPixmap shot = screen->grabWindow(0, x, y, width, height);
    QDir().mkpath(QString::fromStdString(ArtifactFolder()));
    const std::string path = ArtifactFolder() + "linux-" +
                             QGuiApplication::platformName().toStdString() + "-" + name + ".png";
    return !shot.isNull() && shot.save(QString::fromStdString(path)) ? path : "";
}

}  // namespace shelltest
