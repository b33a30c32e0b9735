#pragma once
// A depth-first folder walker on openat: names in byte order, links never followed,
// unreadable folders reported and skipped, folders that are their own ancestor not entered.
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

/// Walks the folder at `root` (an absolute path without links). A visitor that throws
/// ends the walk with that exception. `outer`: the folders above `root` of a larger walk, which
/// are never entered again either.
void walk(const std::string& root, const Visitor& visit, const FailureHandler& failed,
          const StatusFilter& wantsStatus = {}, const ProgressHandler& progressed = {},
          const std::vector<FolderID>& outer = {});

}  // namespace sorvik::FolderWalk
