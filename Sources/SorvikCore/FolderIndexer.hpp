#pragma once
// Indexing of source folders.
#include <filesystem>
#include <optional>
#include <string>

namespace sorvik::FolderIndexer {

/// The file identity "<device>:<inode>" (both decimal) of the item at `path`, a final symbolic
/// link not followed. Nothing when the item cannot be examined. Never throws.
std::optional<std::string> identity(const std::filesystem::path& path) noexcept;

}  // namespace sorvik::FolderIndexer
