// Matching outside a scan, the inbox, deleting and restoring projects, and the AI reference text.
#include <algorithm>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Stores/AgentReference.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"

namespace sorvik::app {

void AppStore::regroupAndSave() {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    setBusy(true);
    setActivity("正在关联项目…");
    groupAndSave();
}

const std::vector<Delivery>& AppStore::GroupingInput::deleted() const {
    static const std::vector<Delivery> none;
    return workspace->deletedProjects ? *workspace->deletedProjects : none;
}

bool AppStore::endFailed(const std::exception_ptr& failure) {
    if (!failure) return false;
    setError(describe(failure));
    setBusy(false);
    return true;
}

void AppStore::groupAndSave() {
    // Matching a whole library is worker work.
    auto work = [](const GroupingInput& input, std::stop_token stop) {
        return ProjectMatcher::group(input.workspace->assets, *input.projects, input.deleted(), std::move(stop));
    };
    runGrouping<ProjectMatcher::Grouping>(lifetimeStop_.get_token(), std::move(work),
                                          [this](JobOutcome<ProjectMatcher::Grouping> outcome) {
                                              ChangeBatch batch(*this);
                                              if (endFailed(outcome.failure)) return;
                                              setAssets(std::move(outcome.value->assets));
                                              setDeliveries(std::move(outcome.value->projects));
                                              persist();
                                              setBusy(false);
                                          });
}

void AppStore::assign(const IndexedAsset& asset, const UUID& projectID) {
    // A timer scan may have started while a menu was open, and in recovery mode the
    // assignment could never be saved.
    if (isBusy_ || recoveryMode_) return;
    const UUID id = asset.id();
    if (!std::as_const(*this).assetFor(id)) return;
    // An identifier that names no live project would hide the asset everywhere.
    const auto project = std::find_if(deliveries_->begin(), deliveries_->end(),
                                      [&](const Delivery& delivery) { return delivery.id == projectID; });
    if (project == deliveries_->end()) return;
    const auto projectPosition = static_cast<std::size_t>(project - deliveries_->begin());
    ChangeBatch batch(*this);
    dropUndoFor(id);
    IndexedAsset* target = assetFor(id);
    target->projectID = projectID;
    target->assignment = AssignmentMode::manual;
    target->reason = "已确认项目关联";
    mark(StoreChange::assets);
    std::vector<Delivery>& projects = deliveries_.edit();
    for (Delivery& delivery : projects) {
        std::erase_if(delivery.files, [&](const DeliveryFile& file) { return file.id == id; });
    }
    // Listed in its project at once; the matching on the worker puts it in its place.
    projects[projectPosition].files.push_back(target->file);
    mark(StoreChange::projects);
    setBusy(true);
    setActivity("正在关联项目…");
    groupAndSave();
}

void AppStore::createProject(const IndexedAsset& asset) {
    // While busy the scan or job that runs would replace the new project when it completes.
    if (isBusy_ || recoveryMode_ || !assetFor(asset.id())) return;
    ChangeBatch batch(*this);
    std::string name;
    if (const std::optional<ProjectHint> hint = ProjectMatcher::hint(asset)) {
        name = hint->title;
    } else {
        name = asset.file.name;
        if (const auto dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
    }
    Delivery project(UUID::make(), name, {}, DeliveryTemplate::flexible());
    project.createdAt = project.updatedAt = platform_.now();
    const UUID id = project.id;
    std::vector<Delivery>& projects = deliveries_.edit();
    projects.insert(projects.begin(), std::move(project));
    mark(StoreChange::projects);
    assign(asset, id);
    select(id);
    setSheet(AppSheet::projectRules());
}

void AppStore::dropUndoFor(const UUID& assetID) {
    if (removedAssociation_ && removedAssociation_->id() == assetID) {
        removalUndo_.reset();
        removedAssociation_.reset();
        mark(StoreChange::messages);
    }
}

std::optional<DeliveryFile> AppStore::file(const UUID& id) const {
    if (const IndexedAsset* asset = assetFor(id)) return asset->file;
    for (const Delivery& delivery : *deliveries_) {
        for (const DeliveryFile& candidate : delivery.files) {
            if (candidate.id == id) return candidate;
        }
    }
    return std::nullopt;
}

std::vector<const IndexedAsset*> AppStore::unassigned() const {
    std::vector<const IndexedAsset*> out;
    for (const IndexedAsset& asset : workspace_->assets) {
        if (!asset.projectID && !asset.isMissing) out.push_back(&asset);
    }
    return out;
}

std::vector<const IndexedAsset*> AppStore::matchingUnassigned() const {
    std::vector<const IndexedAsset*> out = unassigned();
    if (search_.empty()) return out;
    return projectSearch_->matchingAssets(search_, searchRevision_, out, *deliveries_, workspace_->assets);
}

std::vector<const Delivery*> AppStore::matchingProjects() const {
    std::vector<const Delivery*> out;
    if (search_.empty()) {
        out.reserve(deliveries_->size());
        for (const Delivery& project : *deliveries_) out.push_back(&project);
    } else {
        out = projectSearch_->matchingProjects(search_, searchRevision_, *deliveries_, workspace_->assets,
                                               [this](const UUID& id) { return assetFor(id); });
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Delivery* a, const Delivery* b) { return a->updatedAt > b->updatedAt; });
    return out;
}

std::vector<char> AppStore::matchingFiles(const Delivery& project) const {
    if (search_.empty()) return std::vector<char>(project.files.size(), 1);
    return projectSearch_->matchingFiles(search_, searchRevision_, project, *deliveries_, workspace_->assets,
                                         [this](const UUID& id) { return assetFor(id); });
}

void AppStore::showProjects() {
    ChangeBatch batch(*this);
    section_ = WorkspaceSection::projects;
    mark(StoreChange::selection);
    setNotice(std::nullopt);
    setSearch("");
}

void AppStore::showInbox() {
    ChangeBatch batch(*this);
    section_ = WorkspaceSection::inbox;
    mark(StoreChange::selection);
    setNotice(std::nullopt);
    setSearch("");
}

void AppStore::deleteProject(const UUID& id) {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    {
        WorkspaceState& workspace = workspace_.edit();
        workspace.projects = deliveries_.take();
        workspace.deleteProject(id);
        assetIndexValid_ = false;
        projectFilesEdited_ = true;
        mark(StoreChange::assets | StoreChange::deleted);
        setDeliveries(std::move(workspace.projects));
        workspace.projects.clear();
    }
    selectedID_.reset();
    section_ = WorkspaceSection::projects;
    mark(StoreChange::selection);
    if (lastExport_) mark(StoreChange::lastExport);
    lastExport_.reset();
    persist();
    setNotice("项目已删除，原文件保留。可从侧栏恢复。");
}

void AppStore::restoreProject(const UUID& id) {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    {
        WorkspaceState& workspace = workspace_.edit();
        workspace.projects = deliveries_.take();
        workspace.restoreProject(id);
        assetIndexValid_ = false;
        projectFilesEdited_ = true;
        mark(StoreChange::assets | StoreChange::deleted);
        setDeliveries(std::move(workspace.projects));
        workspace.projects.clear();
    }
    persist();
    select(id);
}

void AppStore::copyAgentReference(const Delivery& project, const std::optional<DeliveryFile>& file) {
    if (!repository_) return;
    ChangeBatch batch(*this);
    platform_.copyText(agentReferenceText(project, file ? std::optional<UUID>(file->id) : std::nullopt,
                                          locations_.agent, repository_->root()));
    setNotice("已复制 AI 项目引用与操作说明。");
}

}  // namespace sorvik::app
