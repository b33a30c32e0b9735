#pragma once
// Work below an opened folder: everything is created, opened, moved and removed relative to
// folder descriptors, so a folder renamed or replaced by a link meanwhile is never written
// through.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"

namespace sorvik::files {

/// The file system and file number of an item: which item it is, whatever its path.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const Identity&, const Identity&) = default;
};
Identity identityOf(const struct stat& info);
/// The identity of an open descriptor. Throws std::system_error naming `shownPath`.
Identity identityOf(int fd, const std::filesystem::path& shownPath);
/// The identity of the entry `name` of `folder` itself (a link is not followed), or nothing.
std::optional<Identity> entryIdentity(int folder, const std::string& name);

/// Opens an existing item for reading without following any link anywhere in the path (for a
/// path just resolved, which holds none) and without blocking on a FIFO or device. An invalid
/// descriptor with errno set on failure (ELOOP where a link stands).
FileDescriptor openWithoutLinks(const std::string& path);

/// An open folder shared by the jobs that work below it; closed with its last holder.
using SharedFolder = std::shared_ptr<const FileDescriptor>;

/// Opens `relative` ("/"-separated names, none empty, "." or "..") below the open `folder`,
/// never through a link in any component and never leaving it: openat2 with RESOLVE_BENEATH
/// and RESOLVE_NO_SYMLINKS, else openBeneathByName. `flags` apply to the last component
/// (O_NOFOLLOW and O_CLOEXEC are added); "" opens `folder` itself again. An invalid descriptor
/// with errno set on failure (ELOOP or ENOTDIR where a link stands, EXDEV for a bad name).
FileDescriptor openBeneath(int folder, std::string_view relative, int flags);
/// openBeneath one component at a time, each opened with O_NOFOLLOW, for kernels without
/// openat2.
FileDescriptor openBeneathByName(int folder, std::string_view relative, int flags);

/// A seam for tests: called with the relative path before every openBeneath, from the thread
/// that opens. Set while no scan or export runs.
using BeforeOpenBeneath = void (*)(std::string_view relative);
void setBeforeOpenBeneath(BeforeOpenBeneath hook) noexcept;

/// Opens a folder (links in the path followed) as the base of the calls below.
FileDescriptor openFolder(const std::filesystem::path& path);

/// Opens the folder `name` inside `folder`, never through a link in its place (ELOOP), or
/// first creates it when `create` is set (an existing folder is taken as it is).
FileDescriptor openFolderAt(int folder, const std::string& name, const std::filesystem::path& shownPath, bool create);

/// Creates the new file `name` inside `folder`, open for reading and writing; nothing may
/// stand in its place, not even a link.
FileDescriptor createFileAt(int folder, const std::string& name, const std::filesystem::path& shownPath);

/// Renames `from` in `fromFolder` to `to` in `toFolder` only when nothing stands there.
/// Where the file system has no RENAME_NOREPLACE, a hard link refuses a taken name the same
/// way (files only). Throws std::system_error (EEXIST when taken).
void moveNoReplaceAt(int fromFolder, const std::string& from, int toFolder, const std::string& to,
                     const std::filesystem::path& shownPath);

/// Removes everything inside the open folder, never following a link. Errors are ignored.
void removeContents(int folder) noexcept;

/// Removes the folder entry `name` of `parent` with its content, but only while it is still
/// the folder open as `opened`. Errors are ignored.
void removeFolderAt(int parent, const std::string& name, int opened) noexcept;

/// Whether the opened folder is `ancestor` or lies inside it, climbing the kernel's own ".."
/// from it: links, bind mounts and renamed paths cannot mislead it.
bool folderWithin(int folder, int ancestor);
/// folderWithin of the folder with the identity `ancestor`.
bool folderWithin(int folder, const Identity& ancestor);

}  // namespace sorvik::files
