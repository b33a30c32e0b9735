// Scanning: the folder walk and the grouping on the worker, the result applied on the GUI thread,
// and the archiving run that may follow.
#include <unordered_map>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/ProjectArchiver.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

/// The walk's result; per source, the folder it resolves to when something stands there; why
/// the media module could not be loaded when the walk needed it.
struct ScanOutput {
    ScanResult result;
    std::unordered_map<UUID, std::string> resolvedPaths;
    std::optional<std::string> mediaFailure;
};

void AppStore::scanFolders(bool silent) {
    ChangeBatch batch(*this);
    if (isBusy_ || recoveryMode_ || (workspace_->sources.empty() && workspace_->assets.empty())) {
        if (!silent) setSheet(AppSheet::sources());
        return;
    }
    const UUID token = UUID::make();
    scanToken_ = token;
    scanCancelled_ = false;
    scanStop_ = std::stop_source();
    scanRunning_ = true;
    scanApplied_ = false;
    setBusy(true);
    setActivity("正在发现新素材…");

    std::vector<fs::path> excluded;
    if (workspace_->archiveFolder) excluded.push_back(workspace_->archiveFolder->resolve());
    fs::path libraryRoot;
    if (repository_) {
        excluded.push_back(repository_->root() / "files");
        libraryRoot = repository_->root();
    }
    auto work = [mailbox = mailbox_, store = this, token, sources = workspace_->sources, snapshot = workspace_.share(),
                 excluded, libraryRoot, recognize = workspace_->recognizeImageText, limit = scanLimit_,
                 quiet = scanQuietLimit_, stalls = stalls_](std::stop_token stop) {
        auto progress = [mailbox, store, token](const std::string& text) {
            mailbox->post([store, token, text] { store->reportScanProgress(token, text); });
        };
        ScanOutput output;
        // A source or file that did not answer in an earlier scan and is still stuck is not
        // waited on again: the timer's scans stay short while a mount is dead.
        output.result = FolderIndexer::scan(sources, snapshot->assets, excluded, libraryRoot, recognize, limit,
                                            progress, stop, 0, quiet, stalls.get());
        output.mediaFailure = media::loadFailure();
        // Only sources the walk reached are looked at again: one it found unavailable may be a
        // dead mount, where even a status call never returns.
        for (const SourceFolder& source : sources) {
            if (!source.enabled || output.result.sourceErrors.contains(source.id)) continue;
            const fs::path resolved = source.resolve();
            std::error_code ignored;
            if (fs::exists(fs::symlink_status(resolved, ignored))) output.resolvedPaths[source.id] = resolved.string();
        }
        return output;
    };
    runJob<ScanOutput>(scanStop_.get_token(), std::move(work), [this, token, silent](JobOutcome<ScanOutput> outcome) {
        if (!isCurrentScan(token)) return;  // stopped meanwhile
        ChangeBatch batch(*this);
        if (outcome.failure) {
            scanFailed(outcome.failure, silent);
            return;
        }
        setActivity("正在关联项目…");
        groupScan(std::make_shared<ScanOutput>(std::move(*outcome.value)), silent);
    });
}

void AppStore::groupScan(std::shared_ptr<ScanOutput> scan, bool silent) {
    // The grouping works on the projects as they are now; when they change before it is applied
    // (a rename, new aliases, a new project), it runs again so that no edit is lost.
    const std::optional<UUID> token = scanToken_;
    auto work = [scan](const GroupingInput& input, std::stop_token stop) {
        return ProjectMatcher::group(scan->result.assets, *input.projects, input.deleted(), std::move(stop));
    };
    auto intercept = [this, silent, token] {
        if (!isCurrentScan(token)) return true;  // stopped meanwhile
        if (!scanCancelled_) return false;
        ChangeBatch batch(*this);
        scanFailed(std::make_exception_ptr(CancellationError()), silent);
        return true;
    };
    runGrouping<ProjectMatcher::Grouping>(
        scanStop_.get_token(), std::move(work),
        [this, scan, silent](JobOutcome<ProjectMatcher::Grouping> outcome) {
            ChangeBatch batch(*this);
            if (outcome.failure) {
                scanFailed(outcome.failure, silent);
                return;
            }
            applyScan(*scan, std::move(*outcome.value), silent);
        },
        std::move(intercept));
}

