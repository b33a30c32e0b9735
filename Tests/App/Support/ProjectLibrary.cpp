#include "App/Support/ProjectLibrary.hpp"

#include "SorvikCore/Repository.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::test {

std::vector<DeliveryFile> writeProjectLibrary(const std::filesystem::path& library,
                                              const std::vector<std::filesystem::path>& originals,
                                              const DeliveryTemplate& rules,
                                              const std::function<void(DeliveryFile&)>& adjust) {
    const Repository repository(library);
    std::vector<IndexedAsset> assets = repository.linkFiles(originals);
    Delivery project(UUID::make(), "交付", {}, rules);
    for (IndexedAsset& asset : assets) {
        if (adjust) adjust(asset.file);
        asset.projectID = project.id;
        asset.assignment = AssignmentMode::manual;
        asset.reason = "已确认项目关联";
        project.files.push_back(asset.file);
    }
    WorkspaceState state;
    state.projects = {project};
    state.assets = std::move(assets);
    repository.saveWorkspace(state);
    return project.files;
}

}  // namespace sorvik::test
