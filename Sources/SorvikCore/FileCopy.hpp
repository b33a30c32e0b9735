#pragma once
// Copying file content into new files, and moves that never replace anything.
#include <filesystem>
#include <stop_token>

namespace sorvik::files {

/// How the content reached the new file.
enum class CopyMethod { clone, copyFileRange, readWrite };

/// Copies the content of the open regular file `sourceFd` (from its start, up to its end)
/// into a new file at `destination`, which must not exist. A reflink clone where the file
/// system has one, else copy_file_range, else a read/write loop. Only content is copied.
/// On failure the new file is removed and a std::system_error is thrown.
CopyMethod copyContent(int sourceFd, const std::filesystem::path& destination);

/// Copies the content of `sourceFd` (from its start) into the new, empty file open for
/// writing as `outFd`; `shownPath` names it in errors. Checks `stop` between chunks
/// (CancellationError). Throws std::system_error.
CopyMethod copyContentInto(int sourceFd, int outFd, const std::filesystem::path& shownPath, std::stop_token stop = {});

/// Opens `source` as a regular file (links followed, FIFOs and devices refused without
/// blocking) and copies its content into a new file at `destination`.
CopyMethod copyFile(const std::filesystem::path& source, const std::filesystem::path& destination);

/// Renames `from` to `to` only when nothing stands at `to` (RENAME_NOREPLACE); EEXIST otherwise.
void moveNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace sorvik::files
