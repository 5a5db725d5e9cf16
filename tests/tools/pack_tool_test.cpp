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

// Exit codes and what the tool says: 0 done, 1 a failure of the work, 2 a wrong command line.
TEST(PackTool, CommandLinesAndFolderErrors) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    CreateFolders(dir / "db");
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;  // a part of what it prints
    } rows[] = {
        {{"--help"}, 0, "encrypt-db"},
        {{"--help"}, 0, "scramble"},
        {{"--version"}, 0, std::string("trailhost-pack ") + TRAILHOST_VERSION + "\n"},
        // 'A' + 36, 'A' + 56, 'A' + 53.
        {{"scramble", "AAA"}, 0, "\\x65\\x79\\x76\n"},
        {{}, 2, ""},
        {{"explode"}, 2, "unknown command explode"},
        {{"encrypt-db", "only-one"}, 2, ""},
        {{"encrypt-db", "--passphrase", "secret", "a", "b"}, 2, "unknown option --passphrase"},
        {{"scramble"}, 2, ""},
        // The archive would pack itself.
        {{"encrypt-db", "db", "db" + kSep + "dbdir.aes"}, 2, "must not lie inside"},
        {{"encrypt-db", dir / "missing", dir / "out.aes"}, 1, "no such folder"},
        {{"encrypt-db", dir / "file", dir / "out.aes"}, 1, "not a folder"},
        {{"encrypt-db", dir / "db", dir / "no" + kSep + "out.aes"}, 1, "cannot write"},
    };
    for (const auto& row : rows) {
        Tool tool;
        EXPECT_EQ(tool.Run(row.args), row.code) << row.says;
        EXPECT_NE((tool.out.str() + tool.err.str()).find(row.says), std::string::npos) << row.says;
    }
    EXPECT_FALSE(PathExists(dir / "out.aes"));
}

// Stored archives are the larger, and both unpack to the same tree.
TEST(PackTool, ArchivesUnpackToTheSameTreeStoredOrDeflated) {
    TempDir dir;
    const std::string db = dir / "db" + kSep;
    MakeDatabase(db);
    WriteFile(dir / "phrase.txt", "correct horse\r\n");
    std::map<std::string, std::size_t> sizes;
    for (const std::string store : {"", "--store"}) {
        const std::string app = dir / ("app" + store) + kSep;
        CreateFolders(app);
        std::vector<std::string> args = {"encrypt-db", "--passphrase-file", dir / "phrase.txt"};
        if (!store.empty()) {
            args.push_back(store);
        }
        args.push_back(dir / "db");
        args.push_back(app + "dbdir.aes");
        Tool tool;
        ASSERT_EQ(tool.Run(args), 0) << tool.err.str();
        sizes[store] = ReadFile(app + "dbdir.aes").size();
        EXPECT_EQ(Snapshot(Stage(app, dir / ("rt" + store) + kSep, "correct horse")), Snapshot(db))
            << store;
    }
    EXPECT_LT(sizes[""] * 2, sizes["--store"]);
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

    using Answers = std::vector<std::optional<std::string>>;
    const std::pair<Answers, const char*> refused[] = {
        {{std::string("typed"), std::string("typo")}, "differ"},
        {{}, "no terminal"},
        {{std::string(""), std::string("")}, "empty"},
    };
    for (const auto& [answers, says] : refused) {
        Tool asked;
        asked.answers = answers;
        EXPECT_EQ(asked.Run({"encrypt-db", "--ask-passphrase", dir / "db", dir / "x.aes"}), 1);
        EXPECT_NE(asked.err.str().find(says), std::string::npos) << says;
    }
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
