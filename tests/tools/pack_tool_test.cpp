#include "pack/pack_tool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "stack/account_texts.h"
#include "stack/db_staging.h"
#include "sys/files.h"
#include "fault_support.h"
#include "test_support.h"
#include "trailhost_version.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

using Answers = std::vector<std::optional<std::string>>;

// The tool's output, and its run with `answers` given to its questions one by one.
struct Tool {
    std::ostringstream out;
    std::ostringstream err;

    int Run(const std::vector<std::string>& args, const Answers& answers = {}) {
        std::size_t asked = 0;
        PackToolIo io{out, err, [&](const std::string&) {
                          return asked < answers.size() ? answers[asked++] : std::nullopt;
                      }};
        return RunPackTool(args, io);
    }
};

// The command line of encrypt-db with these options.
std::vector<std::string> EncryptDb(std::vector<std::string> options, const std::string& folder,
                                   const std::string& archive) {
    options.insert(options.begin(), "encrypt-db");
    options.push_back(folder);
    options.push_back(archive);
    return options;
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
    return StageDatabase(AppSettings(), app, runtime, passPhrase);
}

// Exit codes and what the tool says: 0 done, 1 a failure of the work (a pass phrase it cannot
// trust among them), 2 a wrong command line. No archive is left by a failure.
TEST(PackTool, CommandLinesAndFolderErrors) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    MakeDatabase(dir / "db" + kSep);
    const std::vector<std::string> ask = {"--ask-passphrase"};
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;  // a part of what it prints
        Answers answers = {};
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
        {EncryptDb({}, "db", "db" + kSep + "dbdir.aes"), 2, "must not lie inside"},
        {EncryptDb({}, dir / "missing", dir / "out.aes"), 1, "no such folder"},
        {EncryptDb({}, dir / "file", dir / "out.aes"), 1, "not a folder"},
        {EncryptDb({}, dir / "db", dir / "no" + kSep + "out.aes"), 1, "cannot write"},
        {EncryptDb(ask, dir / "db", dir / "out.aes"), 1, "differ", {"typed", "typo"}},
        {EncryptDb(ask, dir / "db", dir / "out.aes"), 1, "no terminal"},
        {EncryptDb(ask, dir / "db", dir / "out.aes"), 1, "empty", {"", ""}},
        {EncryptDb({"--passphrase-file", dir / "none.txt"}, dir / "db", dir / "out.aes"), 1, ""},
    };
    for (const auto& row : rows) {
        Tool tool;
        EXPECT_EQ(tool.Run(row.args, row.answers), row.code) << row.says;
        EXPECT_NE((tool.out.str() + tool.err.str()).find(row.says), std::string::npos) << row.says;
        EXPECT_FALSE(PathExists(dir / "out.aes")) << row.says;
    }
#ifndef _WIN32
    // A disk that fills up while the archive is written: what was written goes again, and the
    // archive packed before stays as it was.
    const SmallDisk small(MadeFolder(dir / "small"), 64);
    if (small.ok()) {
        WriteFile(dir / "small/out.aes", "the last archive");
        Tool tool;
        EXPECT_EQ(tool.Run(EncryptDb({"--store"}, dir / "db", dir / "small/out.aes")), 1);
        EXPECT_NE(tool.err.str().find(std::strerror(ENOSPC)), std::string::npos) << tool.err.str();
        EXPECT_EQ(FileTree(dir / "small"),
                  (std::map<std::string, std::string>{{"out.aes", "the last archive"}}));
    }
#endif
}

// Each way of giving the pass phrase, stored or deflated: the launcher's staging with that phrase
// gives back the same tree, and with another phrase nothing. Stored archives are the larger.
TEST(PackTool, ArchivesUnpackToTheSameTreeWithTheirPassPhrase) {
    TempDir dir;
    const std::string db = dir / "db" + kSep;
    MakeDatabase(db);
    WriteFile(dir / "phrase.txt", "correct horse\r\n");
    const struct {
        std::vector<std::string> options;
        Answers answers;
        std::string phrase;
        const char* says;
    } rows[] = {
        {{"--passphrase-file", dir / "phrase.txt"}, {}, "correct horse", ""},
        {{"--passphrase-file", dir / "phrase.txt", "--store"}, {}, "correct horse", ""},
        {{}, {}, ArchivePassPhrase(), "built into"},
        {{"--ask-passphrase"}, {"typed", "typed"}, "typed", ""},
    };
    std::vector<std::size_t> sizes;
    for (const auto& row : rows) {
        const std::string n = std::to_string(sizes.size());
        const std::string app = dir / ("app" + n) + kSep;
        CreateFolders(app);
        Tool tool;
        ASSERT_EQ(tool.Run(EncryptDb(row.options, dir / "db", app + "dbdir.aes"), row.answers), 0)
            << tool.err.str();
        EXPECT_NE(tool.out.str().find(row.says), std::string::npos) << tool.out.str();
        sizes.push_back(ReadFile(app + "dbdir.aes").size());
        EXPECT_EQ(FileTree(Stage(app, dir / ("rt" + n) + kSep, row.phrase)), FileTree(db)) << n;
        EXPECT_FALSE(PathExists(Stage(app, dir / ("wrong" + n) + kSep, "something else"))) << n;
    }
    EXPECT_LT(sizes[0] * 2, sizes[1]);
}

#ifndef _WIN32
// A link, and a named pipe (whose reading would wait for a writer for ever), are left out.
TEST(PackTool, SkipsLinksAndSpecialFilesWithAWarning) {
    TempDir dir;
    MakeDatabase(dir / "db" + kSep);
    CreateFolders(dir / "outside");
    WriteFile(dir / "outside" + kSep + "secret", "not for the archive");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "db" + kSep + "link").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "db" + kSep + "pipe").c_str(), 0600), 0);
    CreateFolders(dir / "app");
    Tool tool;
    ASSERT_EQ(tool.Run({"encrypt-db", dir / "db", dir / "app" + kSep + "dbdir.aes"}), 0);
    EXPECT_NE(tool.err.str().find("skipping the link"), std::string::npos);
    EXPECT_NE(tool.err.str().find("skipping the special file"), std::string::npos);
    const std::string unpacked = Stage(dir / "app" + kSep, dir / "rt" + kSep, ArchivePassPhrase());
    EXPECT_FALSE(PathExists(unpacked + "link"));
    EXPECT_FALSE(PathExists(unpacked + "pipe"));
    EXPECT_TRUE(PathExists(unpacked + "ibdata1"));
}
#endif

}  // namespace
