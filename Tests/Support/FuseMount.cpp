#include "Support/FuseMount.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sorvik::test {

namespace {

constexpr std::uint64_t rootNode = FUSE_ROOT_ID;
constexpr std::uint64_t fileNode = 2;

void reply(int fd, std::uint64_t unique, int error, const void* body = nullptr, std::size_t size = 0) {
    fuse_out_header header{};
    header.len = static_cast<std::uint32_t>(sizeof header + size);
    header.error = -error;
    header.unique = unique;
    std::vector<char> out(sizeof header + size);
    std::memcpy(out.data(), &header, sizeof header);
    if (size) std::memcpy(out.data() + sizeof header, body, size);
    [[maybe_unused]] const auto written = ::write(fd, out.data(), out.size());
}

template <class T>
void reply(int fd, std::uint64_t unique, const T& body) {
    reply(fd, unique, 0, &body, sizeof body);
}

}  // namespace

FuseMount::FuseMount(Hold hold, std::string fileName, std::uint64_t fileSize)
    : hold_(hold), fileName_(std::move(fileName)), fileSize_(fileSize) {
    if (::geteuid() != 0) {
        skip_ = "mounting needs root";
        return;
    }
    fd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        skip_ = std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
        return;
    }
    const std::string options = "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0,allow_other";
    if (::mount("sorvik-test", dir_.path().c_str(), "fuse.sorvik-test", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        skip_ = std::string("a FUSE file system cannot be mounted here: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
    if (hold_ != Hold::everything && ::pipe2(stop_, O_CLOEXEC) == 0) server_ = std::thread([this] { serve(); });
}

FuseMount::~FuseMount() {
    if (server_.joinable()) {
        [[maybe_unused]] const auto written = ::write(stop_[1], "x", 1);
        server_.join();
    }
    for (const int end : stop_)
        if (end >= 0) ::close(end);
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    // Closing the device aborts the connection: every thread still blocked returns.
    if (fd_ >= 0) ::close(fd_);
}

void FuseMount::serve() {
    std::vector<char> buffer(FUSE_MIN_READ_BUFFER + (1 << 20));
    const auto attributes = [this](std::uint64_t node) {
        fuse_attr attr{};
        attr.ino = node;
        attr.mode = node == rootNode ? (S_IFDIR | 0755) : (S_IFREG | 0644);
        attr.nlink = node == rootNode ? 2 : 1;
        attr.size = node == rootNode ? 0 : fileSize_;
        attr.blocks = (attr.size + 511) / 512;
        attr.blksize = 4096;
        return attr;
    };
    for (;;) {
        pollfd ready[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (ready[1].revents) return;
        const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
        if (count < static_cast<ssize_t>(sizeof(fuse_in_header))) {
            if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == ENOENT)) continue;
            return;
        }
        fuse_in_header in{};
        std::memcpy(&in, buffer.data(), sizeof in);
        const char* body = buffer.data() + sizeof in;
        const bool hasFile = hold_ == Hold::reads;
        switch (in.opcode) {
            case FUSE_INIT: {
                fuse_init_in init{};
                std::memcpy(&init, body, sizeof init);
                fuse_init_out out{};
                out.major = FUSE_KERNEL_VERSION;
                out.minor = std::min<std::uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
                out.max_readahead = init.max_readahead;
                out.max_write = 1 << 17;
                out.max_background = 16;
                out.congestion_threshold = 12;
                reply(fd_, in.unique, out);
                break;
            }
            case FUSE_LOOKUP: {
                if (!hasFile || in.nodeid != rootNode || fileName_ != body) {
                    reply(fd_, in.unique, ENOENT);
                    break;
                }
                fuse_entry_out entry{};
                entry.nodeid = fileNode;
                entry.attr = attributes(fileNode);
                reply(fd_, in.unique, entry);
                break;
            }
            case FUSE_GETATTR: {
                fuse_attr_out out{};
                out.attr = attributes(in.nodeid);
                reply(fd_, in.unique, out);
                break;
            }
            case FUSE_OPEN:
            case FUSE_OPENDIR: {
                fuse_open_out out{};
                out.fh = 1;
                reply(fd_, in.unique, out);
                break;
            }
            case FUSE_READDIR: reply(fd_, in.unique, 0); break;
            case FUSE_READ:
                if (hold_ == Hold::reads) {
                    ++held_;
                } else {
                    reply(fd_, in.unique, 0);
                }
                break;
            case FUSE_RELEASE:
            case FUSE_RELEASEDIR:
            case FUSE_FLUSH:
            case FUSE_ACCESS: reply(fd_, in.unique, 0); break;
            case FUSE_STATFS: {
                fuse_statfs_out out{};
                out.st.bsize = 4096;
                out.st.frsize = 4096;
                out.st.namelen = 255;
                out.st.blocks = out.st.bfree = out.st.bavail = 1 << 20;
                reply(fd_, in.unique, out);
                break;
            }
            case FUSE_FORGET:
            case FUSE_BATCH_FORGET:
            case FUSE_INTERRUPT:
            case FUSE_DESTROY: break;  // no answer is expected
            case FUSE_CREATE:
            case FUSE_MKNOD:
            case FUSE_MKDIR:
            case FUSE_WRITE:
            case FUSE_RENAME:
            case FUSE_RENAME2:
            case FUSE_SETATTR:
            case FUSE_UNLINK:
            case FUSE_RMDIR:
            case FUSE_FSYNC:
            case FUSE_FSYNCDIR:
            case FUSE_LINK:
            case FUSE_SYMLINK:
            case FUSE_FALLOCATE:
                if (hold_ == Hold::writes) {
                    ++held_;
                } else {
                    reply(fd_, in.unique, EROFS);
                }
                break;
            default: reply(fd_, in.unique, ENOSYS); break;
        }
    }
}

}  // namespace sorvik::test
