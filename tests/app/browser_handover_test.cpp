#include "app/browser_handover.h"

#include "stack/web_server.h"
#include "sys/files.h"
#include "sys/pure_socket.h"

#include <gtest/gtest.h>

#include "stack/scripted_web_server.h"
#include "stack/stack_layout.h"
#include "stack/trace_capture.h"

using testsupport::Eventually;
using testsupport::LogValues;
using testsupport::ReadFile;
using testsupport::StackLayout;

namespace {

// A web server of the stack, started for the hand-over to open, and a browser setting that
// makes the fake browser the one to start.
class Handover : public ::testing::Test {
protected:
    Handover() {
        layout_.InstallServers();
        testsupport::WriteFile(layout_.Root() + "httpd.conf",
                               "Listen " + std::to_string(port_) + "\n");
        settings_.hostName = "127.0.0.1";
        settings_.browserType = BrowserType::CHROMIUM;
        settings_.browserPath = testsupport::HelperPath("fake_browser");
        testsupport::SetProcessVariable("FAKE_BROWSER_LOG", log_);
    }
    ~Handover() override {
        testsupport::SetProcessVariable("FAKE_BROWSER_LOG", "");
        if (state_.webServer) {
            state_.webServer->Stop();
        }
    }

    void StartWebServer() {
        state_.webServer = std::make_unique<WebServerControl>(settings_, layout_.ExeFolder());
        state_.webServer->Start(layout_.Root(), port_);
        ASSERT_TRUE(Eventually([&] { return IsPortInUse(port_, "127.0.0.1"); }));
    }

    WinsockGuard sockets_;
    StackLayout layout_;
    int port_ = testsupport::UnusedPort();
    AppSettings settings_ = StackLayout::Settings(port_, 0);
    StackState state_{layout_.Places({}, {})};
    std::string log_ = layout_.Root() + "browser.log";
    StarterHandover handover_;
};

TEST_F(Handover, OpensTheStartUrlAndReturnsWhenTheBrowserHasEnded) {
    StartWebServer();
    state_.runtimeFolder = layout_.TempFolder();
    handover_.OpenSiteAndWait(state_, settings_);

    const std::string text = ReadFile(log_);
    const std::string url = state_.webServer->GetStartUrl();
    EXPECT_EQ(LogValues(text, "url "), std::vector<std::string>{url});
    EXPECT_EQ(LogValues(text, "status "), std::vector<std::string>{"HTTP/1.1 200 OK"});
    EXPECT_EQ(LogValues(text, "exit").size(), 1u);
    // The browser's private profile lives in the run's own folder.
    EXPECT_NE(text.find("--user-data-dir=" + layout_.TempFolder()), std::string::npos) << text;
    // The close path may still stop it afterwards: the browser has gone, nothing happens.
    state_.StopBrowser();
}

TEST_F(Handover, OpensNothingOnceTheBrowserWasAskedToStopOrWithoutABrowser) {
    StartWebServer();
    state_.StopBrowser();
    handover_.OpenSiteAndWait(state_, settings_);
    EXPECT_FALSE(PathExists(log_));

    StackState fresh(layout_.Places({}, {}));
    fresh.webServer = std::move(state_.webServer);
    settings_.browserType = BrowserType::NONE;
    handover_.OpenSiteAndWait(fresh, settings_);
    EXPECT_FALSE(PathExists(log_));
    // Nothing was kept to stop: a browser stop is refused no more than before.
    EXPECT_TRUE(fresh.SetBrowserStop([] { return true; }));
    state_.webServer = std::move(fresh.webServer);
}

}  // namespace
