// The same cases run natively against our reader and under Wine against the Windows profile
// functions; under Wine each case is also held against our reader's lookup rules, so the two are
// shown to agree.
#include "config/ini_file.h"
#include "config/ini_text.h"
#include "sys/text.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <string>
#include <tuple>

using testsupport::TempDir;
using testsupport::WriteFile;
using ZUL::CIniFile;

namespace {

struct LookupCase {
    const char* what;
    std::string text;
    const char* section;
    const char* key;
    std::string expected;  // kDefault when the default is expected
};

const char kDefault[] = "<default>";

// The value that the listing says the lookup reads: the one key line of the key in the section
// that nothing hides.
std::string ValueOfListedLine(const std::string& text, std::string section, std::string key) {
    const auto trim = [](std::string& s) {
        s.erase(0, s.find_first_not_of(' '));
        s.erase(s.find_last_not_of(' ') + 1);
    };
    trim(section);
    trim(key);
    std::string found = kDefault;
    int seen = 0;
    for (const ZUL::IniLine& line : ZUL::ListIniLines(text)) {
        if (!line.isSection && line.sectionLine != 0 && line.hiddenBy == 0 &&
            EqualsNoCase(line.section, section) && EqualsNoCase(line.key, key)) {
            found = line.value.value_or(kDefault);
            ++seen;
        }
    }
    EXPECT_LE(seen, 1) << "more than one line of a key is read";
    return found;
}

}  // namespace

TEST(IniFile, LookupsFindTheValueThatIsRead) {
    const LookupCase cases[] = {
        // Names match without regard to case or surrounding blanks.
        {"exact", "[http]\nPort=8080\n", "http", "Port", "8080"},
        {"upper-case section, lower-case key", "[HTTP]\nport=1\n", "http", "Port", "1"},
        {"mixed case asked", "[General]\nServerName=x\n", "GENERAL", "servername", "x"},
        {"indented lines", "  [http]  \n   Port   =   8\n", "http", "Port", "8"},
        {"tabs", "[http]\n\tPort\t=\tx\t\n", "http", "Port", "x"},
        {"blank inside a key name", "[http]\nServer Name = y\n", "http", "server name", "y"},
        {"blanks inside the brackets", "[ http ]\nPort=5\n", "http", "Port", "5"},
        {"text after the closing bracket", "[http] ; web\nPort=3\n", "http", "Port", "3"},
        {"blanks around the asked names", "[http]\nPort=4\n", " http ", " Port ", "4"},
        // Values lose surrounding blanks and one pair of matching quotes.
        {"blanks around", "[s]\nk=   spaced   value   \n", "s", "k", "spaced   value"},
        {"double quotes keep inner blanks", "[s]\nk=\"  quoted  \"\n", "s", "k", "  quoted  "},
        {"single quotes", "[s]\nk='single'\n", "s", "k", "single"},
        {"quotes that do not match", "[s]\nk=\"mixed'\n", "s", "k", "\"mixed'"},
        {"one quote alone", "[s]\nk=\"\n", "s", "k", "\""},
        {"two quotes", "[s]\nk=\"\"\n", "s", "k", ""},
        {"only the outer pair goes", "[s]\nk=\"a\"b\"\n", "s", "k", "a\"b"},
        {"quote inside", "[s]\nk=it's\n", "s", "k", "it's"},
        {"empty value is no default", "[s]\nk=\n", "s", "k", ""},
        {"blank value is empty", "[s]\nk=    \n", "s", "k", ""},
        {"later equals signs belong to the value", "[s]\nk=a=b\n", "s", "k", "a=b"},
        {"semicolon inside a value", "[s]\nk=80 ; web port\n", "s", "k", "80 ; web port"},
        {"backslashes kept", "[s]\nk=C:\\x\\y\\\n", "s", "k", "C:\\x\\y\\"},
        // The first section and the first key of a repeated name win.
        {"repeated key", "[s]\nk=1\nk=2\n", "s", "k", "1"},
        {"repeated section", "[s]\nk=1\n[t]\nk=9\n[s]\nk=2\n", "s", "k", "1"},
        {"key only in a repeated section", "[s]\na=1\n[S]\nk=2\n", "s", "k", kDefault},
        {"section of another name between", "[s]\n[t]\nk=1\n", "s", "k", kDefault},
        // Lines that are no values give the default.
        {"key without equals sign", "[s]\nk\n", "s", "k", kDefault},
        {"key without equals sign before a real one", "[s]\nk\nk=80\n", "s", "k", kDefault},
        {"commented out", "[s]\n;k=1\n", "s", "k", kDefault},
        {"commented out before a real one", "[s]\n; k=1\nk=2\n", "s", "k", "2"},
        {"comment lines between", "[s]\n; note\n;[t]\nk=3\n", "s", "k", "3"},
        {"key before every section", "k=1\n[s]\na=2\n", "s", "k", kDefault},
        {"missing section", "[t]\nk=1\n", "s", "k", kDefault},
        {"missing key", "[s]\na=1\n", "s", "k", kDefault},
        {"empty file", "", "s", "k", kDefault},
        {"broken header does not end the section", "[s]\n[broken\nk=1\n", "s", "k", "1"},
        // Line ends of every kind and a missing final newline.
        {"CR LF", "[s]\r\nk=1\r\n\r\n[t]\r\nk=2\r\n", "t", "k", "2"},
        {"CR LF value has no CR", "[s]\r\nk=a b\r\n", "s", "k", "a b"},
        {"no final newline", "[s]\nk=last", "s", "k", "last"},
        {"no final newline after CR LF", "[s]\r\nj=1\r\nk=last", "s", "k", "last"},
        {"CR only", "[s]\rj=1\rk=2\r", "s", "k", "2"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "1"},
    };
    // Each case is written to a file of its own, so that no cached copy of an earlier file can
    // answer.
    TempDir dir;
    int i = 0;
    for (const LookupCase& c : cases) {
        const std::string path = dir / ("case" + std::to_string(i++) + ".ini");
        WriteFile(path, c.text);
        EXPECT_EQ(c.expected, CIniFile(path).GetString(c.key, kDefault, c.section)) << c.what;
        EXPECT_EQ(c.expected, ZUL::FindIniValue(c.text, c.section, c.key).value_or(kDefault))
            << c.what << " (lookup rules on the text)";
        EXPECT_EQ(c.expected, ValueOfListedLine(c.text, c.section, c.key))
            << c.what << " (the line the listing marks as read)";
    }
}

