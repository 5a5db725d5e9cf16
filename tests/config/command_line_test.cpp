#include "config/command_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

CommandLineArgs Line(const std::string& text) {
    return CommandLineArgs("-/", text);
}

}  // namespace

TEST(CommandLine, SplitsAtBlanksAndKeepsQuotedBlanks) {
    struct SplitCase {
        const char* text;
        Args args;
    };
    const SplitCase cases[] = {
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
    for (const auto& c : cases) {
        EXPECT_EQ(c.args, SplitCommandLine(c.text)) << c.text;
    }
}

TEST(CommandLine, OnlyTheFirstHundredArgumentsAreSeen) {
    std::string text = "prog";
    for (int i = 1; i <= 120; ++i) {
        text += " -a" + std::to_string(i);
    }
    const CommandLineArgs args = Line(text);
    ASSERT_EQ(100, args.Count());
    EXPECT_EQ("-a99", args.Arg(99));
    EXPECT_EQ(99, args.FindSwitch("a99"));
    EXPECT_EQ(0, args.FindSwitch("a100"));
}

TEST(CommandLine, ConfigValueAfterAColonOrAsTheNextArgument) {
    EXPECT_EQ("C:\\x\\site.ini", Line("prog -config:C:\\x\\site.ini").GetSwitchValue("config", ""));
    EXPECT_EQ("C:\\x\\site.ini", Line("prog /CONFIG C:\\x\\site.ini").GetSwitchValue("config", ""));
    EXPECT_EQ("D:\\my site\\x.ini",
              Line("prog /config \"D:\\my site\\x.ini\"").GetSwitchValue("config", ""));
    // The value is everything after the first colon.
    EXPECT_EQ("a:b", Line("prog -config:a:b").GetSwitchValue("config", "d"));

    const CommandLineArgs last = Line("prog -config");
    EXPECT_EQ(1, last.FindSwitch("config"));
    EXPECT_EQ("", last.GetSwitchValue("config", ""));
    EXPECT_EQ("d", last.GetSwitchValue("config", "d"));
    EXPECT_EQ("d", Line("prog").GetSwitchValue("config", "d"));
}

TEST(CommandLine, NextArgumentThatIsASwitchIsNoValue) {
    const CommandLineArgs args = Line("prog -urlparam -shutdown");
    EXPECT_EQ(1, args.FindSwitch("urlparam"));
    EXPECT_EQ("", args.GetSwitchValue("urlparam", ""));
    EXPECT_EQ(2, args.FindSwitch("shutdown"));
    EXPECT_EQ("", args.GetSwitchValue("shutdown", ""));
    EXPECT_EQ("?page=2", Line("prog -urlparam:?page=2").GetSwitchValue("urlparam", ""));
    EXPECT_EQ("x", Line("prog /urlparam x /shutdown").GetSwitchValue("urlparam", ""));
}

TEST(CommandLine, SwitchNamesMatchWholeUnlessAColonOrStarAsksForAPrefix) {
    EXPECT_EQ(0, Line("prog -url").FindSwitch("urlparam"));
    EXPECT_EQ(0, Line("prog -urlparamx").FindSwitch("urlparam"));
    EXPECT_EQ(1, Line("prog -URLPARAM").FindSwitch("urlparam"));
    const CommandLineArgs colon = Line("prog -urlparamx:1");
    EXPECT_EQ(1, colon.FindSwitch("urlparam"));
    EXPECT_EQ("1", colon.GetSwitchValue("urlparam", ""));
    // Prefix comparison stays on for the switches after one with a colon.
    EXPECT_EQ(2, Line("prog -a:1 -urlparamx").FindSwitch("urlparam"));
    EXPECT_EQ(0, Line("prog -urlparamx -a:1").FindSwitch("urlparam"));
    EXPECT_EQ(1, Line("prog -urlparamx").FindSwitch("url*"));
    EXPECT_EQ(1, Line("prog /shutdown").FindSwitch("-shutdown"));
    EXPECT_EQ(1, Line("prog -shutdown").FindSwitch("/shutdown"));
}

TEST(CommandLine, OnlySwitchesAfterTheProgramAreSearched) {
    EXPECT_EQ(0, Line("-config x").FindSwitch("config"));
    EXPECT_EQ(0, Line("prog config").FindSwitch("config"));
    EXPECT_EQ(0, Line("prog \\config").FindSwitch("config"));
    EXPECT_EQ(0, Line("prog -config").FindSwitch(""));
    EXPECT_EQ(2, Line("prog x -config").FindSwitch("config"));
    EXPECT_EQ(1, CommandLineArgs("+", "prog +config").FindSwitch("config"));
    EXPECT_EQ(0, CommandLineArgs("+", "prog -config").FindSwitch("config"));
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
    std::string program = args.Arg(0);
    for (char& c : program) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
#ifdef _WIN32
    const std::string name = "test_config.exe";
#else
    const std::string name = "test_config";
#endif
    ASSERT_GE(program.size(), name.size());
    EXPECT_EQ(name, program.substr(program.size() - name.size()));
}

TEST(CommandLine, AbsolutePathsAreValuesWhereTheyStartWithASlash) {
    const CommandLineArgs args(kSwitchCharacters, "trailhost -config /home/me/site.ini");
#ifdef _WIN32
    EXPECT_EQ(args.GetSwitchValue("config", ""), "");
#else
    EXPECT_EQ(args.GetSwitchValue("config", ""), "/home/me/site.ini");
#endif
}
