#include "SorvikCore/FolderDescriptors.hpp"

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace sorvik::files {

namespace fs = std::filesystem;

Identity identityOf(const struct stat& info) { return Identity{info.st_dev, info.st_ino}; }

Identity identityOf(int fd, const fs::path& shownPath) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw systemError(errno, shownPath, "cannot read");
    return identityOf(info);
}

std::optional<Identity> entryIdentity(int folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return identityOf(info);
}

FileDescriptor openWithoutLinks(const std::string& path) {
    open_how how{};
    how.flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) fd = ::open(path.c_str(), static_cast<int>(how.flags));
    return FileDescriptor(static_cast<int>(fd));
}

namespace {

std::atomic<BeforeOpenBeneath> beforeOpenBeneath{nullptr};
std::atomic<bool> withoutOpenat2{false};

/// Whether every component of `relative` is a name.
bool onlyNames(std::string_view relative) {
    if (relative.empty()) return true;
    for (;;) {
        const auto slash = relative.find('/');
        const std::string_view name = relative.substr(0, slash);
        if (name.empty() || name == "." || name == "..") return false;
        if (slash == std::string_view::npos) return true;
        relative.remove_prefix(slash + 1);
    }
}

}  // namespace

void setBeforeOpenBeneath(BeforeOpenBeneath hook) noexcept { beforeOpenBeneath.store(hook); }

FileDescriptor openBeneathByName(int folder, std::string_view relative, int flags) {
    if (!onlyNames(relative)) {
        errno = EXDEV;
        return {};
    }
    if (relative.empty()) return FileDescriptor(::openat(folder, ".", flags | O_CLOEXEC));
    FileDescriptor current;
    int at = folder;
    for (;;) {
        const auto slash = relative.find('/');
        const std::string name(relative.substr(0, slash));
        if (slash == std::string_view::npos)
            return FileDescriptor(::openat(at, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC));
        // Search permission is all a folder on the way needs.
        FileDescriptor next(::openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            // A link on the way is ELOOP, as openat2 says it.
            struct stat info {};
            if (errno == ENOTDIR && ::fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(info.st_mode))
                errno = ELOOP;
            return {};
        }
        current = std::move(next);
        at = current.get();
        relative.remove_prefix(slash + 1);
    }
}

FileDescriptor openBeneath(int folder, std::string_view relative, int flags) {
    if (const BeforeOpenBeneath hook = beforeOpenBeneath.load()) hook(relative);
    if (!onlyNames(relative)) {
        errno = EXDEV;
        return {};
    }
    if (relative.empty()) return FileDescriptor(::openat(folder, ".", flags | O_CLOEXEC));
    if (!withoutOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const std::string path(relative);
        const long fd = ::syscall(SYS_openat2, folder, path.c_str(), &how, sizeof how);
        if (fd >= 0) return FileDescriptor(static_cast<int>(fd));
        // Without openat2, or refused by a syscall filter: the names one at a time.
        if (errno != ENOSYS && errno != EPERM) return {};
        if (errno == ENOSYS) withoutOpenat2.store(true, std::memory_order_relaxed);
    }
    return openBeneathByName(folder, relative, flags);
}

FileDescriptor openFolder(const fs::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) throw systemError(errno, path, "cannot open");
    return fd;
}

FileDescriptor openFolderAt(int folder, const std::string& name, const fs::path& shownPath, bool create) {
    if (create && ::mkdirat(folder, name.c_str(), 0755) != 0 && errno != EEXIST)
        throw systemError(errno, shownPath, "cannot create");
    FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) throw systemError(errno, shownPath, "cannot open");
    return fd;
}

FileDescriptor createFileAt(int folder, const std::string& name, const fs::path& shownPath) {
    FileDescriptor fd(::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) throw systemError(errno, shownPath, "cannot create");
    return fd;
}

void moveNoReplaceAt(int fromFolder, const std::string& from, int toFolder, const std::string& to,
                     const fs::path& shownPath) {
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0) return;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS) throw systemError(error, shownPath, "cannot move into place");
    if (::linkat(fromFolder, from.c_str(), toFolder, to.c_str(), 0) != 0)
        throw systemError(errno, shownPath, "cannot move into place");
    ::unlinkat(fromFolder, from.c_str(), 0);
}

void removeContents(int folder) noexcept {
    const int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(copy), ::closedir);
    if (!dir) {
        ::close(copy);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    for (const std::string& name : names) {
        if (::unlinkat(folder, name.c_str(), 0) == 0) continue;
        const int child = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) continue;
        removeContents(child);
        ::close(child);
        ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
    }
}

void removeFolderAt(int parent, const std::string& name, int opened) noexcept {
    removeContents(opened);
    struct stat own {};
    if (::fstat(opened, &own) != 0) return;
    const auto there = entryIdentity(parent, name);
    if (there && *there == identityOf(own)) ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

bool folderWithin(int folder, int ancestor) {
    struct stat target {};
    if (::fstat(ancestor, &target) != 0) return false;
    return folderWithin(folder, identityOf(target));
}

bool folderWithin(int folder, const Identity& target) {
    FileDescriptor current(::openat(folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    // Deeper than any path the kernel accepts: a folder moved under itself cannot loop here.
    for (int depth = 0; current && depth < 4096; ++depth) {
        struct stat here {};
        if (::fstat(current.get(), &here) != 0) return false;
        if (identityOf(here) == target) return true;
        FileDescriptor parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (!parent || ::fstat(parent.get(), &above) != 0) return false;
        if (identityOf(above) == identityOf(here)) return false;  // the root
        current = std::move(parent);
    }
    return false;
}

}  // namespace sorvik::files
