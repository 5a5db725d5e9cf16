// Linux only: message boxes shown by the UI thread while the caller waits, or written to
// standard error without a display.
#include "app/message_box.h"

#include <QMessageBox>

#include <cstdio>

#include "app/ui_thread.h"

int ShowShellMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    if (!GuiAvailable()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return 1;
    }
    const QMessageBox::Icon icon =
        (style & 0xF0) == kBoxIconStop ? QMessageBox::Critical : QMessageBox::NoIcon;
    RunOnUiThread(
        [&] {
            QMessageBox box(icon, QString::fromLocal8Bit(caption.c_str()),
                            QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
            box.setObjectName("ShellMessageBox");
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
            box.exec();
        },
        true);
    return 1;
}
