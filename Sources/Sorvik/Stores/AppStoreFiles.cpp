// Linking chosen or dropped files, editing and removing project files, export and presets.
#include <algorithm>
#include <unordered_set>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Stores/LinkReport.hpp"
#include "SorvikCore/AssetImport.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

/// What linking found on the worker.
struct LinkOutput {
    std::vector<SourceFolder> sources;
    LinkedAssetBatch batch;
    std::size_t folders = 0;
    std::size_t skipped = 0;
    /// The names of the files linked, to tell a failure's name from its message.
    std::vector<std::string> names;
};

namespace {

LinkOutput linkChosen(const std::vector<fs::path>& urls, const std::vector<SourceFolder>& existing,
                      const Repository& repository, std::stop_token stop) {
    const AssetImportPlan plan(urls);
    if (plan.files.size() > AssetImport::maximumFiles) throw SorvikError::message("一次最多关联 500 个文件。");
    LinkOutput output;
    output.folders = plan.folders.size();
    output.skipped = plan.skipped.size();
    std::unordered_set<std::string> known;
    for (const SourceFolder& source : existing) known.insert(files::resolvedPath(source.resolve()));
    for (const fs::path& folder : plan.folders) {
        if (known.insert(files::resolvedPath(folder)).second) output.sources.push_back(SourceFolder::make(folder));
    }
    for (const fs::path& file : plan.files) output.names.push_back(file.filename().string());
    output.batch = repository.linkFilesReportingFailures(plan.files, stop);
    return output;
}

/// Whether two assets stand for one original: the same stored path or file identity.
bool sameOriginal(const IndexedAsset& a, const IndexedAsset& b) {
    const auto& x = a.file.reference;
    const auto& y = b.file.reference;
    if (!x || !y) return false;
    return x->path == y->path || FolderIndexer::sameIdentity(x->identity, y->identity);
}

/// The linked assets merged into a copy of the library and matched again.
struct Merged {
    std::vector<IndexedAsset> assets;
    std::vector<Delivery> projects;
};

}  // namespace

void AppStore::chooseFiles() {
    if (isBusy_ || recoveryMode_) return;
    const std::vector<fs::path> urls = runChooser({
        .kind = ChooserRequest::Kind::files,
        .title = L("关联素材"),
        .prompt = L("关联原文件"),
        .message = L("项目保存原文件的引用。新文件将持续从连接的来源文件夹中发现。"),
        .multiple = true,
        .purpose = "files",
    });
    if (urls.empty()) return;
    importURLs(urls);
}

void AppStore::importURLs(const std::vector<fs::path>& urls) {
    if (isBusy_ || recoveryMode_ || urls.empty() || !repository_) return;
    ChangeBatch batch(*this);
    std::optional<UUID> target;
    if (section_ == WorkspaceSection::project) target = selectedID_;
    setBusy(true);
    setActivity("正在读取与检查文件…");
    setNotice(std::nullopt);
    auto work = [urls, existing = workspace_->sources, repository = *repository_](std::stop_token stop) {
        return linkChosen(urls, existing, repository, stop);
    };
    runJob<LinkOutput>(lifetimeStop_.get_token(), std::move(work), [this, target](JobOutcome<LinkOutput> outcome) {
        ChangeBatch batch(*this);
        if (endFailed(outcome.failure)) return;
        mergeLinked(std::make_shared<LinkOutput>(std::move(*outcome.value)), target);
    });
}

