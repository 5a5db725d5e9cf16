#include "pack/pack_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "stack/account_texts.h"
#include "stack/db_staging.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "test_support.h"
#include "trailhost_version.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSep(1, kPathSeparator);

struct Tool {
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::optional<std::string>> answers;

    int Run(const std::vector<std::string>& args) {
        PackToolIo io{out, err, [this](const std::string&) -> std::optional<std::string> {
                          if (answers.empty()) {
                              return std::nullopt;
                          }
                          std::optional<std::string> next = answers.front();
                          answers.erase(answers.begin());
                          return next;
                      }};
        return RunPackTool(args, io);
    }
};

// Every file below `root` by its relative path, with its bytes; folders end with "/".
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(entry.path(), root).generic_string();
        tree[entry.is_directory() ? rel + "/" : rel] =
            entry.is_directory() ? "" : ReadFile(entry.path().string());
    }
    return tree;
}

// A database folder as a site would ship it.
void MakeDatabase(const std::string& root) {
    CreateFolders(root + "site" + kSep + "logs");
    CreateFolders(root + "empty");
    std::string binary(256 * 1024, '\0');
    for (size_t i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 131) ^ (i >> 9));
    }
    WriteFile(root + "ibdata1", binary);
    WriteFile(root + "site" + kSep + "t.frm", "table\r\ndefinition\n");
    WriteFile(root + "site" + kSep + "t.MYD", std::string(100000, 'r'));
    WriteFile(root + "site" + kSep + "logs" + kSep + "empty.log", "");
}

// Unpacks app/dbdir.aes as the launcher does; the folder the data landed in.
std::string Stage(const std::string& app, const std::string& runtime,
                  const std::string& passPhrase) {
    CreateFolders(runtime);
    AppSettings settings;
    return StageDatabase(settings, app, runtime, passPhrase);
}

TEST(PackTool, HelpAndWrongCommandLines) {
    Tool tool;
    EXPECT_EQ(tool.Run({"--help"}), 0);
    EXPECT_NE(tool.out.str().find("encrypt-db"), std::string::npos);
    EXPECT_NE(tool.out.str().find("scramble"), std::string::npos);
    EXPECT_EQ(tool.Run({}), 2);
    EXPECT_EQ(tool.Run({"explode"}), 2);
    EXPECT_NE(tool.err.str().find("unknown command explode"), std::string::npos);
    EXPECT_EQ(tool.Run({"encrypt-db", "only-one"}), 2);
    EXPECT_EQ(tool.Run({"encrypt-db", "--passphrase", "secret", "a", "b"}), 2);
    EXPECT_NE(tool.err.str().find("unknown option --passphrase"), std::string::npos);
    EXPECT_EQ(tool.Run({"scramble"}), 2);
    EXPECT_EQ(tool.Run({"encrypt-db", "db", "db" + kSep + "dbdir.aes"}), 2);
    EXPECT_NE(tool.err.str().find("must not lie inside"), std::string::npos);
}

TEST(PackTool, ShowsTheProjectVersion) {
    Tool tool;
    EXPECT_EQ(tool.Run({"--version"}), 0);
    EXPECT_EQ(tool.out.str(), std::string("trailhost-pack ") + TRAILHOST_VERSION + "\n");
}

TEST(PackTool, ScramblesWithTheBuiltInKey) {
    Tool tool;
    ASSERT_EQ(tool.Run({"scramble", "AAA"}), 0);
    // 'A' + 36, 'A' + 56, 'A' + 53.
    EXPECT_EQ(tool.out.str(), "\\x65\\x79\\x76\n");
}

TEST(PackTool, SaysWhatIsWrongWithTheFolders) {
    TempDir dir;
    Tool tool;
    EXPECT_EQ(tool.Run({"encrypt-db", dir / "missing", dir / "out.aes"}), 1);
    EXPECT_NE(tool.err.str().find("no such folder"), std::string::npos);
    WriteFile(dir / "file", "x");
    EXPECT_EQ(tool.Run({"encrypt-db", dir / "file", dir / "out.aes"}), 1);
    EXPECT_NE(tool.err.str().find("not a folder"), std::string::npos);

    CreateFolders(dir / "db");
    EXPECT_EQ(tool.Run({"encrypt-db", dir / "db", dir / "no" + kSep + "out.aes"}), 1);
    EXPECT_NE(tool.err.str().find("cannot write"), std::string::npos);
    EXPECT_FALSE(PathExists(dir / "out.aes"));
}

