// The system-default starter's choice from the ".html" handler in the build's own Wine prefix;
// every key is put back as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "browser/starters.h"
#include "browser_test_support.h"
#include "config/settings.h"

namespace {

using namespace Browser;

std::optional<std::string> DefaultValue(const char* path) {
    char value[2048] = {};
    DWORD size = sizeof(value) - 1;
    if (RegGetValueA(HKEY_CLASSES_ROOT, path, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != 0) {
        return std::nullopt;
    }
    return std::string(value);
}

void SetDefaultValue(const char* path, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              0);
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != 0) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

class DefaultHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        html_ = DefaultValue(".html");
        edgeExisted_ = KeyExists("MSEdgeHTM");
    }
    void TearDown() override {
        if (html_) {
            SetDefaultValue(".html", *html_);
        } else {
            RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".html", "");
        }
        if (!edgeExisted_) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, "MSEdgeHTM");
        }
    }

    std::unique_ptr<CBrowserStarter> Delegate() {
        return CSystemDefaultStarter(settings_, "C:\\runtime\\").ChooseDelegate();
    }

    std::optional<std::string> html_;
    bool edgeExisted_ = false;
    AppSettings settings_;
};

TEST_F(DefaultHandlerTest, HtmlHandlerChoosesTheStarter) {
    SetDefaultValue(".html", "fIrEfOxHtMl");
    EXPECT_NE(dynamic_cast<CFirfoxStarter*>(Delegate().get()), nullptr);

    SetDefaultValue(".html", "MozillaHTML");
    EXPECT_NE(dynamic_cast<CMozillaStarter*>(Delegate().get()), nullptr);

    SetDefaultValue(".html", "FirefoxHTML-308046B0AF4A39CB");
    EXPECT_NE(dynamic_cast<CInternetExplorerStarter*>(Delegate().get()), nullptr);

    SetDefaultValue(".html", "");
    EXPECT_NE(dynamic_cast<CInternetExplorerStarter*>(Delegate().get()), nullptr);

    const std::string edge = "C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe";
    SetDefaultValue("MSEdgeHTM\\shell\\open\\command", "\"" + edge + "\" --single-argument %1");
    SetDefaultValue(".html", "MSEdgeHTM");
    const auto chosen = Delegate();
    const auto* chromium = dynamic_cast<CChromiumStarter*>(chosen.get());
    ASSERT_NE(chromium, nullptr);
    EXPECT_EQ(chromium->Executable(), edge);
}

}  // namespace
