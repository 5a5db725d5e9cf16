// The text rules of the launcher: start-up shape from the size text, command-line splitting and
// the default process name.
#include "sys/launcher.h"

#include <gtest/gtest.h>

namespace {

struct ShapeCase {
    bool show;
    const char* size;
    int showState;
    bool useSize;
    std::uint32_t width;
    std::uint32_t height;
};

TEST(StartupShape, FollowsShowFlagAndSizeText) {
    const ShapeCase cases[] = {
        {true, "", kShowNormal, false, 0, 0},
        {false, "", kShowHide, false, 0, 0},
        {true, "MAXIMIZE", kShowMaximize, false, 0, 0},
        {true, "maximize", kShowMaximize, false, 0, 0},
        {true, "MaXiMiZe", kShowMaximize, false, 0, 0},
        {false, "MAXIMIZE", kShowHide, false, 0, 0},
        {true, "800x600", kShowNormal, true, 800, 600},
        {false, "800x600", kShowHide, true, 800, 600},
        {true, "600", kShowNormal, true, 0, 600},
        {true, "Max-Size", kShowNormal, true, 0, 0},
        // Only a lower-case x separates; an upper-case one makes the whole text unreadable.
        {true, "800X600", kShowNormal, true, 0, 800},
        {true, "x600", kShowNormal, true, 0, 600},
        {true, "800x", kShowNormal, true, 800, 0},
        {true, "12abcx34def", kShowNormal, true, 12, 34},
        {true, "MAXIMIZED", kShowNormal, true, 0, 0},
        {true, "-5x-7", kShowNormal, true, 0, 0},
        {true, "99999999999x1", kShowNormal, true, 0x7FFFFFFF, 1},
    };
    for (const ShapeCase& c : cases) {
        const StartupShape shape = StartupShapeFor(c.show, c.size);
        SCOPED_TRACE(std::string(c.show ? "shown " : "hidden ") + "\"" + c.size + "\"");
        EXPECT_EQ(shape.showState, c.showState);
        EXPECT_EQ(shape.useSize, c.useSize);
        EXPECT_EQ(shape.width, c.width);
        EXPECT_EQ(shape.height, c.height);
    }
}

struct SplitCase {
    const char* line;
    std::vector<std::string> args;
};

TEST(SplitWindowsCommandLine, FollowsTheRuntimesQuotingRules) {
    const SplitCase cases[] = {
        {"", {}},
        {" \t ", {}},
        {"prog", {"prog"}},
        {"prog ", {"prog"}},
        {"  prog  a  b ", {"prog", "a", "b"}},
        {"prog\ta\t\tb", {"prog", "a", "b"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog \"a\tb\"", {"prog", "a\tb"}},
        {"prog \"\" x \"\"", {"prog", "", "x", ""}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog \"unterminated arg", {"prog", "unterminated arg"}},
        // Backslashes are literal unless a quote follows them.
        {"prog a\\b c\\\\d e\\", {"prog", "a\\b", "c\\\\d", "e\\"}},
        {"prog a\\\"b", {"prog", "a\"b"}},
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
        {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        {"prog \"a\\\\\" b", {"prog", "a\\", "b"}},
        {"prog \"a\\\" b\"", {"prog", "a\" b"}},
        // Two quotes inside quotes give one literal quote and stay inside.
        {"prog \"a\"\"b\"", {"prog", "a\"b"}},
        {"prog \"\"\"\"", {"prog", "\""}},
        {"prog \"a \"\" b\"", {"prog", "a \" b"}},
        // The program name honours only quotes.
        {"\"C:\\Program Files\\app\\prog.exe\" -x", {"C:\\Program Files\\app\\prog.exe", "-x"}},
        {"\"C:\\dir\\\" next", {"C:\\dir\\", "next"}},
        {"C:\\a\\\"b c\" d", {"C:\\a\\b c", "d"}},
        {"\"/opt/my app/bin\"/run x", {"/opt/my app/bin/run", "x"}},
        // Shell characters are plain text.
        {"prog http://h/?a=1&b=2;c=$(id)|`id`>o 'q'",
         {"prog", "http://h/?a=1&b=2;c=$(id)|`id`>o", "'q'"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string("line: ") + c.line);
        EXPECT_EQ(SplitWindowsCommandLine(c.line), c.args);
    }
}

TEST(JoinWindowsCommandLine, JoinedArgumentsSplitBackUnchanged) {
    const std::vector<std::vector<std::string>> tables = {
        {"C:\\Program Files\\x.exe", "plain", "with blank", "quote\"inside", "trailing\\",
         "back\\\\\"mix", "", "tab\there"},
        {"/usr/bin/chromium", "--user-data-dir=/tmp/a b/c", "http://h:1/?a=1&b=\"2\""},
        {"prog"},
    };
    for (const std::vector<std::string>& args : tables) {
        EXPECT_EQ(SplitWindowsCommandLine(JoinWindowsCommandLine(args)), args);
    }
    EXPECT_EQ(JoinWindowsCommandLine({"a", "b c"}), "a \"b c\"");
}

TEST(DefaultProcessName, IsTheFileNameUpToTheFirstExe) {
    const std::pair<const char*, const char*> cases[] = {
        {"firefox.exe", "firefox.exe"},
        {"firefox.exe -url http://x/", "firefox.exe"},
        {"C:\\Program Files\\Mozilla Firefox\\firefox.exe -profile p ", "firefox.exe"},
        {"\"C:\\Program Files\\Mozilla Firefox\\FireFox.EXE\" -url x ", "FireFox.EXE"},
        {"\"ffp.exe\" http://127.0.0.1/", "ffp.exe"},
        {"D:/portable/ffp.Exe", "ffp.Exe"},
        // Only the first ".EXE" counts, wherever it sits.
        {"C:\\tools\\a.exe.dir\\b.exe x", "a.exe"},
        {"C:\\app.executable\\run.exe", "app.exe"},
        {"/usr/bin/firefox http://x/", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultProcessName(c.first), c.second) << c.first;
    }
    EXPECT_EQ(ExecutablePathOf("\"C:\\x y\\b.exe\" -a"), "\"C:\\x y\\b.exe");
    EXPECT_EQ(FileNameOf("\"b.exe"), "b.exe");
    EXPECT_EQ(FileNameOf("/usr/lib/firefox-esr/firefox-esr"), "firefox-esr");
}

}  // namespace
