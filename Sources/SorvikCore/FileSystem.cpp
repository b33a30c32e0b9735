#include "SorvikCore/FileSystem.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "SorvikCore/Identifier.hpp"

namespace sorvik::files {

namespace fs = std::filesystem;

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

std::system_error systemError(int error, const fs::path& path, std::string_view what) {
    std::string message = "\"" + path.string() + "\"";
    if (!what.empty()) message = std::string(what) + " " + message;
    return std::system_error(error, std::generic_category(), message);
}

std::optional<struct stat> linkStatus(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return st;
}

namespace {

/// The components of a path, in order; empty ones included.
void pushComponents(std::vector<std::string>& stack, std::string_view path) {
    // The stack holds the components still to visit, the next one last.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        parts.emplace_back(path.substr(start, end - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) stack.push_back(std::move(*it));
}

void removeLastComponent(std::string& path) {
    const auto slash = path.rfind('/');
    path.erase(slash == 0 || slash == std::string::npos ? 1 : slash);
}

/// Walks the components in `pending` (the next one last) from `resolved`, an existing folder
/// reached without any link, as the kernel would.
std::string walk(std::string resolved, std::vector<std::string> pending) {
    // Links the kernel follows in one lookup before it gives up with ELOOP.
    constexpr int maxLinks = 40;
    // While true, `resolved` names an existing folder reached without any link in its path,
    // so its ".." is its parent as text.
    bool existing = true;
    int links = 0;
    while (!pending.empty()) {
        const std::string part = std::move(pending.back());
        pending.pop_back();
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            removeLastComponent(resolved);
            continue;
        }
        std::string next = resolved == "/" ? "/" + part : resolved + "/" + part;
        if (existing) {
            struct stat st {};
            if (::lstat(next.c_str(), &st) != 0) {
                existing = false;
            } else if (S_ISLNK(st.st_mode)) {
                std::string target(4096, '\0');
                const ssize_t n = ++links > maxLinks ? -1 : ::readlink(next.c_str(), target.data(), target.size());
                if (n > 0 && static_cast<std::size_t>(n) < target.size()) {
                    target.resize(static_cast<std::size_t>(n));
                    if (target.starts_with('/')) resolved = "/";
                    pushComponents(pending, target);
                    continue;
                }
                existing = false;  // a loop, or a link that changed while it was read
            } else if (!S_ISDIR(st.st_mode)) {
                existing = false;  // nothing can lie below a file
            }
        }
        resolved = std::move(next);
    }
    return resolved;
}

}  // namespace

std::string resolvedPath(const fs::path& p) {
    std::vector<std::string> pending;
    pushComponents(pending, p.is_absolute() ? p.string() : fs::absolute(p).string());
    return walk("/", std::move(pending));
}

std::string resolvedPathBelow(const std::string& folder, std::string_view relative) {
    std::vector<std::string> pending;
    pushComponents(pending, relative);
    return walk(folder, std::move(pending));
}

bool isInsideOrEqual(const fs::path& path, const fs::path& folder) {
    const std::string base = resolvedPath(folder);
    const std::string candidate = resolvedPath(path);
    if (candidate == base || base == "/") return true;
    return candidate.size() > base.size() && candidate.starts_with(base) && candidate[base.size()] == '/';
}

bool itemExists(const fs::path& path) { return linkStatus(path).has_value(); }

int statusAt(int folder, const char* name, struct statx& info, int flags) {
    return ::statx(folder, name, AT_SYMLINK_NOFOLLOW | flags, STATX_BASIC_STATS | STATX_BTIME, &info);
}

FileDescriptor openRegularFile(const fs::path& path, bool noFollow, struct stat* info) {
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (noFollow) flags |= O_NOFOLLOW;
    FileDescriptor fd(::open(path.c_str(), flags));
    if (!fd) throw systemError(errno, path, "cannot open");
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw systemError(errno, path, "cannot read");
    if (!S_ISREG(st.st_mode)) throw systemError(EINVAL, path, "not a regular file:");
    // Regular files never block; clear the flag so reads behave normally.
    int current = ::fcntl(fd.get(), F_GETFL);
    if (current >= 0) ::fcntl(fd.get(), F_SETFL, current & ~O_NONBLOCK);
    if (info) *info = st;
    return fd;
}

std::string readUpTo(int fd, std::uint64_t maxBytes, const fs::path& pathForErrors, std::size_t expectedCapacity) {
    std::string out;
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(expectedCapacity, maxBytes)));
    char buffer[1 << 16];
    while (out.size() < maxBytes) {
        const std::uint64_t want = std::min<std::uint64_t>(sizeof buffer, maxBytes - out.size());
        const ssize_t n = ::read(fd, buffer, static_cast<std::size_t>(want));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw systemError(errno, pathForErrors, "cannot read");
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

void prefault(char* data, std::size_t size) { prefault(data, size, {}); }

void prefault([[maybe_unused]] char* data, [[maybe_unused]] std::size_t size,
              [[maybe_unused]] const std::stop_token& stop) {
#ifdef MADV_POPULATE_WRITE
    if (size < (1u << 20)) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    // In steps, so that a stop is seen within milliseconds.
    constexpr std::uintptr_t step = std::uintptr_t{16} << 20;
    for (std::uintptr_t at = from; at < to && !stop.stop_requested(); at += step)
        ::madvise(reinterpret_cast<void*>(at), std::min(step, to - at), MADV_POPULATE_WRITE);
#endif
}

void writeAll(int fd, std::string_view bytes, const fs::path& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw systemError(errno, path, "cannot write");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool isTemporaryFileName(std::string_view name) {
    constexpr std::string_view prefix = ".sorvik-", suffix = ".tmp";
    return name.size() == prefix.size() + 36 + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix) &&
           UUID::parse(name.substr(prefix.size(), 36)).has_value();
}

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) throw systemError(errno, folder, "cannot open");
    writeFileAtomicallyAt(dir.get(), path.filename().string(), bytes, path);
}

void writeFileAtomicallyAt(int folder, const std::string& name, std::string_view bytes, const fs::path& shownPath,
                           struct stat* written) {
    const std::string temp = ".sorvik-" + UUID::make().string() + ".tmp";
    const fs::path shownTemp = shownPath.parent_path() / temp;
    FileDescriptor fd(::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) throw systemError(errno, shownTemp, "cannot create");
    try {
        writeAll(fd.get(), bytes, shownTemp);
        if (::fsync(fd.get()) != 0) throw systemError(errno, shownTemp, "cannot sync");
        if (written && ::fstat(fd.get(), written) != 0) throw systemError(errno, shownTemp, "cannot read");
        if (::close(fd.release()) != 0) throw systemError(errno, shownTemp, "cannot close");
        if (::renameat(folder, temp.c_str(), folder, name.c_str()) != 0)
            throw systemError(errno, shownPath, "cannot replace");
    } catch (...) {
        ::unlinkat(folder, temp.c_str(), 0);
        throw;
    }
    ::fsync(folder);
}

}  // namespace sorvik::files
