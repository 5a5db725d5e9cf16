// The host as a proxy exception, seen through one place on each platform: the ProxyOverride
// value of the Internet settings of the build's own Wine prefix (Windows); no_proxy and NO_PROXY
// of the launcher's environment, which the browser inherits (Linux).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "config/settings.h"

namespace proxytest {

// The place's text; nullopt where it is not set.
std::optional<std::string> Read();
void Write(const std::optional<std::string>& value);
// Saves the place; the function returned puts it back as it was.
std::function<void()> Save();

// The user's exceptions, with the host "trailhost.test" added, the host added to no exceptions,
// and what is left after that last run.
struct Texts {
    const char* user;
    const char* userWithHost;
    const char* hostAlone;
    std::optional<std::string> emptied;
};
extern const Texts kTexts;

// Puts the place back after each case.
class ProxyOverrideTest : public ::testing::Test {
protected:
    void SetUp() override {
        restore_ = Save();
        settings_.hostName = "trailhost.test";
    }
    void TearDown() override { restore_(); }

    std::function<void()> restore_;
    AppSettings settings_;
};

}  // namespace proxytest
