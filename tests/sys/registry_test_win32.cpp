// Registry access under Wine; every key lives in the build's own Wine prefix and is removed again.
#include "sys/registry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// A fresh key under HKEY_CURRENT_USER\Software\TrailhostTests, deleted with its values at the end.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        path_ = "Software\\TrailhostTests\\" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        CXRegistry maker(RegistryRoot::CurrentUser, path_.c_str(), true);
        ASSERT_TRUE(maker.IsOpen()) << maker.lastError();
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }

    void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_ALL_ACCESS, &key), 0);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), 0);
        RegCloseKey(key);
    }

    std::string path_;
};

TEST_F(RegistryTest, LeadingAndTrailingBackslashesOpenTheSameKey) {
    {
        CXRegistry key(RegistryRoot::CurrentUser, path_.c_str(), false);
        ASSERT_TRUE(key.SetString("Marker", "same key"));
    }
    const std::string decorated = "\\\\" + path_ + "\\";
    CXRegistry key(RegistryRoot::CurrentUser, decorated.c_str(), false);
    ASSERT_TRUE(key.IsOpen()) << key.lastError();
    std::string text;
    EXPECT_TRUE(key.QueryString("Marker", text));
    EXPECT_EQ(text, "same key");

    EXPECT_EQ(CXRegistry::NormalisePath("\\\\\\a\\b\\\\"), "a\\b\\");
    EXPECT_EQ(CXRegistry::NormalisePath("\\"), "");
}

// Only string values read as text, with or without their terminating zero; a value of another
// type, or none, leaves the text alone.
TEST_F(RegistryTest, OnlyStringValuesReadAsText) {
    const std::string longText(5000, 'L');
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
        bool read;
        std::string text;
    } rows[] = {
        {"Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x", 9), false, "unchanged"},
        {"Number", REG_DWORD, std::string("\x2a\0\0\0", 4), false, "unchanged"},
        {"Empty", REG_SZ, std::string("", 1), true, ""},
        {"NoZero", REG_SZ, "abc", true, "abc"},
        {"", REG_SZ, std::string("default value", 14), true, "default value"},
        {"Long", REG_SZ, std::string(longText.c_str(), longText.size() + 1), true, longText},
    };
    CXRegistry key(RegistryRoot::CurrentUser, path_.c_str(), false);
    ASSERT_TRUE(key.IsOpen());
    for (const auto& row : rows) {
        SetRaw(row.name, row.type, row.bytes.data(), static_cast<DWORD>(row.bytes.size()));
        std::string text = "unchanged";
        EXPECT_EQ(key.QueryString(row.name, text), row.read) << row.name;
        EXPECT_EQ(text, row.text) << row.name;
    }
    std::string text = "unchanged";
    EXPECT_FALSE(key.QueryString("Missing", text));
    EXPECT_EQ(text, "unchanged");
}

TEST_F(RegistryTest, AnyValueReadsAndWritesWithItsTypeAndBytes) {
    const RegistryValue values[] = {
        {REG_EXPAND_SZ, std::string("%TEMP%;<local>\0", 15)},
        {REG_DWORD, std::string("\x2a\0\0\0", 4)},
        {REG_BINARY, std::string("a\0b\0\0c", 6)},
        {REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
        {REG_SZ, ""},
    };
    CXRegistry key(RegistryRoot::CurrentUser, path_.c_str(), false);
    ASSERT_TRUE(key.IsOpen());
    for (const RegistryValue& value : values) {
        ASSERT_TRUE(key.SetValue("Value", value)) << value.type;
        BYTE raw[64] = {};
        DWORD type = 0;
        DWORD size = sizeof(raw);
        HKEY open = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &open), 0);
        ASSERT_EQ(RegQueryValueExA(open, "Value", nullptr, &type, raw, &size), 0);
        RegCloseKey(open);
        EXPECT_EQ(type, value.type);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), size), value.bytes) << value.type;

        RegistryValue read;
        ASSERT_TRUE(key.QueryValue("Value", read)) << value.type;
        EXPECT_EQ(read.type, value.type);
        EXPECT_EQ(read.bytes, value.bytes) << value.type;
    }
    RegistryValue missing;
    EXPECT_FALSE(key.QueryValue("Missing", missing));
}

// A key that could not be opened fails every call and keeps the open's error; a missing key is
// made only when asked for. A closed key fails every call too.
TEST_F(RegistryTest, AKeyThatIsNotOpenFailsEveryCallAndIsCreatedOnlyWhenAskedFor) {
    const std::string missing = path_ + "\\New\\Deeper";
    CXRegistry absent(RegistryRoot::CurrentUser, missing.c_str(), false);
    EXPECT_FALSE(absent.IsOpen());
    std::string text;
    EXPECT_FALSE(absent.SetString("v", "x"));
    EXPECT_FALSE(absent.QueryString("v", text));
    EXPECT_FALSE(absent.Close());
    EXPECT_EQ(absent.lastError(), ERROR_FILE_NOT_FOUND);

    CXRegistry created(RegistryRoot::CurrentUser, missing.c_str(), true);
    ASSERT_TRUE(created.IsOpen()) << created.lastError();
    EXPECT_EQ(created.lastError(), 0);
    EXPECT_FALSE(created.SetString("v", nullptr));
    EXPECT_TRUE(created.Close());
    EXPECT_FALSE(created.SetString("v", "x"));
    EXPECT_FALSE(created.Close());
    EXPECT_TRUE(CXRegistry(RegistryRoot::CurrentUser, missing.c_str(), false).IsOpen());

    CXRegistry none(RegistryRoot::CurrentUser, nullptr, true);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_EQ(none.lastError(), 0);
}

}  // namespace
