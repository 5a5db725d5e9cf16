// Linux only: the frame as an object on the UI thread, addressed through an endpoint of this user
// named after its caption; on a display it has the tray icon and the shutdown dialog. SIGINT
// (Ctrl+C in the terminal of a run without a display), SIGTERM and SIGHUP (the end of the session)
// are close requests like the tray's Close.
#include "app/main_frame.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <cstdio>

#include "app/close_path.h"
#include "app/local_endpoint.h"
#include "app/shell.h"
#include "app/shell_platform.h"
#include "app/shutdown_dialog.h"
#include "app/tray.h"
#include "app/tray_posix.h"
#include "app/ui_thread.h"
#include "config/settings.h"

namespace {

const char kCloseRequest[] = "close";

// The signals that ask the program to end, and the pipe through which their handler (which may
// do next to nothing) tells the UI thread.
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};
int gSignalPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

// Makes the end signals close requests of `frame`'s close path, until Release.
class EndSignals {
public:
    bool Catch(std::function<void()> close) {
        if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        watch_ = WatchReadable(gSignalPipe[0], [close] {
            char bytes[16];
            while (read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
            }
            close();
        });
        struct sigaction action {};
        action.sa_handler = OnEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : kEndSignals) {
            sigaction(signal, &action, nullptr);
        }
        caught_ = true;
        return true;
    }

    void Release() {
        if (!caught_) {
            return;
        }
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        for (const int signal : kEndSignals) {
            sigaction(signal, &standard, nullptr);
        }
        watch_.reset();
        close(gSignalPipe[0]);
        close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
        caught_ = false;
    }

private:
    bool caught_ = false;
    std::unique_ptr<ReadWatch> watch_;
};

// Every frame listens under the caption and its process id, so that several copies can run and
// a second copy can list them, as it lists top-level windows on Windows.
std::string FrameEndpointPrefix() {
    return std::string(kFrameCaption) + "/";
}

}  // namespace

struct CMainFrame::Impl {
    Impl(AppSettings& settings_, ShellProgram& program)
        : settings(settings_),
          closer(program, [this] { Post([](Impl& impl) { impl.OnDestroy(); }, false); }) {}

    // Runs `work` on the UI thread while this frame is still there. The token dies with the
    // frame, on the UI thread, so work that arrives later finds it gone and does nothing.
    bool Post(std::function<void(Impl&)> work, bool wait) {
        std::weak_ptr<int> weak = token;
        return RunOnUiThread(
            [this, weak, work] {
                if (weak.lock() != nullptr) {
                    work(*this);
                }
            },
            wait);
    }

    std::shared_ptr<int> token = std::make_shared<int>(0);
    AppSettings& settings;
    std::atomic<bool> exists{false};
    LocalEndpoint endpoint;
    std::unique_ptr<CTrailhostSysTray> tray;
    std::unique_ptr<CShutdownServer> dialog;
    EndSignals endSignals;
    CloseRunner closer;

    void OnClose() {
        if (exists) {
            closer.Begin();
        }
    }

    void MakeTray() {
        tray = std::make_unique<CTrailhostSysTray>(settings.serverName, [this] { OnClose(); });
    }

    void OnDestroy() {
        if (!exists) {
            return;
        }
        closer.RunHere();
        exists = false;
        endSignals.Release();
        tray.reset();
        dialog.reset();
        endpoint.Close();
        QuitUiLoop();
    }
};

CMainFrame::CMainFrame(AppSettings& settings, ShellProgram& program)
    : impl_(std::make_unique<Impl>(settings, program)) {}

CMainFrame::~CMainFrame() {
    Destroy();
    impl_->closer.Wait();
    // Work queued for the frame from now on finds it gone.
    impl_->token.reset();
}

bool CMainFrame::Create() {
    Impl* impl = impl_.get();
    const std::string name = FrameEndpointPrefix() + std::to_string(getpid());
    if (!impl->endpoint.Listen(name, [impl](const std::string& line) {
            if (line == kCloseRequest) {
                impl->OnClose();
            }
        })) {
        return false;
    }
    impl->exists = true;
    impl->endSignals.Catch([impl] { impl->OnClose(); });
    if (impl->settings.showTrayIcon && GuiAvailable()) {
        impl->MakeTray();
        impl->tray->Install(MakeTrayTexts(impl->settings.serverName).balloonText);
    }
    return true;
}

void CMainFrame::ShowRunningUntilClose() {
    const std::string text = MakeTrayTexts(impl_->settings.serverName).untilCloseText;
    if (!GuiAvailable()) {
        std::fprintf(stderr, "%s (or end it with Ctrl+C or -shutdown).\n", text.c_str());
        return;
    }
    impl_->Post(
        [text](Impl& impl) {
            if (impl.tray == nullptr) {
                impl.MakeTray();
            }
            impl.tray->Install(text);
        },
        false);
}

void CMainFrame::Hide() {}

void CMainFrame::Close() {
    if (impl_->exists) {
        impl_->Post([](Impl& impl) { impl.OnClose(); }, true);
    }
}

void CMainFrame::Destroy() {
    impl_->OnDestroy();
}

void CMainFrame::ShowShutdownDialog(const std::string& message) {
    if (!impl_->exists || !GuiAvailable()) {
        return;
    }
    impl_->Post(
        [message](Impl& impl) {
            if (impl.dialog == nullptr) {
                auto dialog = std::make_unique<CShutdownServer>();
                if (dialog->Create(message)) {
                    impl.dialog = std::move(dialog);
                }
            }
        },
        true);
}

void CMainFrame::SetShutdownProgress(int position) {
    if (!impl_->exists) {
        return;
    }
    impl_->Post(
        [position](Impl& impl) {
            if (impl.dialog != nullptr) {
                impl.dialog->SetPosition(position);
            }
        },
        true);
}

void CMainFrame::Activate() {
    RaiseFrontWindow();
}

std::uintptr_t CMainFrame::WindowHandle() const {
    return 0;
}

bool CMainFrame::Exists() const {
    return impl_->exists;
}

std::weak_ptr<const void> CMainFrame::Lifetime() const {
    return impl_->token;
}

bool ShutdownRunningInstance() {
    // This process's own frame, under its name or one with a suffix, is passed over.
    const std::string own = EndpointAddress(FrameEndpointPrefix() + std::to_string(getpid()));
    for (const std::string& address : FindEndpoints(FrameEndpointPrefix())) {
        const bool isOwn = address == own || address.compare(0, own.size() + 1, own + "#") == 0;
        if (!isOwn && SendToAddress(address, kCloseRequest)) {
            return true;
        }
    }
    return false;
}
