// The encrypted database archive "dbdir.aes": a 16-byte initial counter block, then a zip
// archive encrypted with AES-256 in counter mode (little-endian counter) under the SHA-256
// digest of the pass phrase. There is no padding and no check value, so a wrong pass phrase
// gives garbage of the right length rather than an error.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "sys/files.h"

constexpr size_t kCounterBlockSize = 16;

// Decrypts the archive into a zip file that only this user may read (CreatePrivateFile), 512
// bytes at a time; the archive is never held in memory whole. False when the files cannot be
// opened, the archive is shorter than its counter block, the cipher fails, or `cancelled` (asked
// after each mebibyte) says to stop; the zip file may then hold part of the plain text.
bool DecryptArchive(const std::string& passPhrase, const std::string& archivePath,
                    const std::string& zipPath, const CancelCheck& cancelled = nullptr);

// Writes an archive: the counter block first, then the plain bytes given to Write, encrypted.
class ArchiveEncryptor {
public:
    ArchiveEncryptor();
    ~ArchiveEncryptor();
    ArchiveEncryptor(const ArchiveEncryptor&) = delete;
    ArchiveEncryptor& operator=(const ArchiveEncryptor&) = delete;

    // Creates the archive with a counter block from the system's random source.
    bool Open(const std::string& passPhrase, const std::string& path);
    // The same with a given counter block of kCounterBlockSize bytes.
    bool Open(const std::string& passPhrase, const std::string& path,
              const unsigned char* counterBlock);

    bool Write(const void* data, size_t size);

    // Flushes and closes the archive; false when anything could not be written.
    bool Close();

private:
    struct State;
    std::unique_ptr<State> state_;
};