TEST(IniFile, LongValuesAreReadWholeUpToTheLargestBuffer) {
    TempDir dir;
    for (const std::size_t length : {1021u, 1022u, 1023u, 1024u, 2046u, 4094u, 5000u, 100000u}) {
        std::string value;
        for (std::size_t i = 0; value.size() < length; ++i) {
            value += static_cast<char>('a' + i % 26);
        }
        const std::string path = dir / ("long" + std::to_string(length) + ".ini");
        WriteFile(path, "[s]\r\nbefore=1\r\nk=" + value + "\r\nafter=2");
        CIniFile ini(path);
        EXPECT_EQ(value, ini.GetString("k", "", "s")) << length << " characters";
        EXPECT_EQ("2", ini.GetString("after", "", "s"));
    }
    const std::string quoted(5000, 'q');
    WriteFile(dir / "quoted.ini", "[s]\nk=\"" + quoted + "\"");
    EXPECT_EQ(quoted, CIniFile(dir / "quoted.ini").GetString("k", "", "s"));
    // Beyond the largest buffer, ten doublings of 1024 characters, values are cut.
    WriteFile(dir / "huge.ini", "[s]\nk=" + std::string(1100000, 'x') + "\n");
    EXPECT_EQ(1024u * 1024u - 1u, CIniFile(dir / "huge.ini").GetString("k", "", "s").size());
}

