#pragma once
// Shared pieces of the fuzz targets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace sorvik::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// A property that must hold for every input; a violation is a finding.
inline void require(bool condition) {
    if (!condition) std::abort();
}

/// A fresh folder under the system's temporary folder, removed with its content when the
/// process exits normally (keep it in a function-local static).
class TemporaryFolder {
public:
    explicit TemporaryFolder(std::string_view prefix) {
        std::string templ = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        require(::mkdtemp(templ.data()) != nullptr);
        path_ = templ;
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// Replaces a file's content without syncing it: inputs come by the thousand per second, and
/// a sync each would make the run's time depend on the disk.
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    require(fd >= 0);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        require(n > 0);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
}

}  // namespace sorvik::fuzz
