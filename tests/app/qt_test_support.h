// Linux only: the Qt application of the shell's tests and running its loop in a test.
#pragma once

#include <QCoreApplication>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <functional>
#include <string>

namespace shelltest {

// Runs the UI thread's events until `done` holds; false after `timeoutMs`, which only bounds a
// test that fails.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QThread::msleep(2);
    }
}

// The visible top-level widget with this object name, or null.
QWidget* FindTopWidget(const std::string& objectName);

}  // namespace shelltest
