#include "App/Support/LibraryFixtures.hpp"

namespace sorvik::test {

Delivery makeProject(const std::string& name, double updated) { return projectNamed(name, {}, updated); }

DeliveryFile makeFile(const std::string& name, const std::string& folder, FileRole role,
                      std::optional<std::string> text) {
    DeliveryFile file = originalAt(std::filesystem::path(folder) / name, 10);
    file.relativePath = name;
    file.role = role;
    file.text = std::move(text);
    return file;
}

IndexedAsset makeAsset(const DeliveryFile& file, std::optional<UUID> project, const std::string& folder) {
    IndexedAsset asset = indexedAsset(file, project);
    asset.relativeFolder = folder;
    return asset;
}

void addFile(WorkspaceState& state, Delivery& project, const DeliveryFile& file) {
    project.files.push_back(file);
    state.assets.push_back(makeAsset(file, project.id));
}

}  // namespace sorvik::test
