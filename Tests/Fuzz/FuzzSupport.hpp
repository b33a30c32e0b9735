#pragma once
// Shared pieces of the fuzz targets.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace sorvik::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// A property that must hold for every input; a violation is a finding.
inline void require(bool condition, const char* what = nullptr) {
    if (condition) return;
    if (what) std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

/// Runs one of the harness's own checks of what the code under test returned. An exception
/// from the check is caught and reported as the finding it is, with its message.
template <typename Check>
void check(const char* what, Check&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s threw: %s\n", what, e.what());
        std::abort();
    } catch (...) {
        std::fprintf(stderr, "%s threw an exception of no standard type\n", what);
        std::abort();
    }
}

/// A fresh folder under the temporary folder, removed with its content when the run ends.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const char* prefix) {
        std::string templ = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        require(::mkdtemp(templ.data()) != nullptr, "making a temporary folder");
        path_ = templ;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// Writes an input into a file with plain writes: nothing is flushed to the disk, which per
/// input would make runs time out under load, and nothing here must survive a crash.
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    require(!out.fail(), "writing an input file");
}

}  // namespace sorvik::fuzz
