// Linux only: the shell's windows in the launcher without a toolkit, which runs where there is
// no display: there are none. Start-up makes no splash there and the frame no tray icon or
// shutdown dialog; what would be a message box is a line on standard error.
#include <cstdio>

#include "app/message_box.h"
#include "app/shutdown_dialog.h"
#include "app/splash.h"
#include "app/tray_posix.h"

int ShowShellMessageBox(const std::string& text, const std::string& caption, unsigned) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return 1;
}

struct SplashScreen::Impl {};
void SplashScreen::StartImageLibrary() {}
SplashScreen::SplashScreen() = default;
SplashScreen::~SplashScreen() = default;
bool SplashScreen::LoadSplashImage(const std::string&) {
    return true;
}
void SplashScreen::Start() {}
void SplashScreen::SetProgress(int) {}
void SplashScreen::Close() {}

struct CShutdownServer::Impl {};
CShutdownServer::CShutdownServer() = default;
CShutdownServer::~CShutdownServer() = default;
bool CShutdownServer::Create(const std::string&) {
    return false;
}
void CShutdownServer::SetPosition(int) {}

struct CTrailhostSysTray::Impl {};
CTrailhostSysTray::CTrailhostSysTray(const std::string&, std::function<void()>) {}
CTrailhostSysTray::~CTrailhostSysTray() = default;
bool CTrailhostSysTray::Install(const std::string&) {
    return false;
}
void CTrailhostSysTray::Uninstall() {}
