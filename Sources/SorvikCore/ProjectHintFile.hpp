#pragma once
// The "project.json" file a folder may hold to name its project.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace sorvik::ProjectHintFile {

/// Files of this size or larger are never read.
inline constexpr std::uint64_t sizeLimit = 262144;

/// The project name written in "project.json" directly in `folder`: the first of "projectName",
/// "project_name", "title" and "name" whose value is a string carrying a topic, unchanged.
/// Nothing when the file is missing, a link, not a regular file, too large, unreadable, not
/// JSON or not an object, or has no usable key. Never blocks on FIFOs or devices; never throws.
std::optional<std::string> read(const std::filesystem::path& folder);
/// read of the open folder `folder`, whose path is `shownFolder`.
std::optional<std::string> readAt(int folder, const std::filesystem::path& shownFolder);

}  // namespace sorvik::ProjectHintFile
