#include "SorvikCore/FolderIndexer.hpp"

#include <sys/stat.h>

namespace sorvik::FolderIndexer {

std::optional<std::string> identity(const std::filesystem::path& path) noexcept {
    try {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
        return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
               std::to_string(static_cast<unsigned long long>(st.st_ino));
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace sorvik::FolderIndexer
