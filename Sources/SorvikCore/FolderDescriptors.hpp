#pragma once
// Work below an opened folder: everything is created, opened, moved and removed relative to
// folder descriptors, so a folder renamed or replaced by a link meanwhile is never written
// through.
#include <filesystem>
#include <optional>
#include <string>
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

}  // namespace sorvik::files
