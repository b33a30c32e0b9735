#include "Support/StallingMount.hpp"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace sorvik::test {

namespace {

constexpr std::uint64_t rootNode = FUSE_ROOT_ID;
constexpr std::uint64_t firstFileNode = 2;
constexpr std::uint64_t fileTime = 1'700'000'000;

const fuse_in_header& headerOf(const std::vector<char>& request) {
    return *reinterpret_cast<const fuse_in_header*>(request.data());
}

template <typename T>
const T& argumentOf(const std::vector<char>& request) {
    return *reinterpret_cast<const T*>(request.data() + sizeof(fuse_in_header));
}

}  // namespace

StallingMount::StallingMount(std::vector<File> files, bool silent) : files_(std::move(files)), silent_(silent) {
    if (::geteuid() != 0) {
        skip_ = "mounting needs root";
        return;
    }
    fd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        skip_ = std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
        return;
    }
    const std::string options = "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("sorvik-stall", dir_.path().c_str(), "fuse.sorvik-stall", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        skip_ = std::string("a FUSE file system cannot be mounted here: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        skip_ = std::string("no pipe: ") + std::strerror(errno);
        return;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    server_ = std::thread([this] { serve(); });
}

StallingMount::~StallingMount() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    if (server_.joinable()) server_.join();
    // Closing the device aborts the connection: every call still waiting returns.
    if (fd_ >= 0) ::close(fd_);
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

int StallingMount::opens(const std::string& name) {
    const std::lock_guard lock(mutex_);
    return opens_[name];
}

int StallingMount::reads(const std::string& name) {
    const std::lock_guard lock(mutex_);
    return reads_[name];
}

bool StallingMount::holding() {
    const std::lock_guard lock(mutex_);
    return !waiting_.empty();
}

void StallingMount::answerAll() {
    {
        const std::lock_guard lock(mutex_);
        silent_ = false;
        released_ = true;
    }
    wake();
}

void StallingMount::wake() {
    if (wakeWrite_ >= 0) {
        [[maybe_unused]] const auto written = ::write(wakeWrite_, "x", 1);
    }
}

void StallingMount::serve() {
    std::vector<char> buffer(FUSE_MIN_READ_BUFFER + (1 << 17));
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) {
            char drained[64];
            while (::read(wakeRead_, drained, sizeof drained) > 0) {
            }
            std::vector<std::vector<char>> answer;
            {
                const std::lock_guard lock(mutex_);
                if (stopping_) return;
                if (!silent_) answer.swap(waiting_);
            }
            for (const auto& request : answer) handle(request);
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const ssize_t length = ::read(fd_, buffer.data(), buffer.size());
        if (length < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == ENOENT) continue;
            return;  // unmounted
        }
        if (static_cast<std::size_t>(length) < sizeof(fuse_in_header)) continue;
        std::vector<char> request(buffer.begin(), buffer.begin() + length);
        ++requests_;
        if (!held(request)) handle(request);
    }
}

bool StallingMount::held(const std::vector<char>& request) {
    const fuse_in_header& in = headerOf(request);
    if (in.opcode == FUSE_FORGET || in.opcode == FUSE_BATCH_FORGET || in.opcode == FUSE_INTERRUPT) return false;
    const std::lock_guard lock(mutex_);
    bool hold = silent_ && in.opcode != FUSE_INIT;  // mounted, then silent
    if ((in.opcode == FUSE_OPEN || in.opcode == FUSE_READ) && in.nodeid >= firstFileNode &&
        in.nodeid - firstFileNode < files_.size()) {
        const File& file = files_[in.nodeid - firstFileNode];
        ++(in.opcode == FUSE_OPEN ? opens_ : reads_)[file.name];
        hold = hold || (!released_ && file.hold == (in.opcode == FUSE_OPEN ? Hold::open : Hold::read));
    }
    if (hold) waiting_.push_back(request);
    return hold;
}

void StallingMount::reply(std::uint64_t unique, int error, const void* data, std::size_t size) {
    fuse_out_header out{};
    out.len = static_cast<std::uint32_t>(sizeof out + size);
    out.error = error;
    out.unique = unique;
    iovec parts[2] = {{&out, sizeof out}, {const_cast<void*>(data), size}};
    // A request interrupted meanwhile refuses its answer; nothing to do about it.
    [[maybe_unused]] const auto written = ::writev(fd_, parts, size != 0 ? 2 : 1);
}