void AppStore::applyScan(const ScanOutput& scan, ProjectMatcher::Grouping grouping, bool silent) {
    const ScanResult& result = scan.result;
    scanApplied_ = true;
    mark(StoreChange::busy);
    setAssets(std::move(grouping.assets));
    setDeliveries(std::move(grouping.projects));
    mark(StoreChange::assets | StoreChange::sources | StoreChange::settings);
    WorkspaceState& workspace = workspace_.edit();
    for (SourceFolder& source : workspace.sources) {
        const auto error = result.sourceErrors.find(source.id);
        if (error != result.sourceErrors.end()) {
            source.lastError = error->second;
        } else {
            source.lastError.reset();
        }
        const auto resolved = scan.resolvedPaths.find(source.id);
        if (resolved != scan.resolvedPaths.end()) source.path = resolved->second;
    }
    workspace.lastScan = platform_.now();
    workspace.scanSummary = "读取 " + std::to_string(result.inspectedCount) + " 件 · 复用 " +
                            std::to_string(result.reusedCount) + " 件索引 · 重连 " + std::to_string(result.movedCount) +
                            " 件";
    // What a scan found is no edit of the user's: it comes back with the next scan.
    automaticSave_ = true;
    persist({}, silent);
    automaticSave_ = false;
    if (!silent) {
        setNotice(result.sourceErrors.empty() ? *workspace_->scanSummary
                                              : std::string("部分来源不可用，请在来源设置中查看。其余素材已更新。"));
    }
    if (scan.mediaFailure && !mediaNoticeGiven_) {
        mediaNoticeGiven_ = true;
        setNotice("视频和文字识别暂不可用：" + *scan.mediaFailure + "。安装缺少的软件包后会自动恢复。");
    }
    if (workspace_->automaticArchive) {
        archiveCurrentProjects(!silent, [this] {
            ChangeBatch batch(*this);
            finishScan();
        });
        return;
    }
    finishScan();
}

void AppStore::scanFailed(const std::exception_ptr& failure, bool silent) {
    if (isCancellation(failure)) {
        setNotice("已停止扫描，保留上一次完整索引。");
    } else if (silent) {
        workspace_.edit().scanSummary = "扫描未完成：" + describe(failure);
        mark(StoreChange::settings);
    } else {
        setError(describe(failure));
    }
    finishScan();
}

void AppStore::finishScan() {
    setBusy(false);
    scanRunning_ = false;
    scanToken_.reset();
    mark(StoreChange::busy);
}

void AppStore::reportScanProgress(const UUID& token, const std::string& text) {
    if (shutDown_ || scanToken_ != token) return;
    ChangeBatch batch(*this);
    setActivity(text);
}

void AppStore::stopScan() {
    // Once applied, a scan is no longer a scan's to discard (its archiving run goes on).
    if (!hasScanWorker()) return;
    ChangeBatch batch(*this);
    scanCancelled_ = true;
    scanStop_.request_stop();
    setActivity("正在结束扫描…");
    // Nothing waits for the walk or the grouping: either may be stuck in the kernel on a dead
    // mount or deep in a decode. Later jobs start without it, and its late result no longer
    // matches the token.
    jobs_->abandonRunning();
    scanFailed(std::make_exception_ptr(CancellationError()), true);
}

void AppStore::archiveCurrentProjects(bool reportErrors, std::function<void()> then) {
    if (!repository_ || recoveryMode_ || !workspace_->archiveFolder) {
        if (then) then();
        return;
    }
    ChangeBatch batch(*this);
    setActivity("正在按项目归档…");
    const std::size_t previousCount = workspace_->archives.size();
    // Originals in a source are opened below its folder.
    std::vector<fs::path> sourceFolders;
    for (const SourceFolder& source : workspace_->sources) sourceFolders.push_back(source.resolve());
    auto work = [projects = deliveries_.share(), previous = workspace_->archives, repository = *repository_,
                 destination = workspace_->archiveFolder->resolve(),
                 sourceFolders = std::move(sourceFolders)](std::stop_token stop) {
        return ProjectArchiver::archive(
            *projects, repository, destination, previous, [](const std::string&) {}, stop, sourceFolders);
    };
    runJob<std::vector<ArchiveRecord>>(
        lifetimeStop_.get_token(), std::move(work),
        [this, reportErrors, previousCount, then = std::move(then)](JobOutcome<std::vector<ArchiveRecord>> outcome) {
            ChangeBatch batch(*this);
            if (outcome.failure) {
                const std::string description = describe(outcome.failure);
                if (reportErrors) {
                    setError("归档未完成：" + description);
                } else {
                    setNotice("归档暂未完成，下次扫描会重试：" + description);
                }
            } else {
                const std::size_t added = outcome.value->size() - std::min(outcome.value->size(), previousCount);
                workspace_.edit().archives = std::move(*outcome.value);
                mark(StoreChange::settings);
                // The copies count only once their records are saved.
                persist(
                    [this, added](bool saved) {
                        if (!saved || added == 0) return;
                        ChangeBatch batch(*this);
                        setNotice("已自动归档 " + std::to_string(added) + " 件新版本，原文件未移动。");
                    },
                    !reportErrors);
            }
            if (then) then();
        });
}

}  // namespace sorvik::app
