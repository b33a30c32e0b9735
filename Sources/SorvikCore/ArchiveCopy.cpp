#include "SorvikCore/ArchiveCopy.hpp"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "SorvikCore/FileSystem.hpp"

namespace sorvik::ArchiveCopy {

namespace fs = std::filesystem;

namespace {

void writeAll(int fd, const char* data, std::size_t size, const fs::path& path) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw files::systemError(errno, path, "cannot write");
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void readWriteLoop(int in, int out, const fs::path& source, const fs::path& destination) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw files::systemError(errno, source, "cannot read");
        }
        if (n == 0) return;
        writeAll(out, buffer.data(), static_cast<std::size_t>(n), destination);
    }
}

/// Copies everything from the start of `in` to the empty `out`.
void copyContent(int in, int out, const fs::path& source, const fs::path& destination) {
    if (::ioctl(out, FICLONE, in) == 0) return;
    // copy_file_range until it reports the end; any refusal before the first byte falls back
    // to plain reads and writes (other file systems, kernels, special mounts).
    bool copiedAny = false;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n > 0) {
            copiedAny = true;
            continue;
        }
        if (n == 0) return;
        if (errno == EINTR) continue;
        if (!copiedAny && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                           errno == EPERM || errno == EBADF)) {
            break;
        }
        throw files::systemError(errno, destination, "cannot copy to");
    }
    readWriteLoop(in, out, source, destination);
}

}  // namespace

struct stat copyFile(const fs::path& source, const fs::path& destination, bool keepModificationTime,
                     std::optional<struct timespec> modificationTime) {
    struct stat info {};
    files::FileDescriptor in = files::openRegularFile(source, true, &info);
    files::FileDescriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                     (info.st_mode & 0777) | 0600));
    if (!out) throw files::systemError(errno, destination, "cannot create");
    try {
        copyContent(in.get(), out.get(), source, destination);
        if (keepModificationTime) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, modificationTime.value_or(info.st_mtim)};
            if (::futimens(out.get(), times) != 0) throw files::systemError(errno, destination, "cannot stamp");
        }
        if (::close(out.release()) != 0) throw files::systemError(errno, destination, "cannot close");
    } catch (...) {
        out = files::FileDescriptor();
        ::unlink(destination.c_str());
        throw;
    }
    return info;
}

void moveNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS) throw files::systemError(errno, to, "cannot move to");
    // No RENAME_NOREPLACE here: a hard link fails just the same when the name is taken.
    if (::link(from.c_str(), to.c_str()) != 0) throw files::systemError(errno, to, "cannot move to");
    ::unlink(from.c_str());
}

void setModificationTime(const fs::path& path, const struct timespec& time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, time};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw files::systemError(errno, path, "cannot stamp");
}

}  // namespace sorvik::ArchiveCopy
