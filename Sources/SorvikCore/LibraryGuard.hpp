#pragma once
// The library folder as the one process that writes it holds it. Writes go through the folder
// opened when its lock was taken, only while the library's path still names that folder, and
// never over a library file that another program replaced since this process read or wrote it.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik {

/// Which file stands at a name, with its size and modification time: an equal stamp is taken
/// for an unchanged file (every save replaces the file as a whole).
struct FileStamp {
    bool exists = false;
    std::int64_t device = 0, inode = 0, size = 0, modified = 0;
    bool operator==(const FileStamp&) const = default;
    static FileStamp of(const struct stat& status);
};

/// The library's path no longer names the folder this process holds: another app may hold the
/// folder there now.
class LibraryFolderReplacedError : public SorvikError {
public:
    using SorvikError::SorvikError;
};

/// A library file is not the one this process last read or wrote: another program replaced or
/// changed it. Nothing was written.
class LibraryFileChangedError : public SorvikError {
public:
    LibraryFileChangedError(std::string message, std::string name, std::uint64_t epoch)
        : SorvikError(std::move(message)), name_(std::move(name)), epoch_(epoch) {}
    /// The file's name in the library folder.
    const std::string& name() const { return name_; }
    /// The epoch of the writer that was refused (see LibraryGuard::accept).
    std::uint64_t epoch() const { return epoch_; }

private:
    std::string name_;
    std::uint64_t epoch_;
};

class LibraryGuard {
public:
    /// Holds a duplicate of `folder`, the open library folder named by `root`. Throws
    /// std::system_error.
    LibraryGuard(int folder, std::filesystem::path root);
    /// Opens `root` itself (a library whose lock another part holds, or none: tests).
    static std::shared_ptr<LibraryGuard> open(const std::filesystem::path& root);

    const std::filesystem::path& root() const { return root_; }
    /// The held folder, for reads and writes relative to it.
    int folder() const { return folder_.get(); }

    /// The stamp of the entry `name` of the held folder now; no link is followed.
    FileStamp stamp(const std::string& name) const;
    /// The files as they were read (stamps taken before reading): writes compare with these from
    /// now on. Starts a new epoch: writers of an earlier one are refused. Returns it.
    std::uint64_t accept(const std::vector<std::pair<std::string, FileStamp>>& files);
    std::uint64_t epoch() const;

    /// Throws LibraryFolderReplacedError unless the library's path names the held folder.
    void checkFolder() const;
    /// Replaces the file `name` of the held folder with `bytes`, atomically, when the library's
    /// path names the folder and the file is the one last read or written through this guard, by
    /// a writer of the current epoch; remembers the new file. Throws LibraryFolderReplacedError,
    /// LibraryFileChangedError (nothing written) or the platform's error.
    void replace(const std::string& name, std::string_view bytes, std::uint64_t epoch);
    /// Removes the temporary files that a killed save left in the held folder.
    void removeStaleTemporaries() const;

private:
    std::filesystem::path root_;
    files::FileDescriptor folder_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, FileStamp> known_;
    std::uint64_t epoch_ = 1;
};

}  // namespace sorvik
