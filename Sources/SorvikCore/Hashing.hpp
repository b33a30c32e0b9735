#pragma once
// Streamed SHA-256 on OpenSSL EVP.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace sorvik::hashing {

/// Files are read and hashed in chunks of this many bytes, so memory stays flat.
inline constexpr std::size_t chunkSize = 1 << 20;

/// An incremental SHA-256 computation.
class SHA256 {
public:
    SHA256();
    SHA256(SHA256&&) noexcept;
    SHA256& operator=(SHA256&&) noexcept;
    ~SHA256();

    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    /// The digest as 64 lower-case hexadecimal digits. The object cannot be updated afterwards.
    std::string finishHex();

private:
    struct Free {
        void operator()(EVP_MD_CTX* context) const;
    };
    std::unique_ptr<EVP_MD_CTX, Free> context_;
};

/// SHA-256 of a byte buffer, as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

/// SHA-256 of the whole content of the regular file at `path` (links followed). FIFOs and
/// devices are refused without blocking. Throws std::system_error; CancellationError when
/// `stop` is requested between chunks.
std::string sha256File(const std::filesystem::path& path, std::stop_token stop = {});

/// SHA-256 of the whole content of an open file, read from offset 0 with pread: the
/// descriptor's own offset is left where it was. `pathForErrors` only names the file in errors.
std::string sha256Descriptor(int fd, const std::filesystem::path& pathForErrors, std::stop_token stop = {});

}  // namespace sorvik::hashing
