#pragma once
// Content-only file copies for the library's imports and the archive: the source is opened
// as a regular file (never a link, FIFO or device), its bytes go to a new file by reflink,
// copy_file_range or a read/write loop, and the final move never replaces anything.
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace sorvik::ArchiveCopy {

/// Copies the content of the regular file `source` (a final link is refused) into a new
/// file `destination`, which must not exist. With keepModificationTime the copy gets the
/// source's modification time, the given one when set, else the one read when opened.
/// Returns the status of the opened source. On failure the new file is removed. Throws
/// std::system_error.
struct stat copyFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                     bool keepModificationTime, std::optional<struct timespec> modificationTime = std::nullopt);

/// Moves `from` to `to` only when nothing stands at `to` (RENAME_NOREPLACE; a hard link and
/// unlink where the file system lacks it). Throws std::system_error (EEXIST when taken).
void moveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

/// Sets the modification time of the item at `path` (a final link is not followed), keeping
/// its access time. Throws std::system_error.
void setModificationTime(const std::filesystem::path& path, const struct timespec& time);

}  // namespace sorvik::ArchiveCopy