TEST(IniFile, DefaultsWithoutFileSectionOrPathAndAnotherFileAsked) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[one]\nk=a1\n[two]\nk=a2\n");
    WriteFile(dir / "b.ini", "[one]\nk=b1\n");
    const CIniFile missing(dir / "missing.ini");
    const CIniFile none;
    const CIniFile ini(dir / "a.ini");
    EXPECT_EQ("d", missing.GetString("k", "d", "s"));
    EXPECT_EQ(5, missing.GetInt("k", 5, "s"));
    EXPECT_EQ("d", none.GetString("k", "d", "s"));
    EXPECT_EQ(5, none.GetInt("k", 5, "s"));
    EXPECT_TRUE(none.GetBool("k", true, "s"));
    // No section given.
    EXPECT_EQ("d", ini.GetString("k", "d"));
    EXPECT_EQ(5, ini.GetInt("k", 5));
    // Trailing blanks of a default are dropped once a file was asked, kept otherwise.
    EXPECT_EQ("d", ini.GetString("missing", "d  ", "one"));
    EXPECT_EQ("d  ", none.GetString("missing", "d  ", "one"));
    // The remembered path can be overridden for one lookup.
    EXPECT_EQ("a1", ini.GetString("k", "", "one"));
    EXPECT_EQ("a2", ini.GetString("k", "", "two"));
    EXPECT_EQ("b1", ini.GetString("k", "", "one", dir / "b.ini"));
    EXPECT_EQ("", ini.GetString("k", "", "two", dir / "b.ini"));
}

// Integers are the leading decimal digits; a boolean is any number but 0. Without a value both
// are the default (here -1 and either boolean).
TEST(IniFile, IntegersAndBooleans) {
    const std::pair<const char*, int> rows[] = {
        {"k=8080", 8080}, {"k=  42abc", 42}, {"k='  42abc'", 42}, {"k=\"7\"", 7}, {"k=007", 7},
        {"k=12 34", 12},  {"k=1.5", 1},      {"k=2", 2},          {"k=0", 0},     {"k=abc", 0},
        {"k=a1", 0},      {"k=no", 0},       {"k=yes", 0},        {"k=true", 0},  {"k=", -1},
        {"k=   ", -1},    {"k", -1},         {"other=3", -1},
    };
    TempDir dir;
    int i = 0;
    for (const auto& [line, number] : rows) {
        const std::string path = dir / ("value" + std::to_string(i++) + ".ini");
        WriteFile(path, std::string("[s]\n") + line + "\n");
        const CIniFile ini(path);
        EXPECT_EQ(number, ini.GetInt("k", -1, "s")) << line;
        for (const bool byDefault : {false, true}) {
            EXPECT_EQ(number == -1 ? byDefault : number != 0, ini.GetBool("k", byDefault, "s"))
                << line;
        }
    }
}

TEST(IniFile, ListedLinesCarryTheirNumberSectionAndWhatHidesThem) {
    const std::string text =
        "orphan=0\r\n"     // 1: before every header
        "\r\n"             // 2: blank, not listed
        "[http]\r\n"       // 3
        "Port=1\r\n"       // 4
        "; Port=2\r\n"     // 5: the key "; Port"
        "PORT = 3\r\n"     // 6: hidden by 4
        "[General]\r\n"    // 7
        "Flag\r\n"         // 8: no '='
        "flag=1\r\n"       // 9: hidden by 8
        "[ HTTP ]\r\n"     // 10: hidden by 3
        "HostName=x\r\n";  // 11: hidden by 3, its section's first header
    struct Row {
        int number;
        bool isSection;
        std::string section;
        int sectionLine;
        std::string key;
        std::optional<std::string> value;  // {} for none
        int hiddenBy;
    };
    const Row expected[] = {
        {1, false, "", 0, "orphan", "0", 0},     {3, true, "http", 3, "", {}, 0},
        {4, false, "http", 3, "Port", "1", 0},   {5, false, "http", 3, "; Port", "2", 0},
        {6, false, "http", 3, "PORT", "3", 4},   {7, true, "General", 7, "", {}, 0},
        {8, false, "General", 7, "Flag", {}, 0}, {9, false, "General", 7, "flag", "1", 8},
        {10, true, "HTTP", 10, "", {}, 3},       {11, false, "HTTP", 10, "HostName", "x", 3},
    };
    const std::vector<ZUL::IniLine> lines = ZUL::ListIniLines(text);
    ASSERT_EQ(lines.size(), std::size(expected));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Row& r = expected[i];
        const ZUL::IniLine& l = lines[i];
        EXPECT_EQ(
            std::tie(l.number, l.isSection, l.section, l.sectionLine, l.key, l.value, l.hiddenBy),
            std::tie(r.number, r.isSection, r.section, r.sectionLine, r.key, r.value, r.hiddenBy));
    }
}
