#include "config/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sys/text.h"
#include "test_support.h"

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAtBlanksAndKeepsQuotedBlanks) {
    const std::pair<const char*, Args> cases[] = {
        {"", {}},
        {"   ", {}},
        {"prog", {"prog"}},
        {"  prog   a  b ", {"prog", "a", "b"}},
        {"\"C:\\Program Files\\t.exe\" /config \"D:\\my site\\x.ini\"",
         {"C:\\Program Files\\t.exe", "/config", "D:\\my site\\x.ini"}},
        {"prog \"\" x", {"prog", "", "x"}},
        {"prog \"a\"b", {"prog", "a", "b"}},
        {"prog a\"b c\"", {"prog", "a\"b", "c\""}},
        {"prog \"open to the end", {"prog", "open to the end"}},
        {"prog a\tb", {"prog", "a\tb"}},
        {"prog -config:\"x y\"", {"prog", "-config:\"x", "y\""}},
    };
    for (const auto& [text, args] : cases) {
        EXPECT_EQ(args, SplitCommandLine(text)) << text;
    }
}

TEST(CommandLine, OnlyTheFirstHundredArgumentsAreSeen) {
    std::string text = "prog";
    for (int i = 1; i <= 120; ++i) {
        text += " -a" + std::to_string(i);
    }
    const CommandLineArgs args("-/", text);
    ASSERT_EQ(100, args.Count());
    EXPECT_EQ("-a99", args.Arg(99));
    EXPECT_EQ(99, args.FindSwitch("a99"));
    EXPECT_EQ(0, args.FindSwitch("a100"));
}

// Where a switch is (0 for nowhere) and its value (kNone for none).
TEST(CommandLine, SwitchesAndTheirValues) {
    const char kNone[] = "<none>";
    const struct {
        const char* characters;
        const char* line;
        const char* name;
        int index;
        const char* value;
    } rows[] = {
        // The value follows a colon (the first one) or is the next argument.
        {"-/", "prog -config:C:\\x\\site.ini", "config", 1, "C:\\x\\site.ini"},
        {"-/", "prog /CONFIG C:\\x\\site.ini", "config", 1, "C:\\x\\site.ini"},
        {"-/", "prog /config \"D:\\my site\\x.ini\"", "config", 1, "D:\\my site\\x.ini"},
        {"-/", "prog -config:a:b", "config", 1, "a:b"},
        {"-/", "prog -config", "config", 1, kNone},
        {"-/", "prog", "config", 0, kNone},
        // A next argument that is a switch is no value.
        {"-/", "prog -urlparam -shutdown", "urlparam", 1, kNone},
        {"-/", "prog -urlparam -shutdown", "shutdown", 2, kNone},
        {"-/", "prog -urlparam:?page=2", "urlparam", 1, "?page=2"},
        {"-/", "prog /urlparam x /shutdown", "urlparam", 1, "x"},
        // Names match whole, in any case, unless a colon or a star asks for a prefix.
        {"-/", "prog -url", "urlparam", 0, kNone},
        {"-/", "prog -urlparamx", "urlparam", 0, kNone},
        {"-/", "prog -URLPARAM", "urlparam", 1, kNone},
        {"-/", "prog -urlparamx:1", "urlparam", 1, "1"},
        // Prefix comparison stays on for the switches after one with a colon.
        {"-/", "prog -a:1 -urlparamx", "urlparam", 2, kNone},
        {"-/", "prog -urlparamx -a:1", "urlparam", 0, kNone},
        {"-/", "prog -urlparamx", "url*", 1, kNone},
        {"-/", "prog /shutdown", "-shutdown", 1, kNone},
        {"-/", "prog -shutdown", "/shutdown", 1, kNone},
        // Only switches after the program, and only with a switch character, are searched.
        {"-/", "-config x", "config", 0, kNone},
        {"-/", "prog config", "config", 0, kNone},
        {"-/", "prog \\config", "config", 0, kNone},
        {"-/", "prog -config", "", 0, kNone},
        {"-/", "prog x -config", "config", 2, kNone},
        {"+", "prog +config", "config", 1, kNone},
        {"+", "prog -config", "config", 0, kNone},
    // On Linux only '-' starts a switch, so that an absolute path can be a value.
#ifdef _WIN32
        {kSwitchCharacters, "trailhost -config /home/me/site.ini", "config", 1, kNone},
#else
        {kSwitchCharacters, "trailhost -config /home/me/site.ini", "config", 1,
         "/home/me/site.ini"},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.line) + " asked for " + row.name);
        const CommandLineArgs args(row.characters, row.line);
        EXPECT_EQ(args.FindSwitch(row.name), row.index);
        EXPECT_EQ(args.GetSwitchValue(row.name, kNone), row.value);
    }
}

TEST(CommandLine, ArgumentsTurnedIntoTextSplitBackUnchanged) {
    const Args args = {"/opt/my tools/trailhost", "-config", "/srv/a site/hub_config.ini", "",
                       "-urlparam:?a=1&b=2"};
    const std::string text = CommandLineFromArgs(args);
    EXPECT_EQ(
        "\"/opt/my tools/trailhost\" -config \"/srv/a site/hub_config.ini\" \"\" "
        "-urlparam:?a=1&b=2",
        text);
    EXPECT_EQ(args, SplitCommandLine(text));
}

TEST(CommandLine, ProcessCommandLineStartsWithThisProgram) {
    const CommandLineArgs args;
    ASSERT_GE(args.Count(), 1);
    const std::string program = Lower(args.Arg(0));
    const std::string name = "test_config" + testsupport::kExe;
    ASSERT_GE(program.size(), name.size());
    EXPECT_EQ(name, program.substr(program.size() - name.size()));
}
