// The staging of an encrypted database archive, as the start sequence does it. The input is used
// twice: as an archive file that is already encrypted (DecryptArchive alone), and as the plain zip
// of an archive that is encrypted here and then staged by StageDatabase into the runtime folder.
// Afterwards the stack folder holds only its archive, the runtime folder only the unpack folder,
// and that folder only paths that the archive's safe items name.
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "config/settings.h"
#include "fuzz_support.h"
#include "stack/archive_cipher.h"
#include "stack/db_staging.h"
#include "stack/zip_reader.h"
#include "sys/files.h"

using fuzzsupport::FolderEntries;
using fuzzsupport::ReadBytes;
using fuzzsupport::ScratchFolder;

namespace {

const char kPassPhrase[] = "fuzz pass phrase";
const unsigned char kCounterBlock[kCounterBlockSize] = {1, 2,  3,  4,  5,  6,  7,  8,
                                                        9, 10, 11, 12, 13, 14, 15, 16};

// The input as an encrypted archive: only its length decides whether it decrypts.
void CheckDecryptAlone(const std::string& bytes) {
    const std::string archive = ScratchFolder() + "raw.aes";
    const std::string plain = ScratchFolder() + "raw.zip";
    fuzzsupport::WriteBytes(archive, bytes);
    const bool ok = DecryptArchive(kPassPhrase, archive, plain);
    FUZZ_CHECK(ok == (bytes.size() >= kCounterBlockSize), std::to_string(bytes.size()));
    if (ok) {
        FUZZ_CHECK(ReadBytes(plain).size() == bytes.size() - kCounterBlockSize,
                   std::to_string(bytes.size()));
    }
    std::remove(archive.c_str());
    std::remove(plain.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzlimits::CapFileSize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = fuzzsupport::Text(data, size);
    const std::string app = ScratchFolder() + "stack/";
    const std::string runtime = ScratchFolder() + "Trailhost_1/";
    FUZZ_CHECK(CreateFolders(app) && CreateFolders(runtime), ScratchFolder());

    CheckDecryptAlone(bytes);

    // The names the unpacking may use, from the plain zip.
    const std::string plain = ScratchFolder() + "plain.zip";
    fuzzsupport::WriteBytes(plain, bytes);
    std::set<std::string> allowed;
    {
        ZipReader zip;
        zip.Open(plain);
        allowed = fuzzlimits::PathsOfSafeItems(zip);
    }
    std::remove(plain.c_str());

    ArchiveEncryptor encryptor;
    FUZZ_CHECK(encryptor.Open(kPassPhrase, app + "dbdir.aes", kCounterBlock) &&
                   encryptor.Write(bytes.data(), bytes.size()) && encryptor.Close(),
               "encrypting");
    // Decrypting gives back the plain zip.
    FUZZ_CHECK(DecryptArchive(kPassPhrase, app + "dbdir.aes", plain) && ReadBytes(plain) == bytes,
               "decrypting");
    std::remove(plain.c_str());

    const std::string dbFolder = StageDatabase(AppSettings(), app, runtime, kPassPhrase);
    FUZZ_CHECK(dbFolder.compare(0, runtime.size(), runtime) == 0 && dbFolder.back() == '/',
               dbFolder);

    FUZZ_CHECK(
        FolderEntries(ScratchFolder()) == (std::vector<std::string>{"Trailhost_1/", "stack/"}),
        "scratch folder");
    FUZZ_CHECK(FolderEntries(app) == std::vector<std::string>{"dbdir.aes"}, app);
    FUZZ_CHECK(FolderEntries(runtime) == std::vector<std::string>{"encdb/"}, runtime);
    // What is left in the unpack folder came from safe items (the decrypted zip is gone).
    const std::string unpack = UnpackFolderName(runtime);
    for (const std::string& path : fuzzsupport::TreeBelow(unpack)) {
        FUZZ_CHECK(allowed.count(path) == 1, path);
    }

    DeleteFolderTree(unpack);
    return 0;
}
