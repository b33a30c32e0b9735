#include "SorvikCore/ProjectHintFile.hpp"

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Json.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

namespace sorvik::ProjectHintFile {

std::optional<std::string> read(const std::filesystem::path& folder) {
    try {
        const std::filesystem::path file = folder / "project.json";
        struct stat info {};
        // Non-blocking, final link refused, regular files only.
        files::FileDescriptor fd = files::openRegularFile(file, true, &info);
        if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) >= sizeLimit) return std::nullopt;
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

}  // namespace sorvik::ProjectHintFile
