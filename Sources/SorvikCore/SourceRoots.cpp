#include "SorvikCore/SourceRoots.hpp"

#include <string_view>
#include <sys/stat.h>

#include "SorvikCore/FolderDescriptors.hpp"

namespace sorvik::files {

std::vector<SourceRoot> openSourceRoots(const std::vector<std::filesystem::path>& folders) {
    std::vector<SourceRoot> roots;
    for (const std::filesystem::path& folder : folders) {
        try {
            std::string path = resolvedPath(folder);
            // Resolved: a link in its way since is refused.
            FileDescriptor fd = openWithoutLinks(path);
            struct stat info {};
            if (fd && ::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode))
                roots.push_back({std::move(path), std::move(fd)});
        } catch (const std::exception&) {
            // A folder that cannot be resolved holds no original to open below it.
        }
    }
    return roots;
}

const SourceRoot* sourceRootOf(const std::vector<SourceRoot>& roots, const std::string& path, std::string& relative) {
    const SourceRoot* found = nullptr;
    for (const SourceRoot& root : roots) {
        const std::string_view folder = root.path == "/" ? std::string_view() : std::string_view(root.path);
        if (path.size() <= folder.size() + 1 || !path.starts_with(folder) || path[folder.size()] != '/') continue;
        if (found && found->path.size() >= root.path.size()) continue;
        found = &root;
        relative = path.substr(folder.size() + 1);
    }
    return found;
}

}  // namespace sorvik::files
