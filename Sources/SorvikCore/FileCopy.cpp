#include "SorvikCore/FileCopy.hpp"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::files {

namespace fs = std::filesystem;

namespace {

/// Errors after which the next, more general copying method is tried.
bool unsupported(int error) {
    return error == EOPNOTSUPP || error == ENOTSUP || error == EXDEV || error == EINVAL || error == ENOSYS ||
           error == ENOTTY || error == EBADF || error == EPERM || error == ETXTBSY;
}

/// Copies with copy_file_range until the end of the source, in chunks small enough to notice
/// a stop request soon. False when the call is not supported before anything was copied.
bool copyRange(int in, int out, const fs::path& destination, const std::stop_token& stop) {
    loff_t inOffset = 0, outOffset = 0;
    bool copied = false;
    for (;;) {
        if (stop.stop_requested()) throw CancellationError();
        const ssize_t n = ::copy_file_range(in, &inOffset, out, &outOffset, std::size_t{64} << 20, 0);
        if (n > 0) {
            copied = true;
            continue;
        }
        if (n == 0) return true;
        if (errno == EINTR) continue;
        if (!copied && unsupported(errno)) return false;
        throw systemError(errno, destination, "cannot copy to");
    }
}

void copyReadWrite(int in, int out, const fs::path& destination, const std::stop_token& stop) {
    constexpr std::size_t size = std::size_t{1} << 20;
    const auto buffer = std::make_unique<char[]>(size);
    off_t offset = 0;
    for (;;) {
        if (stop.stop_requested()) throw CancellationError();
        const ssize_t n = ::pread(in, buffer.get(), size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw systemError(errno, destination, "cannot read the source of");
        }
        if (n == 0) return;
        offset += n;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.get() + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                throw systemError(errno, destination, "cannot write");
            }
            done += w;
        }
    }
}

}  // namespace

CopyMethod copyContentInto(int sourceFd, int outFd, const fs::path& shownPath, std::stop_token stop) {
    if (stop.stop_requested()) throw CancellationError();
    if (::ioctl(outFd, FICLONE, sourceFd) == 0) return CopyMethod::clone;
    if (!unsupported(errno)) throw systemError(errno, shownPath, "cannot clone to");
    if (copyRange(sourceFd, outFd, shownPath, stop)) return CopyMethod::copyFileRange;
    if (::ftruncate(outFd, 0) != 0) throw systemError(errno, shownPath, "cannot truncate");
    copyReadWrite(sourceFd, outFd, shownPath, stop);
    return CopyMethod::readWrite;
}

CopyMethod copyContent(int sourceFd, const fs::path& destination) {
    FileDescriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!out) throw systemError(errno, destination, "cannot create");
    try {
        const CopyMethod method = copyContentInto(sourceFd, out.get(), destination);
        if (::close(out.release()) != 0) throw systemError(errno, destination, "cannot close");
        return method;
    } catch (...) {
        ::unlink(destination.c_str());
        throw;
    }
}

CopyMethod copyFile(const fs::path& source, const fs::path& destination) {
    const FileDescriptor in = openRegularFile(source);
    return copyContent(in.get(), destination);
}

void moveNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        throw systemError(errno, to, "cannot move into place");
}

}  // namespace sorvik::files
