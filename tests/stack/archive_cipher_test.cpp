#include "stack/archive_cipher.h"

#include <gtest/gtest.h>
#include <tomcrypt.h>

#include "test_support.h"

using namespace testsupport;

namespace {

const unsigned char kCounter[kCounterBlockSize] = {0xff, 0xff, 0, 0, 0, 0, 0, 0,
                                                   0,    0,    0, 0, 0, 0, 0, 0xff};

std::string CounterBlock() {
    return std::string(reinterpret_cast<const char*>(kCounter), sizeof(kCounter));
}

std::string Encrypt(const std::string& passPhrase, const std::string& plain) {
    TempDir dir;
    ArchiveEncryptor encryptor;
    EXPECT_TRUE(encryptor.Open(passPhrase, dir / "a.aes", kCounter) &&
                encryptor.Write(plain.data(), plain.size()) && encryptor.Close());
    return ReadFile(dir / "a.aes");
}

// Decrypts archive bytes; the zip file's bytes, or "<failed>".
std::string Decrypt(const std::string& passPhrase, const std::string& archive) {
    TempDir dir;
    WriteFile(dir / "a.aes", archive);
    if (!DecryptArchive(passPhrase, dir / "a.aes", dir / "out.zip")) {
        return "<failed>";
    }
    return ReadFile(dir / "out.zip");
}

// AES-256 of one block under the SHA-256 digest of the pass phrase, straight from the cipher.
std::string EncryptBlock(const std::string& passPhrase, const unsigned char* block) {
    register_cipher(&aes_desc);
    register_hash(&sha256_desc);
    unsigned char key[32];
    unsigned long keyLength = sizeof(key);
    EXPECT_EQ(
        hash_memory(find_hash("sha256"), reinterpret_cast<const unsigned char*>(passPhrase.data()),
                    passPhrase.size(), key, &keyLength),
        CRYPT_OK);
    symmetric_key schedule;
    EXPECT_EQ(aes_setup(key, 32, 0, &schedule), CRYPT_OK);
    unsigned char out[16];
    EXPECT_EQ(aes_ecb_encrypt(block, out, &schedule), CRYPT_OK);
    return std::string(reinterpret_cast<char*>(out), sizeof(out));
}

TEST(ArchiveCipher, KeyStreamIsAesOfALittleEndianCounter) {
    // Zero cipher text decrypts to the key stream itself.
    const std::string keyStream = Decrypt("secret", CounterBlock() + std::string(48, '\0'));
    ASSERT_EQ(keyStream.size(), 48u);
    unsigned char counter[16];
    std::copy(kCounter, kCounter + 16, counter);
    EXPECT_EQ(keyStream.substr(0, 16), EncryptBlock("secret", counter));
    // ff ff 00 ... + 1 carries into byte 2.
    counter[0] = 0;
    counter[1] = 0;
    counter[2] = 1;
    EXPECT_EQ(keyStream.substr(16, 16), EncryptBlock("secret", counter));
    counter[0] = 1;
    EXPECT_EQ(keyStream.substr(32, 16), EncryptBlock("secret", counter));
}

// Size 0 is an archive of only the counter block, which gives an empty zip file.
TEST(ArchiveCipher, RoundTripsWhateverTheLength) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{15}, size_t{511}, size_t{512}, size_t{1024},
                        size_t{1000}, size_t{70000}}) {
        const std::string plain(size, 'p');
        const std::string archive = Encrypt("pass phrase", plain);
        ASSERT_EQ(archive.size(), plain.size() + kCounterBlockSize) << size;
        EXPECT_EQ(archive.substr(0, 16), CounterBlock());
        EXPECT_EQ(Decrypt("pass phrase", archive), plain) << size;
    }
}

TEST(ArchiveCipher, FailsOnShortOrMissingArchivesAndUnwritableOutput) {
    TempDir dir;
    WriteFile(dir / "short.aes", CounterBlock().substr(0, 15));
    WriteFile(dir / "empty.aes", "");
    WriteFile(dir / "a.aes", CounterBlock() + "data");
    const std::pair<std::string, std::string> rows[] = {
        {"short.aes", "out.zip"},
        {"empty.aes", "out.zip"},
        {"missing.aes", "out.zip"},
        {"a.aes", "no/out.zip"},
    };
    for (const auto& [archive, zip] : rows) {
        EXPECT_FALSE(DecryptArchive("x", dir / archive, dir / zip)) << archive << " " << zip;
    }
    // Broken off by a stop: the part written is no archive.
    WriteFile(dir / "big.aes", CounterBlock() + std::string(2 << 20, 'x'));
    EXPECT_FALSE(DecryptArchive("x", dir / "big.aes", dir / "cut.zip", [] { return true; }));
}

TEST(ArchiveCipher, NewArchivesGetRandomCounterBlocks) {
    TempDir dir;
    for (const char* name : {"1.aes", "2.aes"}) {
        ArchiveEncryptor encryptor;
        ASSERT_TRUE(encryptor.Open("p", dir / name) && encryptor.Write("same", 4) &&
                    encryptor.Close());
        EXPECT_EQ(Decrypt("p", ReadFile(dir / name)), "same");
    }
    EXPECT_NE(ReadFile(dir / "1.aes").substr(0, 16), ReadFile(dir / "2.aes").substr(0, 16));
    ArchiveEncryptor unwritable;
    EXPECT_FALSE(unwritable.Open("p", dir / "no" + "/" + "x.aes"));
#ifndef _WIN32
    // A full disk takes the few bytes into the buffer and fails only when they are written out.
    ArchiveEncryptor full;
    ASSERT_TRUE(full.Open("p", "/dev/full") && full.Write("same", 4));
    EXPECT_FALSE(full.Close());
#endif
}

}  // namespace
