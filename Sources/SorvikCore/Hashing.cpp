#include "SorvikCore/Hashing.hpp"

#include <cerrno>
#include <openssl/evp.h>
#include <stdexcept>
#include <memory>
#include <unistd.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::hashing {

void SHA256::Free::operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }

namespace {

/// SHA-256 fetched from its provider once: EVP_sha256() looks it up again for every hash,
/// under a lock that the threads hashing small files queue on.
const EVP_MD* sha256Method() {
    static const EVP_MD* const method = [] {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        return fetched ? fetched : EVP_sha256();
    }();
    return method;
}

}  // namespace

SHA256::SHA256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), sha256Method(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

SHA256::SHA256(SHA256&&) noexcept = default;
SHA256& SHA256::operator=(SHA256&&) noexcept = default;
SHA256::~SHA256() = default;

void SHA256::update(const void* data, std::size_t size) {
    if (!context_) throw std::logic_error("SHA-256 already finished");
    if (size > 0 && EVP_DigestUpdate(context_.get(), data, size) != 1)
        throw std::runtime_error("SHA-256 update failed");
}

std::string SHA256::finishHex() {
    if (!context_) throw std::logic_error("SHA-256 already finished");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) throw std::runtime_error("SHA-256 final failed");
    context_.reset();
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(digits[digest[i] >> 4]);
        hex.push_back(digits[digest[i] & 0x0f]);
    }
    return hex;
}

std::string sha256Hex(std::string_view bytes) {
    SHA256 hash;
    hash.update(bytes);
    return hash.finishHex();
}

namespace {

/// The chunk buffer of the calling thread, made once and never zero-filled: a fresh one for
/// every file cost more than hashing a small file.
unsigned char* threadChunk() {
    thread_local const std::unique_ptr<unsigned char[]> chunk(new unsigned char[chunkSize]);
    return chunk.get();
}

}  // namespace

std::string sha256Descriptor(int fd, const std::filesystem::path& pathForErrors, std::stop_token stop) {
    SHA256 hash;
    unsigned char* const buffer = threadChunk();
    off_t offset = 0;
    for (;;) {
        if (stop.stop_requested()) throw CancellationError();
        // Fill the whole chunk unless the file ends, so every chunk but the last is 1 MiB.
        std::size_t filled = 0;
        while (filled < chunkSize) {
            const ssize_t n = ::pread(fd, buffer + filled, chunkSize - filled, offset);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw files::systemError(errno, pathForErrors, "cannot read");
            }
            if (n == 0) break;
            filled += static_cast<std::size_t>(n);
            offset += n;
        }
        if (filled == 0) break;
        hash.update(buffer, filled);
        if (filled < chunkSize) break;
    }
    return hash.finishHex();
}

std::string sha256File(const std::filesystem::path& path, std::stop_token stop) {
    files::FileDescriptor fd = files::openRegularFile(path);
    return sha256Descriptor(fd.get(), path, stop);
}

}  // namespace sorvik::hashing
