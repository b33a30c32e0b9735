#include "SorvikCore/ProjectHintFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Json.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

namespace sorvik::ProjectHintFile {

namespace {

std::optional<std::string> readOpen(int folder, const char* name, const std::filesystem::path& file) {
    try {
        // Non-blocking, final link refused, regular files only.
        files::FileDescriptor fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat info {};
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
        if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) >= sizeLimit) return std::nullopt;
        if (const int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        // Read at most the limit: a file that reaches it has grown since and is ignored.
        const std::string text = files::readUpTo(fd.get(), sizeLimit, file);
        if (text.size() >= sizeLimit) return std::nullopt;
        const Json document = json::parse(text);
        if (!document.is_object()) return std::nullopt;
        for (const char* key : {"projectName", "project_name", "title", "name"}) {
            const auto it = document.find(key);
            if (it == document.end() || !it->is_string()) continue;
            const std::string& value = it->get_ref<const std::string&>();
            if (ProjectMatcher::topic(value)) return value;
        }
    } catch (...) {
        // Any failure on the way gives no hint and reports nothing.
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> read(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / "project.json";
    return readOpen(AT_FDCWD, file.c_str(), file);
}

std::optional<std::string> readAt(int folder, const std::filesystem::path& shownFolder) {
    return readOpen(folder, "project.json", shownFolder / "project.json");
}

}  // namespace sorvik::ProjectHintFile
