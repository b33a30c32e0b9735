#include "App/Support/LibraryFixtures.hpp"

#include "SorvikCore/Repository.hpp"

namespace sorvik::test {

Delivery makeProject(const std::string& name, double updated) {
    Delivery project(UUID::make(), name, {}, DeliveryTemplate::flexible());
    project.createdAt = project.updatedAt = Date{updated};
    return project;
}

DeliveryFile makeFile(const std::string& name, const std::string& folder, FileRole role,
                      std::optional<std::string> text) {
    DeliveryFile file(UUID::make(), name, name, role, 10, "");
    file.text = std::move(text);
    file.reference = FileReference::make(std::filesystem::path(folder) / name, Date{900}, std::nullopt);
    return file;
}

IndexedAsset makeAsset(const DeliveryFile& file, std::optional<UUID> project, const std::string& folder) {
    IndexedAsset asset(file, std::nullopt, folder, std::nullopt);
    asset.projectID = project;
    asset.assignment = project ? AssignmentMode::automatic : AssignmentMode::unassigned;
    return asset;
}

void addFile(WorkspaceState& state, Delivery& project, const DeliveryFile& file) {
    project.files.push_back(file);
    state.assets.push_back(makeAsset(file, project.id));
}

void writeLibrary(const std::filesystem::path& root, const WorkspaceState& state) {
    Repository(root).saveWorkspace(state);
}

}  // namespace sorvik::test