void AppStore::mergeLinked(std::shared_ptr<LinkOutput> linked, std::optional<UUID> target) {
    // Matching a whole library is worker work; it runs again when the projects change meanwhile.
    auto work = [linked, target](const GroupingInput& input, std::stop_token stop) {
        WorkspaceState copy;
        copy.assets = input.workspace->assets;
        copy.projects = *input.projects;
        copy.deletedProjects = input.workspace->deletedProjects;
        copy.linkAssets(linked->batch.assets, target, std::move(stop));
        return Merged{std::move(copy.assets), std::move(copy.projects)};
    };
    runGrouping<Merged>(lifetimeStop_.get_token(), std::move(work), [this, linked](JobOutcome<Merged> outcome) {
        ChangeBatch batch(*this);
        if (endFailed(outcome.failure)) return;
        setAssets(std::move(outcome.value->assets));
        for (SourceFolder& source : linked->sources) workspace_.edit().sources.push_back(source);
        // A linked original has its project decided again: undoing an older removal would undo that.
        if (removedAssociation_) {
            for (const IndexedAsset& asset : linked->batch.assets) {
                if (sameOriginal(*removedAssociation_, asset)) {
                    dropUndoFor(removedAssociation_->id());
                    break;
                }
            }
        }
        setDeliveries(std::move(outcome.value->projects));
        projectFilesEdited_ = true;
        mark(StoreChange::sources | StoreChange::assets);
        refreshAccessScopes();
        persist([this, linked](bool saved) {
            if (!saved) return;
            ChangeBatch batch(*this);
            // Stored in Chinese; shown through the catalogue's template.
            setNotice("已连接 " + std::to_string(linked->sources.size()) + " 个文件夹，关联 " +
                      std::to_string(linked->batch.assets.size()) + " 个文件，跳过 " + std::to_string(linked->skipped) +
                      " 项。");
            if (!linked->batch.failures.empty()) {
                std::string text = L("部分文件读取失败，其余文件已保留。");
                for (const std::string& failure : linked->batch.failures) {
                    text += "\n" + linkFailureLine(failure, linked->names);
                }
                setError(std::move(text));
            }
            if (linked->folders > 0) {
                QMetaObject::invokeMethod(
                    this, [this] { scanFolders(true); }, Qt::QueuedConnection);
            }
        });
        setBusy(false);
    });
}

void AppStore::editFile(const DeliveryFile& edited) {
    // In recovery mode the edit could never be saved.
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    DeliveryFile current = file(edited.id).value_or(edited);
    const auto& a = current.reference;
    const auto& b = edited.reference;
    bool changed = false;
    if (a.has_value() != b.has_value() || (a && b && a->modifiedAt != b->modifiedAt)) {
        changed = true;
    } else {
        changed = current.bytes != edited.bytes;
    }
    current.role = edited.role;
    current.crop = edited.crop;
    if (edited.editedText) {
        current.editedText = edited.editedText;
    } else if (!changed) {
        current.editedText.reset();
    } else {
        current.editedText = edited.text != current.text ? edited.text : std::nullopt;
    }
    if (changed) {
        current.sourceUpdatePending = true;
    } else {
        current.sourceUpdatePending.reset();
    }
    if (IndexedAsset* asset = assetFor(current.id)) {
        asset->file = current;
        mark(StoreChange::assets);
    }
    for (const Delivery& delivery : *deliveries_) {
        for (const DeliveryFile& candidate : delivery.files) {
            if (candidate.id != current.id) continue;
            update(delivery.id, [&current](Delivery& project) {
                for (DeliveryFile& f : project.files) {
                    if (f.id == current.id) {
                        f = current;
                        return;
                    }
                }
            });
            return;
        }
    }
    persist();
}

void AppStore::removeFile(const DeliveryFile& file) {
    if (isBusy_ || recoveryMode_) return;
    const Delivery* project = selected();
    if (!project) return;
    std::optional<FileRemovalUndo> undo = FileRemovalUndo::make(*project, file.id);
    if (!undo) return;
    ChangeBatch batch(*this);
    // `file` may be the project's own record, which the removal below overwrites.
    const UUID fileID = file.id;
    const std::string name = file.name;
    removalUndo_ = std::move(undo);
    if (IndexedAsset* asset = assetFor(fileID)) {
        removedAssociation_ = *asset;
        asset->projectID.reset();
        asset->assignment = AssignmentMode::unassigned;
        asset->reason = "已从项目解除关联";
        mark(StoreChange::assets);
    } else {
        removedAssociation_.reset();
    }
    update(std::nullopt, [fileID](Delivery& delivery) {
        std::erase_if(delivery.files, [&](const DeliveryFile& f) { return f.id == fileID; });
    });
    setNotice("已从交付中移除“" + name + "”。原文件仍在。");
}

