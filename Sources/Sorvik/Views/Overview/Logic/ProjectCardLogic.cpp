#include "Sorvik/Views/Overview/Logic/ProjectCardLogic.hpp"

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

ProjectCardValues projectCardValues(const Delivery& project) {
    ProjectCardValues values;
    values.assetCount = project.files.size();
    std::optional<std::size_t> firstImage;
    std::optional<std::size_t> firstTimed;
    std::array<std::size_t, cardRoles.size()> counts{};
    for (std::size_t i = 0; i < project.files.size(); ++i) {
        const DeliveryFile& file = project.files[i];
        if (!firstImage && file.isImage()) firstImage = i;
        if (!firstTimed && file.duration) firstTimed = i;
        for (std::size_t r = 0; r < cardRoles.size(); ++r) {
            if (file.role == cardRoles[r]) ++counts[r];
        }
    }
    values.picture = firstImage ? firstImage : firstTimed;
    for (std::size_t r = 0; r < cardRoles.size(); ++r) {
        if (counts[r] > 0) values.roles.push_back({cardRoles[r], counts[r]});
    }
    values.badge = project.discoveryKey ? "自动关联" : "项目";
    return values;
}

std::string cardBadgeText(const ProjectCardValues& values) { return L(InContext{"project card badge"}, values.badge); }

std::string cardDetailText(std::size_t assetCount, std::size_t folderCount) {
    return L("{0} 件素材 · 来自 {1} 个文件夹", assetCount, folderCount);
}

}  // namespace sorvik::app
