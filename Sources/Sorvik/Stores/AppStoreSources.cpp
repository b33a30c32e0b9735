// Source folders, the sample folders and the archive folder.
#include <system_error>
#include <unordered_set>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

namespace {

/// The folders to add: those whose kernel-resolved path is neither an existing source's nor an
/// earlier one's of the same choice, as new sources in the order chosen.
std::vector<SourceFolder> newSources(const std::vector<fs::path>& urls, const std::vector<SourceFolder>& existing) {
    std::unordered_set<std::string> known;
    for (const SourceFolder& source : existing) known.insert(files::resolvedPath(source.resolve()));
    std::vector<SourceFolder> added;
    for (const fs::path& url : urls) {
        if (!known.insert(files::resolvedPath(url)).second) continue;
        added.push_back(SourceFolder::make(url));
    }
    return added;
}

/// Whether the archive candidate is a source folder or holds one, decided on kernel-resolved paths.
bool coversSource(const fs::path& candidate, const std::vector<SourceFolder>& sources) {
    for (const SourceFolder& source : sources) {
        if (files::isInsideOrEqual(source.resolve(), candidate)) return true;
    }
    return false;
}

}  // namespace

void AppStore::chooseSourceFolders() {
    if (isBusy_ || recoveryMode_) return;
    const std::vector<fs::path> urls = runChooser({
        .kind = ChooserRequest::Kind::folders,
        .title = L("连接素材来源"),
        .prompt = L("连接文件夹"),
        .message = L("选择 AI 工具的输出目录或素材目录。Sorvik只索引其中的文件，不移动或复制原件。"),
        .multiple = true,
        .purpose = "sources",
    });
    if (urls.empty()) return;
    connectFolders(urls);
}

void AppStore::connectFolders(const std::vector<fs::path>& urls) {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    setBusy(true);
    setActivity("正在连接来源文件夹…");
    auto work = [urls, existing = workspace_->sources](std::stop_token) { return newSources(urls, existing); };
    runJob<std::vector<SourceFolder>>(
        lifetimeStop_.get_token(), std::move(work),
        [this](JobOutcome<std::vector<SourceFolder>> outcome) { finishConnecting(std::move(outcome)); });
}

void AppStore::finishConnecting(JobOutcome<std::vector<SourceFolder>> outcome) {
    ChangeBatch batch(*this);
    if (endFailed(outcome.failure)) return;
    if (!outcome.value->empty()) {
        for (SourceFolder& source : *outcome.value) workspace_.edit().sources.push_back(std::move(source));
        mark(StoreChange::sources);
        refreshAccessScopes();
        persist();
    }
    setBusy(false);
    // Choosing folders that are all connected already rescans.
    scanFolders(false);
}

void AppStore::toggleSource(const UUID& id, bool enabled) {
    if (isBusy_) return;
    const std::vector<SourceFolder>& sources = workspace_->sources;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].id != id) continue;
        ChangeBatch batch(*this);
        workspace_.edit().sources[i].enabled = enabled;
        mark(StoreChange::sources);
        refreshAccessScopes();
        persist();
        if (enabled) scanFolders(false);
        return;
    }
}

void AppStore::loadRudidEdevov() {
    // In recovery mode nothing connected could be saved.
    if (isBusy_ || recoveryMode_ || !locations_.resources) return;
    ChangeBatch batch(*this);
    const fs::path sample = *locations_.resources / "RudidEdevov";
    const std::vector<fs::path> urls{sample / "视频输出", sample / "图片输出", sample / "文案输出"};
    for (const fs::path& url : urls) {
        std::error_code ignored;
        if (!fs::exists(url, ignored)) {
            setError("找不到分散素材示例");
            return;
        }
    }
    section_ = WorkspaceSection::projects;
    mark(StoreChange::selection);
    connectFolders(urls);
    setNotice("示例素材实际分布在 3 个目录，项目由扫描结果自动建立。");
}

void AppStore::chooseArchiveFolder() {
    if (isBusy_ || recoveryMode_) return;
    const std::vector<fs::path> urls = runChooser({
        .kind = ChooserRequest::Kind::folders,
        .title = L("选择归档位置"),
        .prompt = L("使用此文件夹"),
        .message = L("按项目生成归档副本，原文件和项目引用保持不变。重复扫描不会反复复制相同版本。"),
        .canCreateFolders = true,
        .purpose = "archive",
    });
    // The chooser ran a nested event loop: look again before starting.
    if (urls.empty() || isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    setBusy(true);
    setActivity("正在连接归档位置…");
    auto work = [url = urls.front(), sources = workspace_->sources](std::stop_token) -> std::optional<SourceFolder> {
        if (coversSource(url, sources)) return std::nullopt;
        return SourceFolder::make(url);
    };
    runJob<std::optional<SourceFolder>>(lifetimeStop_.get_token(), std::move(work),
                                        [this](JobOutcome<std::optional<SourceFolder>> outcome) {
                                            ChangeBatch batch(*this);
                                            setBusy(false);
                                            if (outcome.failure) {
                                                setError(describe(outcome.failure));
                                            } else if (!*outcome.value) {
                                                setError("归档位置不能覆盖整个来源目录，请选择一个独立文件夹。");
                                            } else {
                                                workspace_.edit().archiveFolder = std::move(**outcome.value);
                                                mark(StoreChange::settings);
                                                refreshAccessScopes();
                                                persist();
                                            }
                                        });
}

void AppStore::archiveNow() {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    if (!workspace_->archiveFolder) {
        setSheet(AppSheet::sources());
        return;
    }
    setBusy(true);
    archiveCurrentProjects(true, [this] {
        ChangeBatch batch(*this);
        setBusy(false);
    });
}

}  // namespace sorvik::app