void AppStore::undoRemove() {
    if (isBusy_ || recoveryMode_ || !canUndo() || !removalUndo_) return;
    ChangeBatch batch(*this);
    const FileRemovalUndo undo = *removalUndo_;
    const std::optional<IndexedAsset> association = std::move(removedAssociation_);
    removalUndo_.reset();
    removedAssociation_.reset();
    mark(StoreChange::messages);
    const IndexedAsset* asset = association ? std::as_const(*this).assetFor(association->id()) : nullptr;
    // An asset that found another project since is left there: undo would take it back.
    if (asset && asset->projectID) return;
    std::optional<DeliveryFile> preferred;
    if (asset) preferred = asset->file;
    bool restored = false;
    update(undo.deliveryID(), [&](Delivery& delivery) {
        restored = undo.restore(delivery);
        if (!restored || !preferred) return;
        for (DeliveryFile& f : delivery.files) {
            if (f.id == preferred->id) {
                f = *preferred;
                break;
            }
        }
    });
    // The save above shared the index: the asset is looked up again to change it.
    if (restored && asset) {
        IndexedAsset* edited = assetFor(association->id());
        edited->projectID = association->projectID;
        edited->assignment = association->assignment;
        edited->reason = association->reason;
        mark(StoreChange::assets);
        persist();
    }
    if (restored) setNotice("已撤销移除，后续编辑与新文件已保留。");
}

bool AppStore::canExport() const {
    const bool selection = selected() != nullptr;
    // The checks run only when nothing else already says no.
    return exportAllowed(isBusy_, selection, !isBusy_ && selection && hasErrors());
}

void AppStore::exportCommand() {
    if (!canExport()) return;
    if (!issues().empty()) {
        setShowWarnings(true);
    } else {
        chooseExportDestination(false);
    }
}

void AppStore::chooseExportDestination(bool allowWarnings) {
    if (isBusy_ || !selected() || !repository_) return;
    const std::string name = selected()->name;
    const std::vector<fs::path> urls = runChooser({
        .kind = ChooserRequest::Kind::folders,
        .title = L("导出交付包"),
        .prompt = L("导出到这里"),
        .message =
            L("将创建“{0}”文件夹，包含文件、清单与检查说明。同名文件夹会自动编号。", DeliveryExporter::safeName(name)),
        .canCreateFolders = true,
        .purpose = "export",
    });
    // The chooser ran a nested event loop: the selection or the busy state may have changed.
    if (urls.empty() || isBusy_ || !selected() || !repository_) return;
    ChangeBatch batch(*this);
    setBusy(true);
    setActivity("正在校验并导出…");
    const Delivery project = *selected();
    // A quit stops the export (its unfinished package is removed); one that ended is recorded
    // even when its answer comes too late to arrive.
    runningExport_ = std::make_shared<ExportResult>();
    runningExport_->project = project.id;
    preferences_.setExportUnderWay(QString::fromStdString(urls.front().string()));
    // Originals in a source are opened below its folder.
    std::vector<fs::path> sourceFolders;
    for (const SourceFolder& source : workspace_->sources) sourceFolders.push_back(source.resolve());
    auto work = [project, repository = *repository_, folder = urls.front(), allowWarnings, result = runningExport_,
                 sourceFolders = std::move(sourceFolders)](std::stop_token stop) {
        AccessScopes scope;
        scope.start(folder);
        ExportReceipt receipt =
            DeliveryExporter::exportDelivery(project, repository, folder, allowWarnings, stop, {}, sourceFolders);
        std::lock_guard lock(result->mutex);
        result->receipt = receipt;
        return receipt;
    };
    runJob<ExportReceipt>(lifetimeStop_.get_token(), std::move(work),
                          [this, id = project.id](JobOutcome<ExportReceipt> outcome) {
                              runningExport_.reset();
                              preferences_.setExportUnderWay({});
                              ChangeBatch batch(*this);
                              if (outcome.failure) {
                                  setError(describe(outcome.failure));
                              } else {
                                  const ExportReceipt receipt = *outcome.value;
                                  update(id, [&receipt](Delivery& delivery) { delivery.exports.push_back(receipt); });
                                  lastExport_ = receipt;
                                  mark(StoreChange::lastExport);
                                  setNotice(std::nullopt);
                                  if (preferences_.revealAfterExport()) revealItem(receipt.path);
                              }
                              setBusy(false);
                          });
}

void AppStore::savePreset(const DeliveryTemplate& templ) {
    if (recoveryMode_) return;
    for (const TemplatePreset& preset : presets_) {
        if (preset.templ == templ) return;
    }
    ChangeBatch batch(*this);
    std::vector<TemplatePreset> list = presets_;
    list.push_back(TemplatePreset{UUID::make(), templ});
    presets_ = list;
    mark(StoreChange::presets);
    setNotice("已保存常用规则“" + templ.name + "”。");
    // Written off the GUI thread, as the workspace is; a failure takes the preset back.
    if (repository_) saver_->savePresets(*repository_, std::move(list), ++presetsGeneration_);
}

}  // namespace sorvik::app
