// File identities that name one file over its lifetime.
//
// Device and inode number alone do not: ext4 and most Linux file systems give a freed inode
// number to the next file created, often at once, so a file saved just after another was
// deleted would take over the deleted file's record. The inode's birth time (or, where none is
// kept, its generation, which the file system changes when it reuses the number) tells the two
// apart.
#include "SorvikCore/FolderIndexer.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdexcept>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include "SorvikCore/AbandonableWork.hpp"
#include "SorvikCore/FileSystem.hpp"

namespace sorvik::FolderIndexer {

namespace {

std::uint64_t deviceOf(const struct statx& info) { return ::makedev(info.stx_dev_major, info.stx_dev_minor); }

/// An identity's text, written into a buffer that holds the longest; every write checks its room.
class IdentityText {
public:
    template <typename Number>
    IdentityText& number(Number value) {
        const auto [end, error] = std::to_chars(text_.data() + size_, text_.data() + text_.size(), value);
        if (error != std::errc()) throw std::length_error("file identity text too long");
        size_ = static_cast<std::size_t>(end - text_.data());
        return *this;
    }
    IdentityText& append(std::string_view part) {
        if (part.size() > text_.size() - size_) throw std::length_error("file identity text too long");
        std::copy(part.begin(), part.end(), text_.begin() + static_cast<std::ptrdiff_t>(size_));
        size_ += part.size();
        return *this;
    }
    std::string str() const { return std::string(text_.data(), size_); }

private:
    std::array<char, 96> text_{};
    std::size_t size_ = 0;
};

/// "<device>:<inode>:", then `kind`.
IdentityText numbers(const struct statx& info, std::string_view kind) {
    IdentityText text;
    text.number(deviceOf(info)).append(":").number(static_cast<unsigned long long>(info.stx_ino)).append(":");
    text.append(kind);
    return text;
}

bool hasBirth(const struct statx& info) { return (info.stx_mask & STATX_BTIME) != 0; }

std::string withBirth(const struct statx& info) {
    IdentityText text = numbers(info, "b");
    text.number(static_cast<long long>(info.stx_btime.tv_sec)).append(".");
    // Nanoseconds in nine digits, so the text reads as a decimal fraction.
    std::array<char, 9> digits{};
    unsigned rest = info.stx_btime.tv_nsec % 1000000000u;
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, rest /= 10)
        *digit = static_cast<char>('0' + rest % 10);
    return text.append(std::string_view(digits.data(), digits.size())).str();
}

enum class Generation { found, none, unsupported };

/// The generation of the open file `fd`, which must be the item `info` describes.
Generation generationOf(int fd, const struct statx& info, unsigned& generation) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_dev != deviceOf(info) || st.st_ino != info.stx_ino) return Generation::none;
    // The kernel writes an int whatever the request's declared size.
    unsigned value = 0;
    if (::ioctl(fd, FS_IOC_GETVERSION, &value) != 0)
        return errno == ENOTTY || errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS ? Generation::unsupported
                                                                                            : Generation::none;
    generation = value;
    return Generation::found;
}

std::string withGeneration(const struct statx& info, unsigned generation) {
    return numbers(info, "g").number(generation).str();
}

}  // namespace

std::optional<std::string> IdentityReader::operator()(const struct statx& info, const std::string& path) {
    return (*this)(info, AT_FDCWD, path);
}

std::optional<std::string> IdentityReader::operator()(const struct statx& info, int folder, const std::string& name) {
    if (hasBirth(info)) return withBirth(info);
    // Only a regular file is opened: opening a device can act on it.
    const std::uint64_t device = deviceOf(info);
    if (!S_ISREG(info.stx_mode) ||
        std::find(withoutGeneration_.begin(), withoutGeneration_.end(), device) != withoutGeneration_.end())
        return std::nullopt;
    // On FUSE or a network an open may never return (a placeholder that never downloads).
    if (std::find(localDisks_.begin(), localDisks_.end(), device) == localDisks_.end()) {
        if (!abandonable::isLocalDisk(device)) {
            withoutGeneration_.push_back(device);
            return std::nullopt;
        }
        localDisks_.push_back(device);
    }
    files::FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    unsigned generation = 0;
    switch (generationOf(fd.get(), info, generation)) {
        case Generation::found: return withGeneration(info, generation);
        case Generation::unsupported: withoutGeneration_.push_back(device); return std::nullopt;
        case Generation::none: return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> identity(const std::filesystem::path& path) noexcept {
    try {
        struct statx info {};
        if (files::statusAt(AT_FDCWD, path.c_str(), info) != 0) return std::nullopt;
        return IdentityReader()(info, path.string());
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> identity(int fd) noexcept {
    try {
        struct statx info {};
        if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return std::nullopt;
        if (hasBirth(info)) return withBirth(info);
        unsigned generation = 0;
        if (generationOf(fd, info, generation) == Generation::found) return withGeneration(info, generation);
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

bool isLifetimeIdentity(std::string_view identity) {
    // "<device>:<inode>:" and then "b" or "g": the older form has a single colon.
    const auto first = identity.find(':');
    if (first == std::string_view::npos) return false;
    const auto second = identity.find(':', first + 1);
    return second != std::string_view::npos && second + 1 < identity.size() &&
           (identity[second + 1] == 'b' || identity[second + 1] == 'g');
}

bool sameIdentity(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a && b && *a == *b && isLifetimeIdentity(*a);
}

}  // namespace sorvik::FolderIndexer
