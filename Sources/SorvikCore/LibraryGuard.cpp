#include "SorvikCore/LibraryGuard.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace sorvik {

namespace fs = std::filesystem;

FileStamp FileStamp::of(const struct stat& status) {
    return {true, static_cast<std::int64_t>(status.st_dev), static_cast<std::int64_t>(status.st_ino),
            static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

LibraryGuard::LibraryGuard(int folder, fs::path root)
    : root_(std::move(root)), folder_(::fcntl(folder, F_DUPFD_CLOEXEC, 0)) {
    if (!folder_) throw files::systemError(errno, root_, "cannot open");
    struct stat status {};
    if (::fstat(folder_.get(), &status) != 0) throw files::systemError(errno, root_, "cannot read");
    device_ = status.st_dev;
    inode_ = status.st_ino;
}

std::shared_ptr<LibraryGuard> LibraryGuard::open(const fs::path& root) {
    const files::FileDescriptor folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) throw files::systemError(errno, root, "cannot open");
    return std::make_shared<LibraryGuard>(folder.get(), root);
}

FileStamp LibraryGuard::stamp(const std::string& name) const {
    struct stat status {};
    if (::fstatat(folder_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return FileStamp::of(status);
    if (errno == ENOENT) return {};
    throw files::systemError(errno, root_ / name, "cannot read");
}

std::uint64_t LibraryGuard::accept(const std::vector<std::pair<std::string, FileStamp>>& files) {
    std::lock_guard lock(mutex_);
    for (const auto& [name, stamp] : files) known_[name] = stamp;
    return ++epoch_;
}

std::uint64_t LibraryGuard::epoch() const {
    std::lock_guard lock(mutex_);
    return epoch_;
}

void LibraryGuard::checkFolder() const {
    struct stat status {};
    const int result = ::stat(root_.c_str(), &status);
    if (result == 0 && status.st_dev == device_ && status.st_ino == inode_) return;
    // Another error than the folder being away (a disk that fails to answer) is a failed save.
    if (result != 0 && errno != ENOENT && errno != ENOTDIR) throw files::systemError(errno, root_, "cannot read");
    throw LibraryFolderReplacedError(
        "资料库文件夹“" + root_.string() +
        "”已被移走或替换，可能另有程序在使用它。为免覆盖其中的内容，本次不再写入这个资料库，"
        "之后的更改不会保存。");
}

void LibraryGuard::replace(const std::string& name, std::string_view bytes, std::uint64_t epoch) {
    checkFolder();
    bool current = false;
    std::optional<FileStamp> known;
    {
        std::lock_guard lock(mutex_);
        current = epoch == epoch_;
        if (const auto it = known_.find(name); it != known_.end()) known = it->second;
    }
    if (!current || (known && stamp(name) != *known)) {
        throw LibraryFileChangedError("“" + name + "”已被其他程序更改，没有覆盖它。", name, epoch);
    }
    struct stat written {};
    files::writeFileAtomicallyAt(folder_.get(), name, bytes, root_ / name, &written);
    std::lock_guard lock(mutex_);
    known_[name] = FileStamp::of(written);
}

void LibraryGuard::removeStaleTemporaries() const {
    const int copy = ::fcntl(folder_.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (!files::isTemporaryFileName(entry->d_name)) continue;
        struct stat status {};
        if (::fstatat(folder_.get(), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            ::unlinkat(folder_.get(), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace sorvik
