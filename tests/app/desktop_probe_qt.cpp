// Linux only: the shell's windows as Qt widgets of this process, the test's own display through
// Qt, and copies started without one.
#include "desktop_probe.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <chrono>

#include "app/local_endpoint.h"
#include "shell_test_support.h"
#include "test_support.h"

namespace shelltest {

namespace {

// The visible top-level widget with this object name, or null.
QWidget* FindTopWidget(const char* objectName) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

QWidget* Find(ShellWindow window) {
    return FindTopWidget(window == ShellWindow::kSplash ? "SplashWnd" : "CShutdownServer");
}

Area AreaOf(const QRect& rect) {
    return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

void SaveScreenshot(const QRect& rect, const std::string& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect around = rect.adjusted(-20, -20, 20, 20);
    QDir().mkpath(QString::fromStdString(ArtifactFolder()));
    screen->grabWindow(0, around.x(), around.y(), around.width(), around.height())
        .save(QString::fromStdString(ArtifactFolder() + "linux-" +
                                     QGuiApplication::platformName().toStdString() + "-" + name +
                                     ".png"));
}

QSystemTrayIcon* TrayIcon() {
    return QCoreApplication::instance()->findChild<QSystemTrayIcon*>("TrailhostTray");
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    return testsupport::Eventually(
        [&] {
            QCoreApplication::processEvents();
            return done();
        },
        std::chrono::milliseconds(timeoutMs));
}

bool LoopEnds(int timeoutMs) {
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    limit.start(timeoutMs);
    return QCoreApplication::exec() == 0;
}

void DrainUi() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void HandleRequestsSent() {
    // A line sent now to an endpoint of the test's own arrives once the loop has served the
    // connections that came before it.
    const std::string name = "handled " + std::to_string(getpid());
    LocalEndpoint witness;
    bool arrived = false;
    witness.Listen(name, [&](const std::string&) { arrived = true; });
    SendToEndpoint(name, "after");
    PumpUntil([&] { return arrived; });
}

WindowLook LookAt(ShellWindow which) {
    WindowLook look;
    QWidget* window = Find(which);
    if (window == nullptr || window->geometry().isEmpty()) {
        return look;
    }
    look.shown = true;
    look.rect = AreaOf(window->geometry());
    look.topmostWithoutFrame = window->windowFlags().testFlag(Qt::FramelessWindowHint) &&
                               window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    look.ownThread = window->thread() != QThread::currentThread();
    if (auto* bar = window->findChild<QProgressBar*>("progress")) {
        look.hasBar = true;
        look.bar = AreaOf(bar->geometry());
        look.barValue = bar->value();
        look.barMaximum = bar->maximum();
    }
    if (auto* label = window->findChild<QLabel*>("message")) {
        look.text = label->text().toStdString();
    }
    return look;
}

void KeepScreenshot(ShellWindow which, const std::string& name) {
    if (QWidget* window = Find(which)) {
        SaveScreenshot(window->frameGeometry(), name);
    }
}

bool TrayIconShown() {
    QSystemTrayIcon* icon = TrayIcon();
    return icon != nullptr && icon->isVisible() && !icon->icon().isNull();
}

std::vector<MenuItem> UseTrayMenu(int choose) {
    std::vector<MenuItem> items;
    QMenu* menu = TrayIcon() != nullptr ? TrayIcon()->contextMenu() : nullptr;
    if (menu == nullptr) {
        return items;
    }
    // Where a right click shows it: near the screen's bottom right corner.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    menu->popup(QPoint(screen.right() - 220, screen.bottom() - 120));
    PumpUntil([&] { return menu->isVisible(); });
    SaveScreenshot(menu->geometry(), "tray-menu");
    menu->hide();
    for (QAction* action : menu->actions()) {
        items.push_back({action->text().toStdString(), action->isEnabled()});
    }
    if (choose >= 0 && choose < static_cast<int>(items.size())) {
        menu->actions()[choose]->trigger();
    }
    return items;
}

void DoubleClickTray() {
    emit TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    DrainUi();
}

BoxLook AnswerOwnBox(const std::string& caption, const std::function<void()>& onShown) {
    // The box runs its own loop on this thread; a timer in that loop answers it.
    BoxLook look;
    bool answered = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(FindTopWidget("ShellMessageBox"));
        if (box == nullptr || box->windowTitle().toStdString() != caption) {
            return;
        }
        answer.stop();
        onShown();
        look.text = box->text().toStdString();
        look.aboveSplash = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        box->button(QMessageBox::Ok)->click();
        answered = true;
    });
    answer.start(10);
    PumpUntil([&] { return answered; });
    return look;
}

bool SharedDisplay() {
    return QGuiApplication::platformName() == "xcb";
}

Area DesktopWorkArea() {
    return AreaOf(QGuiApplication::primaryScreen()->availableGeometry());
}

long ScreenPixel(int x, int y) {
    const QImage pixel = QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage();
    return pixel.isNull() ? -1 : static_cast<long>(pixel.pixel(0, 0) & 0xFFFFFF);
}

std::string AnswerBox(testsupport::ChildProcess& copy, const std::string& folder,
                      const std::string& caption) {
    const std::vector<std::string> lines =
        copy.WaitForEnd(60000)
            ? testsupport::LogValues(testsupport::ReadFile(folder + "stderr.txt"), caption + ": ")
            : std::vector<std::string>{};
    return lines.empty() ? "" : lines.front();
}

}  // namespace shelltest
