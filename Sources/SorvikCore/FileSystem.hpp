#pragma once
// Small POSIX file helpers: owned descriptors, safe reads and atomic whole-file writes.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace sorvik::files {

/// An owned file descriptor, closed on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

/// A platform error for `path`, carrying errno and its description.
std::system_error systemError(int error, const std::filesystem::path& path, std::string_view what = {});

/// The absolute path as the kernel resolves it: for the part that exists, each link is
/// followed before the ".." after it is applied (as realpath does); the rest, which does not
/// exist, is standardized as text. No "." or ".." component and no trailing "/" remain.
std::string resolvedPath(const std::filesystem::path& path);

/// resolvedPath of the relative path below `folder`, itself a result of resolvedPath naming
/// an existing folder: only the components of `relative` are looked up.
std::string resolvedPathBelow(const std::string& folder, std::string_view relative);

/// Whether `path` is `folder` or lies inside it, both resolved as resolvedPath does.
bool isInsideOrEqual(const std::filesystem::path& path, const std::filesystem::path& folder);

/// Whether anything, a dangling link included, stands at the path (lstat).
bool itemExists(const std::filesystem::path& path);
/// lstat of the path, or nothing when no item stands there.
std::optional<struct stat> linkStatus(const std::filesystem::path& path);

/// statx of `name` below `folder` (AT_FDCWD: a path), a final link not followed, asking for the
/// basic attributes and the birth time; 0, or -1 with errno set.
int statusAt(int folder, const char* name, struct statx& info, int flags = 0);

/// Opens an existing regular file for reading without blocking on FIFOs or devices.
/// With noFollow a final symbolic link is refused (ELOOP). Throws std::system_error.
FileDescriptor openRegularFile(const std::filesystem::path& path, bool noFollow = false, struct stat* info = nullptr);

/// Reads at most maxBytes from an open descriptor, from its current offset, into a string
/// given expectedCapacity at once (the file's size and what the caller needs past it).
std::string readUpTo(int fd, std::uint64_t maxBytes, const std::filesystem::path& pathForErrors,
                     std::size_t expectedCapacity = 0);

/// Maps the pages of a large buffer not yet written in one call rather than one fault at a
/// time (Linux 5.14 and later; elsewhere they are mapped as they are first written).
void prefault(char* data, std::size_t size);
/// The same, ending early once `stop` is requested.
void prefault(char* data, std::size_t size, const std::stop_token& stop);

/// Whether a file name is one that writeFileAtomically uses for its temporary file.
bool isTemporaryFileName(std::string_view name);

/// Writes the bytes to a temporary ".sorvik-" file beside `path`, syncs it, renames it over
/// `path` and syncs the folder. The temporary file is removed on failure.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

/// writeFileAtomically for the entry `name` of the open folder `folder`; `shownPath` only
/// names the file in errors. Never follows a link in place of the temporary file. `written`
/// receives the status of the file written.
void writeFileAtomicallyAt(int folder, const std::string& name, std::string_view bytes,
                           const std::filesystem::path& shownPath, struct stat* written = nullptr);

/// Writes all bytes to the descriptor. Throws std::system_error naming `shownPath`.
void writeAll(int fd, std::string_view bytes, const std::filesystem::path& shownPath);

}  // namespace sorvik::files
