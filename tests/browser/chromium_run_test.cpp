// A Chromium-family run with a helper program as the browser: the started process is the
// browser, it gets its private profile and options, and Stop ends it, which ends Start.
#include <gtest/gtest.h>

#include <future>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"

namespace {

using namespace Browser;
using browsertest::HasLine;
using testsupport::ScopedEnv;

TEST(ChromiumRun, StopEndsTheBrowserAndStartReturns) {
    testsupport::TempDir dir;
    ScopedEnv log("FAKE_BROWSER_LOG", dir / "log");
    ScopedEnv stay("FAKE_BROWSER_STAY_MS", "120000");
    AppSettings settings;
    settings.hostName = "trailhost.test";
    settings.browserPath = testsupport::HelperPath("fake_browser");
    settings.browserSize = "Kiosk";
    browsertest::AnsweringServer server;
    const std::string url = server.Url("trailhost.test");

    auto starter = ChooseBrowserStarter(BrowserType::CHROMIUM, settings, dir / "runtime");
    ASSERT_NE(dynamic_cast<CChromiumStarter*>(starter.get()), nullptr);
    auto run = std::async(std::launch::async, [&] { starter->StartWithUrl(url); });

    ASSERT_TRUE(browsertest::AwaitLine(dir / "log", "status HTTP/1.1 200 OK"));
    // The launcher holds the process once it has looked for its first window, which may come
    // after the page was asked for.
    EXPECT_TRUE(testsupport::Eventually([&] { return starter->processId() != 0; }));
    EXPECT_EQ(run.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    starter->Stop();
    ASSERT_EQ(run.wait_for(browsertest::kEventLimit), std::future_status::ready);

    const std::string text = testsupport::ReadFile(dir / "log");
    EXPECT_EQ(testsupport::LogValues(text, "arg="),
              (std::vector<std::string>{
                  settings.browserPath,
                  "--user-data-dir=" + (dir / "runtime") + kPathSeparator + "browser-profile",
                  "--no-first-run", "--no-default-browser-check", "--new-window", "--kiosk", url}));
    // Ended from outside, before its own end.
    EXPECT_FALSE(HasLine(text, "exit")) << text;
}

}  // namespace