void StallingMount::handle(const std::vector<char>& request) {
    const fuse_in_header& in = headerOf(request);
    const File* file = in.nodeid >= firstFileNode && in.nodeid - firstFileNode < files_.size()
                           ? &files_[in.nodeid - firstFileNode]
                           : nullptr;
    const auto fill = [](fuse_attr& attr, std::uint64_t node, const File* of) {
        attr.ino = node;
        attr.mode = of ? S_IFREG | 0644 : S_IFDIR | 0755;
        attr.nlink = of ? 1 : 2;
        attr.size = of ? of->content.size() : 0;
        attr.blocks = (attr.size + 511) / 512;
        attr.atime = attr.mtime = attr.ctime = fileTime;
        attr.blksize = 4096;
    };
    switch (in.opcode) {
        case FUSE_INIT: {
            fuse_init_out out{};
            out.major = FUSE_KERNEL_VERSION;
            out.minor = 31;  // before statx: no birth times, as many FUSE file systems
            out.max_readahead = argumentOf<fuse_init_in>(request).max_readahead;
            out.max_background = 16;
            out.congestion_threshold = 12;
            out.max_write = 1 << 16;
            out.time_gran = 1;
            reply(in.unique, 0, &out, sizeof out);
            return;
        }
        case FUSE_LOOKUP: {
            const std::string name(request.data() + sizeof(fuse_in_header));
            for (std::size_t i = 0; in.nodeid == rootNode && i < files_.size(); ++i) {
                if (files_[i].name != name) continue;
                fuse_entry_out out{};
                out.nodeid = firstFileNode + i;
                out.entry_valid = out.attr_valid = 1;
                fill(out.attr, out.nodeid, &files_[i]);
                reply(in.unique, 0, &out, sizeof out);
                return;
            }
            reply(in.unique, -ENOENT);
            return;
        }
        case FUSE_GETATTR: {
            fuse_attr_out out{};
            out.attr_valid = 1;
            fill(out.attr, in.nodeid, file);
            reply(in.unique, 0, &out, sizeof out);
            return;
        }
        case FUSE_OPEN:
        case FUSE_OPENDIR: {
            fuse_open_out out{};
            out.fh = in.nodeid;
            reply(in.unique, 0, &out, sizeof out);
            return;
        }
        case FUSE_READDIR: {
            const auto& read = argumentOf<fuse_read_in>(request);
            std::vector<char> out;
            for (std::size_t i = read.offset; in.nodeid == rootNode && i < files_.size(); ++i) {
                const std::string& name = files_[i].name;
                const std::size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + name.size());
                if (out.size() + size > read.size) break;
                fuse_dirent entry{};
                entry.ino = firstFileNode + i;
                entry.off = i + 1;
                entry.namelen = static_cast<std::uint32_t>(name.size());
                entry.type = DT_REG;
                const std::size_t at = out.size();
                out.resize(at + size, '\0');
                std::memcpy(out.data() + at, &entry, FUSE_NAME_OFFSET);
                std::memcpy(out.data() + at + FUSE_NAME_OFFSET, name.data(), name.size());
            }
            reply(in.unique, 0, out.data(), out.size());
            return;
        }
        case FUSE_READ: {
            const auto& read = argumentOf<fuse_read_in>(request);
            std::string data;
            if (file && read.offset < file->content.size()) data = file->content.substr(read.offset, read.size);
            reply(in.unique, 0, data.data(), data.size());
            return;
        }
        case FUSE_STATFS: {
            fuse_statfs_out out{};
            out.st.bsize = out.st.frsize = 4096;
            out.st.namelen = 255;
            reply(in.unique, 0, &out, sizeof out);
            return;
        }
        case FUSE_RELEASE:
        case FUSE_RELEASEDIR:
        case FUSE_FLUSH: reply(in.unique, 0); return;
        case FUSE_FORGET:
        case FUSE_BATCH_FORGET:
        case FUSE_INTERRUPT: return;  // never answered
        default: reply(in.unique, -ENOSYS); return;
    }
}

}  // namespace sorvik::test
