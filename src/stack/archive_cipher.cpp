#include "stack/archive_cipher.h"

#include <tomcrypt.h>

#include <mutex>
#include <vector>

#include "sys/files.h"

namespace {

constexpr size_t kChunkSize = 512;
constexpr size_t kChunksBetweenCancelChecks = 2048;  // a mebibyte
constexpr size_t kStreamBuffer = 64 * 1024;

// The library's descriptor tables are process-wide and unguarded; the first user fills them.
bool RegisterAlgorithms() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    register_cipher(&aes_desc);
    if (register_hash(&sha256_desc) == -1) {
        return false;
    }
    return register_prng(&yarrow_desc) != -1 && register_prng(&sprng_desc) != -1;
}

// Keys a counter-mode cipher from the pass phrase and a counter block.
bool StartCounterMode(const std::string& passPhrase, const unsigned char* counterBlock,
                      symmetric_CTR* ctr) {
    const int cipher = find_cipher("aes");
    const int hash = find_hash("sha256");
    if (cipher == -1 || hash == -1) {
        return false;
    }
    int keySize = static_cast<int>(hash_descriptor[hash].hashsize);
    if (cipher_descriptor[cipher].keysize(&keySize) != CRYPT_OK ||
        keySize != static_cast<int>(hash_descriptor[hash].hashsize)) {
        return false;
    }
    unsigned char key[128];
    unsigned long keyLength = sizeof(key);
    if (hash_memory(hash, reinterpret_cast<const unsigned char*>(passPhrase.data()),
                    passPhrase.size(), key, &keyLength) != CRYPT_OK) {
        return false;
    }
    const int result =
        ctr_start(cipher, counterBlock, key, keySize, 0, CTR_COUNTER_LITTLE_ENDIAN, ctr);
    zeromem(key, sizeof(key));
    return result == CRYPT_OK;
}

}  // namespace

bool DecryptArchive(const std::string& passPhrase, const std::string& archivePath,
                    const std::string& zipPath, const CancelCheck& cancelled) {
    if (!RegisterAlgorithms()) {
        return false;
    }
    // Declared before the streams, so that the streams are closed before their buffers go.
    std::vector<char> inBuffer(kStreamBuffer), outBuffer(kStreamBuffer);
    UniqueFile archive = OpenFile(archivePath, "rb");
    UniqueFile zip = CreatePrivateFile(zipPath);
    if (!archive || !zip) {
        return false;
    }
    std::setvbuf(archive.get(), inBuffer.data(), _IOFBF, inBuffer.size());
    std::setvbuf(zip.get(), outBuffer.data(), _IOFBF, outBuffer.size());

    unsigned char counterBlock[kCounterBlockSize];
    if (std::fread(counterBlock, 1, sizeof(counterBlock), archive.get()) != sizeof(counterBlock)) {
        return false;
    }
    symmetric_CTR ctr;
    if (!StartCounterMode(passPhrase, counterBlock, &ctr)) {
        return false;
    }
    bool ok = true;
    unsigned char chunk[kChunkSize];
    for (size_t count = 1;; ++count) {
        if (count % kChunksBetweenCancelChecks == 0 && cancelled && cancelled()) {
            ok = false;
            break;
        }
        const size_t got = std::fread(chunk, 1, sizeof(chunk), archive.get());
        if (got > 0) {
            if (ctr_decrypt(chunk, chunk, got, &ctr) != CRYPT_OK ||
                std::fwrite(chunk, 1, got, zip.get()) != got) {
                ok = false;
                break;
            }
        }
        if (got < sizeof(chunk)) {
            break;
        }
    }
    ctr_done(&ctr);
    zeromem(&ctr, sizeof(ctr));
    const bool closed = std::fclose(zip.release()) == 0;
    return ok && closed;
}

struct ArchiveEncryptor::State {
    // The stream's buffer outlives the stream, which is closed first.
    std::vector<char> buffer = std::vector<char>(kStreamBuffer);
    UniqueFile file;
    symmetric_CTR ctr{};
    bool keyed = false;
    bool ok = true;
};

ArchiveEncryptor::ArchiveEncryptor() = default;

ArchiveEncryptor::~ArchiveEncryptor() {
    Close();
}

bool ArchiveEncryptor::Open(const std::string& passPhrase, const std::string& path) {
    if (!RegisterAlgorithms()) {
        return false;
    }
    unsigned char counterBlock[kCounterBlockSize];
    if (rng_get_bytes(counterBlock, sizeof(counterBlock), nullptr) != sizeof(counterBlock)) {
        return false;
    }
    return Open(passPhrase, path, counterBlock);
}

bool ArchiveEncryptor::Open(const std::string& passPhrase, const std::string& path,
                            const unsigned char* counterBlock) {
    Close();
    if (!RegisterAlgorithms()) {
        return false;
    }
    auto state = std::make_unique<State>();
    state->file = OpenFile(path, "wb");
    if (!state->file) {
        return false;
    }
    std::setvbuf(state->file.get(), state->buffer.data(), _IOFBF, state->buffer.size());
    if (!StartCounterMode(passPhrase, counterBlock, &state->ctr)) {
        return false;
    }
    state->keyed = true;
    state_ = std::move(state);
    return std::fwrite(counterBlock, 1, kCounterBlockSize, state_->file.get()) == kCounterBlockSize;
}

bool ArchiveEncryptor::Write(const void* data, size_t size) {
    if (!state_ || !state_->ok) {
        return false;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    unsigned char chunk[kChunkSize];
    while (size > 0) {
        const size_t n = size < sizeof(chunk) ? size : sizeof(chunk);
        if (ctr_encrypt(in, chunk, n, &state_->ctr) != CRYPT_OK ||
            std::fwrite(chunk, 1, n, state_->file.get()) != n) {
            state_->ok = false;
            return false;
        }
        in += n;
        size -= n;
    }
    return true;
}

bool ArchiveEncryptor::Close() {
    if (!state_) {
        return false;
    }
    bool ok = state_->ok;
    if (state_->keyed) {
        ctr_done(&state_->ctr);
        zeromem(&state_->ctr, sizeof(state_->ctr));
    }
    if (std::fclose(state_->file.release()) != 0) {
        ok = false;
    }
    state_.reset();
    return ok;
}