TEST(PackTool, ArchivesUnpackToTheSameTreeStoredOrDeflated) {
    for (const char* storeOption : {"", "--store"}) {
        TempDir dir;
        const std::string db = dir / "db" + kSep;
        MakeDatabase(db);
        WriteFile(dir / "phrase.txt", "correct horse\r\n");
        CreateFolders(dir / "app");
        std::vector<std::string> args = {"encrypt-db", "--passphrase-file", dir / "phrase.txt"};
        if (*storeOption != '\0') {
            args.push_back(storeOption);
        }
        args.push_back(dir / "db");
        args.push_back(dir / "app" + kSep + "dbdir.aes");
        Tool tool;
        ASSERT_EQ(tool.Run(args), 0) << tool.err.str();

        const std::string unpacked = Stage(dir / "app" + kSep, dir / "rt" + kSep, "correct horse");
        EXPECT_EQ(Snapshot(unpacked), Snapshot(db)) << storeOption;
    }
}

TEST(PackTool, StoredArchivesAreLargerThanDeflatedOnes) {
    TempDir dir;
    MakeDatabase(dir / "db" + kSep);
    Tool tool;
    ASSERT_EQ(tool.Run({"encrypt-db", dir / "db", dir / "deflated.aes"}), 0);
    ASSERT_EQ(tool.Run({"encrypt-db", "--store", dir / "db", dir / "stored.aes"}), 0);
    EXPECT_LT(ReadFile(dir / "deflated.aes").size() * 2, ReadFile(dir / "stored.aes").size());
}

TEST(PackTool, ByDefaultUsesThePassPhraseTheLauncherWillUse) {
    TempDir dir;
    const std::string db = dir / "db" + kSep;
    MakeDatabase(db);
    CreateFolders(dir / "app");
    Tool tool;
    ASSERT_EQ(tool.Run({"encrypt-db", dir / "db", dir / "app" + kSep + "dbdir.aes"}), 0);
    EXPECT_NE(tool.out.str().find("built into"), std::string::npos);
    EXPECT_EQ(Snapshot(Stage(dir / "app" + kSep, dir / "rt" + kSep, ArchivePassPhrase())),
              Snapshot(db));
    EXPECT_FALSE(PathExists(Stage(dir / "app" + kSep, dir / "rt2" + kSep, "something else")));
}

TEST(PackTool, AsksForThePassPhraseTwice) {
    TempDir dir;
    MakeDatabase(dir / "db" + kSep);
    CreateFolders(dir / "app");
    const std::string out = dir / "app" + kSep + "dbdir.aes";
    Tool tool;
    tool.answers = {std::string("typed"), std::string("typed")};
    ASSERT_EQ(tool.Run({"encrypt-db", "--ask-passphrase", dir / "db", out}), 0);
    EXPECT_EQ(Snapshot(Stage(dir / "app" + kSep, dir / "rt" + kSep, "typed")),
              Snapshot(dir / "db"));

    tool.answers = {std::string("typed"), std::string("typo")};
    EXPECT_EQ(tool.Run({"encrypt-db", "--ask-passphrase", dir / "db", dir / "x.aes"}), 1);
    EXPECT_NE(tool.err.str().find("differ"), std::string::npos);
    tool.answers = {};
    EXPECT_EQ(tool.Run({"encrypt-db", "--ask-passphrase", dir / "db", dir / "x.aes"}), 1);
    EXPECT_NE(tool.err.str().find("no terminal"), std::string::npos);
    tool.answers = {std::string(""), std::string("")};
    EXPECT_EQ(tool.Run({"encrypt-db", "--ask-passphrase", dir / "db", dir / "x.aes"}), 1);
    EXPECT_NE(tool.err.str().find("empty"), std::string::npos);
    EXPECT_EQ(
        tool.Run({"encrypt-db", "--passphrase-file", dir / "none.txt", dir / "db", dir / "x.aes"}),
        1);
    EXPECT_FALSE(PathExists(dir / "x.aes"));
}

#ifndef _WIN32
TEST(PackTool, SkipsLinksWithAWarning) {
    TempDir dir;
    MakeDatabase(dir / "db" + kSep);
    CreateFolders(dir / "outside");
    WriteFile(dir / "outside" + kSep + "secret", "not for the archive");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "db" + kSep + "link").c_str()), 0);
    CreateFolders(dir / "app");
    Tool tool;
    ASSERT_EQ(tool.Run({"encrypt-db", dir / "db", dir / "app" + kSep + "dbdir.aes"}), 0);
    EXPECT_NE(tool.err.str().find("skipping the link"), std::string::npos);
    const std::string unpacked = Stage(dir / "app" + kSep, dir / "rt" + kSep, ArchivePassPhrase());
    EXPECT_FALSE(PathExists(unpacked + "link"));
    EXPECT_TRUE(PathExists(unpacked + "ibdata1"));
}
#endif

}  // namespace
