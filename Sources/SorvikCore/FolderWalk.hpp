#pragma once
// A depth-first folder walker on openat: each folder is opened below its parent's descriptor,
// names come in byte order, links are never followed, unreadable folders are reported and
// skipped, folders that are their own ancestor (or set aside by identity) are not entered.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace sorvik::FolderWalk {

enum class EntryType { directory, regularFile, symbolicLink, other };

struct Entry {
    const std::string& path;  // the folder's path, "/" and the name
    std::string_view name;
    EntryType type;
    std::size_t depth;           // 1 for entries directly in the walked folder
    const struct statx* status;  // files::statusAt of a regular file the status filter asked for, else null
    int folder;                  // the open folder the entry is listed in
    std::pair<dev_t, ino_t> folderID;
};

enum class Action { proceed, skipDescendants };

/// Called for every entry below the root (not for the root itself), before its content.
using Visitor = std::function<Action(const Entry&)>;
/// Called with a folder that could not be opened or read, and the errno; the walk goes on.
using FailureHandler = std::function<void(const std::string& path, int error)>;

/// Whether the attributes of the regular file with this name are wanted; they are then read
/// while its folder is open, which is cheaper than by path later.
using StatusFilter = std::function<bool(std::string_view name)>;

/// Called for every directory entry read, before the folder's entries are visited.
using ProgressHandler = std::function<void()>;

/// A folder by device and inode number.
using FolderID = std::pair<dev_t, ino_t>;

/// Walks the folder `relative` below the open folder `base` ("" for `base` itself), opened
/// with files::openBeneath, whose entries are named below `path`. A visitor that throws ends
/// the walk with that exception. `outer`: folders never entered (those above the walked one in
/// a larger walk, folders set aside); the walked folder itself is not walked when among them.
void walk(int base, std::string_view relative, const std::string& path, const Visitor& visit,
          const FailureHandler& failed, const StatusFilter& wantsStatus = {}, const ProgressHandler& progressed = {},
          const std::vector<FolderID>& outer = {});

}  // namespace sorvik::FolderWalk
