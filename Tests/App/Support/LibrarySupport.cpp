#include "App/Support/LibrarySupport.hpp"

#include <stdexcept>

#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;

namespace sorvik::test {

Delivery projectNamed(const std::string& name, std::vector<DeliveryFile> files, double updated) {
    Delivery d(UUID::make(), name, std::move(files), DeliveryTemplate::flexible());
    d.createdAt = d.updatedAt = Date{updated};
    return d;
}

DeliveryFile originalAt(const fs::path& path, std::int64_t bytes) {
    DeliveryFile file(UUID::make(), path.filename().string(), "", FileRole::extra, bytes, "");
    if (file.isImage()) file.role = FileRole::cover;
    if (file.isVideo()) file.role = FileRole::video;
    file.reference = FileReference::make(path, Date{700000000}, std::nullopt);
    return file;
}

IndexedAsset indexedAsset(DeliveryFile file, std::optional<UUID> project, std::string reason) {
    IndexedAsset asset(std::move(file), std::nullopt, "", std::nullopt);
    asset.projectID = project;
    asset.assignment = project ? AssignmentMode::manual : AssignmentMode::unassigned;
    asset.reason = project ? "已确认项目关联" : std::move(reason);
    return asset;
}

void writeLibrary(const fs::path& root, const WorkspaceState& state) { Repository(root).saveWorkspace(state); }

WorkspaceState libraryOf(std::vector<Delivery> projects, std::vector<IndexedAsset> assets) {
    for (Delivery& project : projects) {
        project.files.clear();
        for (const IndexedAsset& asset : assets) {
            if (asset.projectID == project.id) project.files.push_back(asset.file);
        }
    }
    WorkspaceState state(std::move(projects));
    state.assets = std::move(assets);
    return state;
}

const IndexedAsset& assetIn(const std::vector<IndexedAsset>& assets, const UUID& id) {
    for (const IndexedAsset& asset : assets) {
        if (asset.id() == id) return asset;
    }
    throw std::runtime_error("no asset " + id.string());
}

const Delivery& projectIn(const std::vector<Delivery>& projects, const UUID& id) {
    for (const Delivery& project : projects) {
        if (project.id == id) return project;
    }
    throw std::runtime_error("no project " + id.string());
}

std::vector<std::string> fileNames(const Delivery& project) {
    std::vector<std::string> names;
    for (const DeliveryFile& file : project.files) names.push_back(file.name);
    return names;
}

}  // namespace sorvik::test
