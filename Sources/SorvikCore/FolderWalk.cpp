#include "SorvikCore/FolderWalk.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderDescriptors.hpp"

namespace sorvik::FolderWalk {

namespace {

struct Child {
    std::string name;
    EntryType type;
    bool hasStatus = false;
    struct statx status {};
    int error = 0;  // set when the type was not given and could not be read
};

struct Frame {
    std::string path;
    files::FileDescriptor fd;
    dev_t device;
    ino_t inode;
    std::vector<Child> children;
    std::size_t next = 0;
};

EntryType typeOfMode(mode_t mode) {
    if (S_ISDIR(mode)) return EntryType::directory;
    if (S_ISREG(mode)) return EntryType::regularFile;
    if (S_ISLNK(mode)) return EntryType::symbolicLink;
    return EntryType::other;
}

/// The entry's type from the directory entry, asking the file system when it is not given
/// or when the attributes of a regular file are wanted.
Child childOf(int folder, const dirent& entry, const StatusFilter& wantsStatus) {
    Child child{entry.d_name, EntryType::other};
    switch (entry.d_type) {
        case DT_DIR: child.type = EntryType::directory; return child;
        case DT_LNK: child.type = EntryType::symbolicLink; return child;
        case DT_REG:
            child.type = EntryType::regularFile;
            if (!wantsStatus || !wantsStatus(child.name)) return child;
            break;
        case DT_UNKNOWN: break;
        default: return child;
    }
    // One call gives the birth time with the rest; cached attributes are good enough here.
    if (files::statusAt(folder, entry.d_name, child.status, AT_STATX_DONT_SYNC) != 0) {
        if (entry.d_type == DT_UNKNOWN) child.error = errno;
        return child;
    }
    child.type = typeOfMode(child.status.stx_mode);
    child.hasStatus = child.type == EntryType::regularFile;
    return child;
}

/// Opens `relative` below `base` and lists it; false when it is an ancestor again, set aside or
/// cannot be read.
bool enter(int base, std::string_view relative, std::string path, std::vector<Frame>& stack,
           const std::vector<FolderID>& outer, const FailureHandler& failed, const StatusFilter& wantsStatus,
           const ProgressHandler& progressed) {
    // Its files could not be named by a path: it is not walked, as the kernel would refuse it.
    if (path.size() >= PATH_MAX) {
        failed(path, ENAMETOOLONG);
        return false;
    }
    files::FileDescriptor fd = files::openBeneath(base, relative, O_RDONLY | O_DIRECTORY | O_NONBLOCK);
    if (!fd) {
        failed(path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        failed(path, errno);
        return false;
    }
    // A bind mount can put a folder inside itself: never walk it a second time.
    for (const Frame& ancestor : stack)
        if (ancestor.device == st.st_dev && ancestor.inode == st.st_ino) return false;
    for (const auto& [device, inode] : outer)
        if (device == st.st_dev && inode == st.st_ino) return false;

    // The listing has a descriptor of its own; the frame's stays open for its subfolders.
    files::FileDescriptor listed(::openat(fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = listed ? ::fdopendir(listed.get()) : nullptr;
    if (!dir) {
        failed(path, errno);
        return false;
    }
    listed.release();  // owned by dir from here on
    std::unique_ptr<DIR, int (*)(DIR*)> owned(dir, ::closedir);

    Frame frame{std::move(path), std::move(fd), st.st_dev, st.st_ino, {}, 0};
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) failed(frame.path, errno);
            break;
        }
        const std::string_view name = entry->d_name;
        if (progressed) progressed();
        if (name == "." || name == "..") continue;
        Child child = childOf(::dirfd(dir), *entry, wantsStatus);
        // An entry of unknown type is reported, not guessed at.
        if (child.error != 0) failed(frame.path == "/" ? "/" + child.name : frame.path + "/" + child.name, child.error);
        else frame.children.push_back(std::move(child));
    }
    owned.reset();
    std::sort(frame.children.begin(), frame.children.end(),
              [](const Child& a, const Child& b) { return a.name < b.name; });
    stack.push_back(std::move(frame));
    return true;
}

}  // namespace

void walk(int base, std::string_view relative, const std::string& path, const Visitor& visit,
          const FailureHandler& failed, const StatusFilter& wantsStatus, const ProgressHandler& progressed,
          const std::vector<FolderID>& outer) {
    std::vector<Frame> stack;
    if (!enter(base, relative, path, stack, outer, failed, wantsStatus, progressed)) return;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.children.size()) {
            stack.pop_back();
            continue;
        }
        const Child& child = top.children[top.next++];
        std::string path = top.path == "/" ? "/" + child.name : top.path + "/" + child.name;
        const EntryType type = child.type;
        const struct statx* status = child.hasStatus ? &child.status : nullptr;
        const Action action =
            visit(Entry{path, child.name, type, stack.size(), status, top.fd.get(), {top.device, top.inode}});
        // `top` and `child` are not used past this point: entering pushes a frame.
        if (action == Action::proceed && type == EntryType::directory) {
            const int parent = top.fd.get();
            const std::string name = child.name;
            enter(parent, name, std::move(path), stack, outer, failed, wantsStatus, progressed);
        }
    }
}

}  // namespace sorvik::FolderWalk
