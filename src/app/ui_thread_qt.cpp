// Linux only: the UI thread's loop as Qt's event loop, for the desktop launcher.
#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <atomic>

#include "app/ui_thread.h"

namespace {

std::atomic<bool> g_headless{false};

class QtReadWatch : public ReadWatch {
public:
    QtReadWatch(int fd, std::function<void()> onReadable)
        : notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance())) {
        QObject::connect(notifier_, &QSocketNotifier::activated, notifier_,
                         [onReadable = std::move(onReadable)] { onReadable(); });
    }
    // The notifier may be the one whose signal runs now: it goes once the loop is back, or with
    // the application.
    ~QtReadWatch() override {
        if (notifier_ != nullptr) {
            notifier_->setEnabled(false);
            notifier_->deleteLater();
        }
    }
    QtReadWatch(const QtReadWatch&) = delete;
    QtReadWatch& operator=(const QtReadWatch&) = delete;

private:
    QPointer<QSocketNotifier> notifier_;
};

}  // namespace

bool GuiAvailable() {
    return !g_headless && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void SetHeadless(bool headless) {
    g_headless = headless;
}

bool OnUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void QueueOnUiThread(std::function<void()> work) {
    // Without an application the work is dropped here; Qt drops what is still queued when the
    // application goes.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
    }
}

std::unique_ptr<ReadWatch> WatchReadable(int fd, std::function<void()> onReadable) {
    return std::make_unique<QtReadWatch>(fd, std::move(onReadable));
}

int RunUiLoop() {
    return QCoreApplication::exec();
}

void QuitUiLoop() {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}
