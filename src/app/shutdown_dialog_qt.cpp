// Linux only: the shutdown dialog as a frameless, always-on-top Qt window laid out in the dialog
// units of the Windows template (186 x 41, message at 7,7, bar at 7,19).
#include "app/shutdown_dialog.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QWidget>

namespace {

// Dialog units in pixels of the dialog's font: a quarter of the average character width
// across, an eighth of the character height down.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
        baseY = metrics.height();
    }
    int X(int units) const { return units * baseX / 4; }
    int Y(int units) const { return units * baseY / 8; }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }

    int baseX;
    int baseY;
};

}  // namespace

struct CShutdownServer::Impl {
    std::unique_ptr<QWidget> dialog;
    QLabel* message = nullptr;
    QProgressBar* bar = nullptr;
    QString text;
};

CShutdownServer::CShutdownServer() : impl_(std::make_unique<Impl>()) {}

CShutdownServer::~CShutdownServer() = default;

bool CShutdownServer::Create(const std::string& message) {
    auto dialog = std::make_unique<QWidget>(
        nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    dialog->setObjectName("CShutdownServer");
    const DialogUnits units(dialog->font());
    dialog->setFixedSize(units.X(186), units.Y(41));
    impl_->message = new QLabel("Shutdown", dialog.get());
    impl_->message->setObjectName("message");
    impl_->message->setGeometry(units.Rect(7, 7, 172, 8));
    impl_->bar = new QProgressBar(dialog.get());
    impl_->bar->setObjectName("progress");
    impl_->bar->setGeometry(units.Rect(7, 19, 172, 15));
    impl_->bar->setTextVisible(false);
    impl_->bar->setRange(0, 100);
    impl_->bar->setValue(0);
    impl_->text = QString::fromLocal8Bit(message.c_str());
    impl_->message->setText(impl_->text);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog->move(area.x() + (area.width() - dialog->width()) / 2,
                     area.y() + (area.height() - dialog->height()) / 2);
    }
    dialog->show();
    impl_->dialog = std::move(dialog);
    return true;
}

void CShutdownServer::SetPosition(int position) {
    if (impl_->dialog == nullptr) {
        return;
    }
    impl_->bar->setValue(position);
    impl_->message->setText(impl_->text);
}
