// Start-up: the steps from the process entry to the message loop, in the order the rest of the
// program relies on, and the services the shell offers the program behind it.
#include <memory>
#include <mutex>

#include "app/app_titles.h"
#include "app/instance_checker.h"
#include "app/main_frame.h"
#include "app/message_box.h"
#include "app/shell.h"
#include "app/shell_platform.h"
#include "app/splash.h"
#include "config/command_line.h"
#include "config/settings.h"
#include "sys/folders.h"
#include "sys/message_box.h"
#include "sys/pure_socket.h"

namespace {

class ShellApp : public ShellServices {
public:
    ShellApp(const AppSettings& settings, CMainFrame& frame) : settings_(settings), frame_(frame) {}

    void SetSplash(SplashScreen* splash) { splash_ = splash; }

    void PostStartupProgress(int percent) override {
        if (splash_ != nullptr && settings_.showStartupProgress && !settings_.splashFile.empty()) {
            splash_->SetProgress(percent);
        }
    }
    void CloseSplash() override {
        if (splash_ != nullptr && !settings_.splashFile.empty()) {
            splash_->Close();
        }
    }
    void ShowShutdownDialog(const std::string& message) override {
        frame_.ShowShutdownDialog(message);
    }
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        ::ShowMessageBox(text, caption, kMessageBoxOk);
    }
    void SetShutdownProgress(int position) override { frame_.SetShutdownProgress(position); }
    void ShowRunningUntilClose() override { frame_.ShowRunningUntilClose(); }
    void CloseMainFrame() override { frame_.Close(); }

private:
    const AppSettings& settings_;
    CMainFrame& frame_;
    SplashScreen* splash_ = nullptr;
};

}  // namespace

int RunShell(ShellProgram& program) {
    ShellPlatform platform;
    // Boxes of the lower layers (the launcher's error box, the refused port) come from any
    // thread; the UI thread shows them.
    SetMessageBoxHandler(ShowShellMessageBox);
    std::unique_ptr<WinsockGuard> sockets;
    try {
        sockets = std::make_unique<WinsockGuard>();
    } catch (const CNotSupportedException&) {
        ShowShellMessageBox("001: Failed to create socket", kAppTitle, kBoxOk);
        return 1;
    }
    if (!platform.StartOle()) {
        ShowShellMessageBox("OLE could not be started.", kAppTitle, kBoxOk | kBoxIconStop);
        return 1;
    }

    // The settings belong to the whole process: the program's threads read them to the end.
    static AppSettings settings;
    auto args = std::make_unique<CommandLineArgs>(kSwitchCharacters);
    // -config without a value reads from an empty path, which gives every default.
    ReadSettings(settings, args->FindSwitch("config") != 0 ? args->GetSwitchValue("config", "")
                                                           : GetModuleFolder() + "hub_config.ini");

    auto checker = std::make_unique<CInstanceChecker>("trh_mutex_" + settings.serverName);
    // This comes before -shutdown is looked at: with the setting on, a second copy started with
    // -shutdown only says that the first one runs.
    if (settings.allowOnlySingleInstance && checker->IsAnotherInstanceRunning()) {
        ShowShellMessageBox("An instance of " + settings.serverName + " is already running",
                            settings.serverName, kBoxOk);
        checker->ActivateFirstInstance();
        return 0;
    }

    CMainFrame frame(settings, program);
    ShellApp app(settings, frame);
    if (args->FindSwitch("urlparam") != 0) {
        settings.urlParam = args->GetSwitchValue("urlparam", "");
    }
    if (!frame.Create()) {
        ShowShellMessageBox("Failed to create empty document.", kAppTitle, kBoxOk | kBoxIconStop);
        return 1;
    }
    frame.Hide();

    if (args->FindSwitch("shutdown") != 0) {
        // Starts nothing, stops nothing: the running copy does its own stop.
        ShutdownRunningInstance();
        args.reset();
        checker.reset();
        frame.Destroy();
        return platform.RunMessageLoop();
    }

    if (settings.allowOnlySingleInstance) {
        checker->RegisterAsFirstInstance(frame);
    }
    std::unique_ptr<SplashScreen> splash;
    if (!settings.splashFile.empty() && platform.HasDisplay()) {
        SplashScreen::StartImageLibrary();
        splash = std::make_unique<SplashScreen>();
        if (!splash->LoadSplashImage(settings.splashFile)) {
            ShowShellMessageBox("Failed to load Splash", "Failed", kBoxOk | kBoxIconStop);
            splash.reset();
        } else {
            splash->Start();
            if (settings.showStartupProgress) {
                splash->SetProgress(0);
            }
        }
    }
    app.SetSplash(splash.get());
    program.Start(app, settings);
    args.reset();
    checker.reset();
    return platform.RunMessageLoop();
}
