// Matching outside a scan, the inbox, deleting and restoring projects, and the AI reference text.
#include <algorithm>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Stores/AgentReference.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"

namespace sorvik::app {

void AppStore::regroup() {
    ChangeBatch batch(*this);
    ProjectMatcher::Grouping grouping = ProjectMatcher::group(
        workspace_.assets, deliveries_, workspace_.deletedProjects.value_or(std::vector<Delivery>{}));
    workspace_.assets = std::move(grouping.assets);
    mark(StoreChange::assets);
    setDeliveries(std::move(grouping.projects));
}

void AppStore::regroupAndSave() {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    setBusy(true);
    setActivity("正在关联项目…");
    groupAndSave();
}

void AppStore::groupAndSave() {
    // Matching a whole library is worker work. It runs on copies and again when the projects
    // change before its result arrives, so no edit made meanwhile is lost.
    const std::uint64_t revision = projectsRevision_;
    auto work = [assets = workspace_.assets, projects = deliveries_,
                 deleted = workspace_.deletedProjects.value_or(std::vector<Delivery>{})](std::stop_token) mutable {
        return ProjectMatcher::group(std::move(assets), std::move(projects), deleted);
    };
    runJob<ProjectMatcher::Grouping>(
        lifetimeStop_.get_token(), std::move(work), [this, revision](JobOutcome<ProjectMatcher::Grouping> outcome) {
            ChangeBatch batch(*this);
            if (outcome.failure) {
                setError(describe(outcome.failure));
                setBusy(false);
                return;
            }
            if (projectsRevision_ != revision) {
                groupAndSave();
                return;
            }
            workspace_.assets = std::move(outcome.value->assets);
            mark(StoreChange::assets);
            setDeliveries(std::move(outcome.value->projects));
            persist();
            setBusy(false);
        });
}

void AppStore::assign(const IndexedAsset& asset, const UUID& projectID) {
    // A timer scan may have started while a menu was open, and in recovery mode the
    // assignment could never be saved.
    if (isBusy_ || recoveryMode_) return;
    IndexedAsset* target = assetFor(asset.id());
    if (!target) return;
    // An identifier that names no live project would hide the asset everywhere.
    const auto project = std::find_if(deliveries_.begin(), deliveries_.end(),
                                      [&](const Delivery& delivery) { return delivery.id == projectID; });
    if (project == deliveries_.end()) return;
    ChangeBatch batch(*this);
    dropUndoFor(asset.id());
    target->projectID = projectID;
    target->assignment = AssignmentMode::manual;
    target->reason = "已确认项目关联";
    mark(StoreChange::assets);
    const UUID id = asset.id();
    for (Delivery& delivery : deliveries_) {
        std::erase_if(delivery.files, [&](const DeliveryFile& file) { return file.id == id; });
    }
    // Listed in its project at once; the matching on the worker puts it in its place.
    project->files.push_back(target->file);
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
    deliveries_.insert(deliveries_.begin(), std::move(project));
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
    for (const Delivery& delivery : deliveries_) {
        for (const DeliveryFile& candidate : delivery.files) {
            if (candidate.id == id) return candidate;
        }
    }
    return std::nullopt;
}

std::vector<const IndexedAsset*> AppStore::unassigned() const {
    std::vector<const IndexedAsset*> out;
    for (const IndexedAsset& asset : workspace_.assets) {
        if (!asset.projectID && !asset.isMissing) out.push_back(&asset);
    }
    return out;
}

std::vector<const IndexedAsset*> AppStore::matchingUnassigned() const {
    std::vector<const IndexedAsset*> out = unassigned();
    if (search_.empty()) return out;
    return projectSearch_->matchingAssets(search_, searchRevision_, out, deliveries_, workspace_.assets);
}

std::vector<const Delivery*> AppStore::matchingProjects() const {
    std::vector<const Delivery*> out;
    if (search_.empty()) {
        out.reserve(deliveries_.size());
        for (const Delivery& project : deliveries_) out.push_back(&project);
    } else {
        out = projectSearch_->matchingProjects(search_, searchRevision_, deliveries_, workspace_.assets,
                                               [this](const UUID& id) { return assetFor(id); });
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Delivery* a, const Delivery* b) { return a->updatedAt > b->updatedAt; });
    return out;
}

std::vector<char> AppStore::matchingFiles(const Delivery& project) const {
    if (search_.empty()) return std::vector<char>(project.files.size(), 1);
    return projectSearch_->matchingFiles(search_, searchRevision_, project, deliveries_, workspace_.assets,
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
    workspace_.projects = std::move(deliveries_);
    workspace_.deleteProject(id);
    mark(StoreChange::assets | StoreChange::deleted);
    setDeliveries(std::move(workspace_.projects));
    workspace_.projects.clear();
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
    workspace_.projects = std::move(deliveries_);
    workspace_.restoreProject(id);
    mark(StoreChange::assets | StoreChange::deleted);
    setDeliveries(std::move(workspace_.projects));
    workspace_.projects.clear();
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
