#pragma once
// The values a project card shows. Pure. (The folder count and the picture's place are path work:
// `projectCounts` of the project page's logic and `fileLocation`, run off the GUI thread.)
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// The roles of the card's role row, in its order; extras are never shown.
inline constexpr std::array<FileRole, 4> cardRoles{FileRole::video, FileRole::cover, FileRole::copy,
                                                   FileRole::subtitle};

struct RoleCount {
    FileRole role = FileRole::extra;
    std::size_t count = 0;
    friend bool operator==(const RoleCount&, const RoleCount&) = default;
};

struct ProjectCardValues {
    /// The position in `files` of the picture: the first image, else the first file with a duration.
    std::optional<std::size_t> picture;
    std::size_t assetCount = 0;
    /// The roles of the row that have files, in the row's order.
    std::vector<RoleCount> roles;
    /// The badge's catalogue key: "自动关联" for a project made from a topic, else "项目".
    std::string badge;
};

ProjectCardValues projectCardValues(const Delivery& project);

/// The badge in the interface language: on a card, "项目" names the one project.
std::string cardBadgeText(const ProjectCardValues& values);

/// "{0} 件素材 · 来自 {1} 个文件夹" in the interface language.
std::string cardDetailText(std::size_t assetCount, std::size_t folderCount);

}  // namespace sorvik::app
