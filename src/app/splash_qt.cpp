// Linux only: the splash screen as a frameless, always-on-top Qt window on the UI thread.
#include "app/splash.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QWidget>

#include "app/ui_thread.h"

namespace {

constexpr int kCloseWaitMs = 1000;

class SplashWindow : public QWidget {
public:
    explicit SplashWindow(const QImage& image)
        : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
          image_(image) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(QRect(0, 0, image_.width(), image_.height()), image_);
    }

private:
    QImage image_;
};

}  // namespace

// What the UI thread works on. Other threads reach it only through work they queue there, which
// holds it weakly: work that comes after the splash screen has gone does nothing.
struct SplashState {
    QImage image;
    bool loaded = false;
    QPointer<SplashWindow> window;
    QPointer<QProgressBar> bar;
};

struct SplashScreen::Impl {
    std::shared_ptr<SplashState> state = std::make_shared<SplashState>();
};

void SplashScreen::StartImageLibrary() {}

SplashScreen::SplashScreen() : impl_(std::make_unique<Impl>()) {}

SplashScreen::~SplashScreen() {
    delete impl_->state->window.data();
}

bool SplashScreen::LoadSplashImage(const std::string& file) {
    SplashState& state = *impl_->state;
    if (!state.loaded) {
        state.image.load(QString::fromLocal8Bit(file.c_str()));
        state.loaded = true;
    }
    return true;
}

void SplashScreen::Start() {
    SplashState& state = *impl_->state;
    // An empty image gives a window of no size, which is the same as none.
    if (state.window != nullptr || !GuiAvailable() || state.image.isNull()) {
        return;
    }
    auto* window = new SplashWindow(state.image);
    window->setObjectName("SplashWnd");
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setCursor(Qt::BusyCursor);
    window->setFixedSize(state.image.size());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const SplashPlace place =
            CenterInWorkArea(area.x(), area.y(), area.x() + area.width(), area.y() + area.height(),
                             window->width(), window->height());
        window->move(place.left, place.top);
    }
    window->show();
    state.window = window;
}

void SplashScreen::SetProgress(int percent) {
    std::weak_ptr<SplashState> weak = impl_->state;
    RunOnUiThread(
        [weak, percent] {
            const std::shared_ptr<SplashState> state = weak.lock();
            if (state == nullptr || state->window == nullptr) {
                return;
            }
            if (state->bar == nullptr) {
                QWidget* window = state->window;
                const SplashBarRect rect = ProgressBarRect(window->width(), window->height());
                state->bar = new QProgressBar(window);
                state->bar->setObjectName("progress");
                state->bar->setTextVisible(false);
                state->bar->setRange(0, 100);
                state->bar->setGeometry(rect.x, rect.y, rect.width, rect.height);
                state->bar->show();
            }
            state->bar->setValue(percent);
        },
        false);
}

void SplashScreen::Close() {
    std::weak_ptr<SplashState> weak = impl_->state;
    RunOnUiThread(
        [weak] {
            if (const std::shared_ptr<SplashState> state = weak.lock()) {
                delete state->window.data();
            }
        },
        true, kCloseWaitMs);
}
