#include "pack/pack_tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "pack/stack_check.h"
#include "stack/account_texts.h"
#include "stack/archive_cipher.h"
#include "sys/files.h"
#include "sys/folders.h"
#include "trailhost_version.h"

namespace {

const char kUsage[] =
    "Usage: trailhost-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  encrypt-db [OPTIONS] DBDIR OUT.aes\n"
    "      Packs the database folder DBDIR into the encrypted archive OUT.aes. Put the archive\n"
    "      beside the launcher as dbdir.aes: at every start the launcher unpacks it into its\n"
    "      runtime folder and runs the database from there.\n"
    "      --passphrase-file FILE  read the pass phrase from the first line of FILE\n"
    "                              (\"-\" reads it from standard input)\n"
    "      --ask-passphrase        ask for the pass phrase on the terminal, twice\n"
    "      --store                 store the files without compressing them\n"
    "      Without a pass-phrase option the archive gets the pass phrase built into the launcher\n"
    "      of this build (its database password), so that the two always match. There is no\n"
    "      option to give the pass phrase itself on the command line, where others could see it.\n"
    "  check [OPTIONS] STACK_FOLDER\n"
    "      Reads the stack's hub_config.ini as the launcher does and reports, one line each,\n"
    "      what would keep the stack from starting or from running as meant: misspelt or\n"
    "      misplaced keys, values the launcher does not understand, missing programs, templates\n"
    "      and folders, placeholders that are misspelt or not filled in their file, additional\n"
    "      files outside the stack, an archive that does not open, a mirror folder that must not\n"
    "      be deleted. Exit status 0 when clean, 1 with warnings only, 2 with errors.\n"
    "      --json                  print the findings as JSON\n"
    "      --passphrase-file FILE, --ask-passphrase\n"
    "                              the pass phrase dbdir.aes should open with (as for\n"
    "                              encrypt-db; by default the one built into the launcher)\n"
    "  scramble TEXT\n"
    "      Prints TEXT scrambled with the launcher's built-in key, as the launcher stores its\n"
    "      account texts, every byte written as \\xNN.\n"
    "  --help\n"
    "      Shows this text.\n"
    "  --version\n"
    "      Shows the version of this tool and of the launcher it belongs to.\n";

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

int UsageError(PackToolIo& io, const std::string& message) {
    io.err << "trailhost-pack: " << message << "\nRun trailhost-pack --help for the commands.\n";
    return kUsageError;
}

std::string SystemError() {
    return errno != 0 ? std::strerror(errno) : "unknown error";
}

// Adds the folder's entries to the archive, sorted by name so that the same tree always gives
// the same archive.
bool AddFolder(ZipWriter& zip, const std::string& folder, const std::string& itemPrefix,
               ZipWriter::Method method, std::ostream& warnings, std::string& error) {
    std::vector<FolderEntry> entries;
    if (!ListFolder(folder, entries)) {
        error = "cannot read the folder " + folder;
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const FolderEntry& entry : entries) {
        const std::string path = folder + kSep + entry.name;
        const std::string item = itemPrefix + entry.name;
        switch (entry.kind) {
            case FolderEntry::Kind::kFolder:
                if (!zip.AddFolder(item + "/") ||
                    !AddFolder(zip, path, item + "/", method, warnings, error)) {
                    if (error.empty()) {
                        error = "cannot write the archive";
                    }
                    return false;
                }
                break;
            case FolderEntry::Kind::kFile:
                errno = 0;
                if (!zip.AddFile(item, path, method)) {
                    error = "cannot pack " + path + ": " + SystemError();
                    return false;
                }
                break;
            case FolderEntry::Kind::kLink:
                warnings << "trailhost-pack: skipping the link " << path << "\n";
                break;
            case FolderEntry::Kind::kOther:
                warnings << "trailhost-pack: skipping the special file " << path << "\n";
                break;
        }
    }
    return true;
}

// The archive encryptor as the zip writer's sink.
class EncryptingSink : public ByteSink {
public:
    explicit EncryptingSink(ArchiveEncryptor& encryptor) : encryptor_(encryptor) {}
    bool Write(const void* data, size_t size) override { return encryptor_.Write(data, size); }

private:
    ArchiveEncryptor& encryptor_;
};

std::optional<std::string> PassPhraseFromFile(const std::string& path, std::string& error) {
    std::string line;
    if (path == "-") {
        std::getline(std::cin, line);
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot read the pass-phrase file " + path;
            return std::nullopt;
        }
        std::getline(in, line);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// The pass-phrase options that encrypt-db and check share.
struct PassPhraseOptions {
    std::string file;
    bool ask = false;

    // Takes the option at args[i] (and its value) when it is one of them.
    bool Take(const std::vector<std::string>& args, size_t& i, std::string& error) {
        if (args[i] == "--passphrase-file") {
            if (i + 1 >= args.size()) {
                error = "--passphrase-file needs a file name";
            } else {
                file = args[++i];
            }
            return true;
        }
        if (args[i] == "--ask-passphrase") {
            ask = true;
            return true;
        }
        return false;
    }
    bool BuiltIn() const { return file.empty() && !ask; }
};

// The pass phrase the options give (the launcher's built-in one without them); none, with the
// reason on the error stream, when it cannot be had. `twice` asks for it a second time.
std::optional<std::string> PassPhraseOf(const PassPhraseOptions& options, bool twice,
                                        PackToolIo& io) {
    std::string passPhrase;
    if (!options.file.empty()) {
        std::string error;
        std::optional<std::string> read = PassPhraseFromFile(options.file, error);
        if (!read) {
            io.err << "trailhost-pack: " << error << "\n";
            return std::nullopt;
        }
        passPhrase = *read;
    } else if (options.ask) {
        std::optional<std::string> first = io.askHidden("Pass phrase: ");
        if (!first) {
            io.err << "trailhost-pack: no terminal to ask on; use --passphrase-file\n";
            return std::nullopt;
        }
        if (twice) {
            std::optional<std::string> second = io.askHidden("Pass phrase again: ");
            if (!second || *second != *first) {
                io.err << "trailhost-pack: the two pass phrases differ\n";
                return std::nullopt;
            }
        }
        passPhrase = *first;
    } else {
        return ArchivePassPhrase();
    }
    if (passPhrase.empty()) {
        io.err << "trailhost-pack: the pass phrase is empty\n";
        return std::nullopt;
    }
    return passPhrase;
}

int EncryptDb(const std::vector<std::string>& args, PackToolIo& io) {
    std::vector<std::string> positional;
    PassPhraseOptions passPhraseOptions;
    ZipWriter::Method method = ZipWriter::Method::kDeflated;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        if (passPhraseOptions.Take(args, i, error)) {
            if (!error.empty()) {
                return UsageError(io, error);
            }
        } else if (a == "--store") {
            method = ZipWriter::Method::kStored;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError(io, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        return UsageError(io, "encrypt-db needs DBDIR and OUT.aes");
    }
    if (passPhraseOptions.ask && !passPhraseOptions.file.empty()) {
        return UsageError(io, "give either --passphrase-file or --ask-passphrase");
    }
    std::string dbDir = positional[0];
    const std::string& outPath = positional[1];
    while (dbDir.size() > 1 && (dbDir.back() == '/' || dbDir.back() == kPathSeparator)) {
        dbDir.pop_back();
    }
    // The archive would otherwise take in its own first bytes.
    const std::string inside = dbDir + kSep;
    if (outPath.compare(0, inside.size(), inside) == 0) {
        return UsageError(io, "OUT.aes must not lie inside DBDIR");
    }
    std::vector<FolderEntry> probe;
    if (!PathExists(dbDir)) {
        io.err << "trailhost-pack: " << dbDir << ": no such folder\n";
        return kFailed;
    }
    if (!ListFolder(dbDir, probe)) {
        io.err << "trailhost-pack: " << dbDir << ": not a folder that can be read\n";
        return kFailed;
    }

    const std::optional<std::string> passPhrase = PassPhraseOf(passPhraseOptions, true, io);
    if (!passPhrase) {
        return kFailed;
    }
    std::string error;
    if (!PackDatabaseFolder(dbDir, outPath, *passPhrase, method, io.err, error)) {
        io.err << "trailhost-pack: " << error << "\n";
        return kFailed;
    }
    if (passPhraseOptions.BuiltIn()) {
        io.out << "Packed " << dbDir << " into " << outPath
               << " with the pass phrase built into this build's launcher.\n";
    } else {
        io.out << "Packed " << dbDir << " into " << outPath << ".\n";
    }
    return kDone;
}

int CheckCommand(const std::vector<std::string>& args, PackToolIo& io) {
    std::vector<std::string> positional;
    PassPhraseOptions passPhraseOptions;
    bool json = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (passPhraseOptions.Take(args, i, error)) {
            if (!error.empty()) {
                return UsageError(io, error);
            }
        } else if (args[i] == "--json") {
            json = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return UsageError(io, "unknown option " + args[i]);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 1) {
        return UsageError(io, "check needs one STACK_FOLDER");
    }
    if (passPhraseOptions.ask && !passPhraseOptions.file.empty()) {
        return UsageError(io, "give either --passphrase-file or --ask-passphrase");
    }
    const std::string& stack = positional[0];
    std::vector<FolderEntry> probe;
    if (!ListFolder(stack, probe)) {
        io.err << "trailhost-pack: " << stack << ": not a folder that can be read\n";
        return kUsageError;
    }
    const std::optional<std::string> passPhrase = PassPhraseOf(passPhraseOptions, false, io);
    if (!passPhrase) {
        return kUsageError;
    }
    const std::vector<CheckFinding> findings = CheckStack(stack, *passPhrase);
    if (json) {
        WriteCheckJson(io.out, stack, findings);
    } else {
        WriteCheckText(io.out, stack, findings);
    }
    return CheckExitCode(findings);
}

int ScrambleText(const std::vector<std::string>& args, PackToolIo& io) {
    if (args.size() != 1) {
        return UsageError(io, "scramble needs exactly one TEXT");
    }
    const std::string scrambled = Scramble(args[0], kBuiltInScrambleKey);
    std::ostringstream text;
    for (const char c : scrambled) {
        text << "\\x" << std::hex << std::setw(2) << std::setfill('0')
             << (static_cast<unsigned>(static_cast<unsigned char>(c)));
    }
    io.out << text.str() << "\n";
    return kDone;
}

}  // namespace

bool PackDatabaseFolder(const std::string& dbDir, const std::string& outPath,
                        const std::string& passPhrase, ZipWriter::Method method,
                        std::ostream& warnings, std::string& error) {
    // Written under a name of its own first: an archive that is there already stays whole until
    // the new one is complete.
    const std::string partPath = outPath + ".part";
    bool ok = false;
    {
        ArchiveEncryptor encryptor;
        errno = 0;
        if (!encryptor.Open(passPhrase, partPath)) {
            error = "cannot write " + outPath + ": " + SystemError();
            return false;
        }
        EncryptingSink sink(encryptor);
        ZipWriter zip(sink);
        ok = zip.AddFolder("dbdir/") && AddFolder(zip, dbDir, "dbdir/", method, warnings, error) &&
             zip.Finish();
        if (!ok && error.empty()) {
            error = "cannot write " + outPath;
        }
        if (!encryptor.Close() && ok) {
            error = "cannot write " + outPath + ": " + SystemError();
            ok = false;
        }
    }
    errno = 0;
    if (ok && !MoveFileOver(partPath, outPath)) {
        error = "cannot write " + outPath + ": " + SystemError();
        ok = false;
    }
    if (!ok) {
        std::remove(partPath.c_str());
    }
    return ok;
}

int RunPackTool(const std::vector<std::string>& args, PackToolIo& io) {
    if (args.empty()) {
        io.err << kUsage;
        return kUsageError;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        io.out << kUsage;
        return kDone;
    }
    if (command == "encrypt-db") {
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
            io.out << kUsage;
            return kDone;
        }
        return EncryptDb(rest, io);
    }
    if (command == "--version" || command == "version") {
        io.out << "trailhost-pack " << TRAILHOST_VERSION << "\n";
        return kDone;
    }
    if (command == "check") {
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
            io.out << kUsage;
            return kDone;
        }
        return CheckCommand(rest, io);
    }
    if (command == "scramble") {
        return ScrambleText(rest, io);
    }
    return UsageError(io, "unknown command " + command);
}
