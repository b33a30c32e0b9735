#include "Sorvik/Stores/AppStore.hpp"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Localization.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "Sorvik/Stores/ProjectSearch.hpp"
#include "Sorvik/Support/AppConfiguration.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

namespace {
// How long quitting waits for the library's file system before it counts the save as failed.
constexpr std::chrono::seconds quitSaveLimit{5};

std::string loadFailureMessage(const std::string& description) {
    return "资料库读取失败：" + description + "\n原资料库已保留，请先在设置中查看位置。";
}
}  // namespace

std::string describe(const std::exception_ptr& failure) {
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const SorvikError& error) {
        return error.errorDescription();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
    }
    return "发生未知错误";
}

bool isCancellation(const std::exception_ptr& failure) {
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
    }
    return false;
}

AppStore::AppStore(const LibraryChoice& library, Platform& platform, Preferences& preferences,
                   std::unique_ptr<JobRunner> jobs, AppLocations locations, bool saveInBackground, QObject* parent)
    : QObject(parent), platform_(platform), preferences_(preferences), jobs_(std::move(jobs)),
      mailbox_(std::make_shared<Mailbox>(this)), locations_(std::move(locations)) {
    saver_ =
        std::make_unique<LibrarySaver>(saveInBackground, [this](std::uint64_t generation, std::exception_ptr failure) {
            if (QThread::currentThread() == thread()) {
                saveFinished(generation, failure);
                return;
            }
            // The saver reports nothing once shut down, which the store does before it goes away.
            QMetaObject::invokeMethod(
                this, [this, generation, failure = std::move(failure)] { saveFinished(generation, failure); },
                Qt::QueuedConnection);
        });
    saver_->setPresetsFinished([this, mailbox = mailbox_](std::uint64_t generation, std::exception_ptr failure) {
        if (QThread::currentThread() == thread()) {
            presetsSaved(generation, failure);
            return;
        }
        mailbox->post([this, generation, failure = std::move(failure)] { presetsSaved(generation, failure); });
    });
    connect(&timer_, &QTimer::timeout, this, &AppStore::tick);
    searchUpdate_.setSingleShot(true);
    searchUpdate_.setInterval(250);
    connect(&searchUpdate_, &QTimer::timeout, this, &AppStore::updateSearchIndexNow);
    projectSearch_ = std::make_unique<ProjectSearch>(*this, [this] {
        // Results shown for the typed text may change with the new index.
        if (!search_.empty()) mark(StoreChange::search);
    });
    if (library.preload) {
        pendingStart_ = library;
    } else {
        start(library);
    }
}

AppStore::~AppStore() { shutdown(); }

void AppStore::finishStarting() {
    if (!pendingStart_ || loading_) return;
    // A library read in a moment opens before the window is first drawn; a larger one, or one on
    // a disk that stalls, is not waited for.
    if (pendingStart_->folder && pendingStart_->answers && pendingStart_->preload &&
        !pendingStart_->preload->waitFinished(std::chrono::milliseconds(300))) {
        ChangeBatch batch(*this);
        loading_ = true;
        setBusy(true);
        setActivity("正在读取资料库…");
        pendingStart_->preload->whenFinished([mailbox = mailbox_, this] {
            mailbox->post([this] {
                ChangeBatch batch(*this);
                loading_ = false;
                setBusy(false);
                setActivity({});
                finishStarting();
            });
        });
        return;
    }
    const LibraryChoice library = std::move(*pendingStart_);
    pendingStart_.reset();
    start(library);
    removeAbandonedExports();
}

void AppStore::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    timer_.stop();
    searchUpdate_.stop();
    scanStop_.request_stop();
    lifetimeStop_.request_stop();
    mailbox_->close();
    // A job stuck in the kernel (a dead mount) is not waited for beyond the patience.
    workersEnded_ = jobs_->shutdown(shutdownPatience_);
    recordFinishedExport();
    projectSearch_->shutdown();
    // What is held in memory only is written before the app goes, unasked (a logout, a signal, a
    // failed save earlier); the quit command has asked through saveBeforeQuit already.
    if (!quitUnsaved_ && hasUnsavedChanges()) handOverSave();
    const bool written = saver_->shutdown(quitUnsaved_ ? std::chrono::seconds(0) : quitSaveLimit);
    workersEnded_ = workersEnded_ && written;
}

void AppStore::flushSaves() {
    saver_->drain(std::chrono::minutes(5));
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool AppStore::hasUnsavedChanges() const {
    if (recoveryMode_ || !repository_) return false;
    return savedGeneration_ < saveGeneration_ || persistedRevision_ != dataRevision_ ||
           presetsFinished_ < presetsGeneration_;
}

void AppStore::saveBeforeQuit() {
    // A second quit while the question is open leaves it to the first.
    if (savingToQuit_) return;
    savingToQuit_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{savingToQuit_};
    while (!shutDown_ && !quitInterrupted_ && hasUnsavedChanges()) {
        // Silent: the question below is what reports a failure here. A newest state already on its
        // way is waited for, not written twice.
        if (persistedRevision_ != dataRevision_ || finishedGeneration_ >= saveGeneration_) {
            automaticSave_ = true;
            persist({}, true);
            automaticSave_ = false;
        }
        // The window goes on drawing meanwhile: a stalled disk must not freeze it.
        const bool answered = waitForSaves(quitSaveLimit);
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (quitInterrupted_ || !hasUnsavedChanges()) return;
        // A job's result delivered meanwhile may have asked for another save: wait for that one.
        if (answered && !saveFailure_) continue;
        std::string detail = answered ? L(*saveFailure_) : L("资料库没有响应，所在的磁盘或网络位置可能不可用。");
        detail += "\n\n" + L("释放空间或修复权限后可以重试；不保存就退出，这些更改会丢失。");
        UnsavedQuitRequest request{
            repository_->root(), L("更改尚未保存"), L("资料库“{0}”中的更改尚未保存。", {repository_->root().string()}),
            std::move(detail),   L("重试"),         L("不保存并退出")};
        ++modalDepth_;
        const UnsavedQuitChoice choice = platform_.askUnsavedQuit(request);
        --modalDepth_;
        if (quitInterrupted_) return;
        // The question ran a nested event loop: a job may have saved meanwhile.
        if (choice == UnsavedQuitChoice::quitWithoutSaving) {
            quitUnsaved_ = hasUnsavedChanges();
            return;
        }
    }
}

void AppStore::start(const LibraryChoice& library) {
    ChangeBatch batch(*this);
    if (!library.folder) {
        enterRecovery(loadFailureMessage(library.failure));
        return;
    }
    if (!library.answers) {
        enterRecovery("资料库“" + library.folder->string() + "”没有响应，所在的磁盘或网络位置可能不可用。");
        return;
    }
    try {
        repository_.emplace(*library.folder);
    } catch (...) {
        enterRecovery(loadFailureMessage(describe(std::current_exception())));
        return;
    }
    try {
        // Taken before the files are read: a file replaced meanwhile is never written over.
        std::shared_ptr<LibraryGuard> guard = library.guard ? library.guard : LibraryGuard::open(*library.folder);
        const std::vector<std::pair<std::string, FileStamp>> stamps = libraryStamps(*guard);
        std::optional<WorkspaceState> preloaded;
        if (library.preload) preloaded = library.preload->take();
        WorkspaceState loaded = preloaded ? std::move(*preloaded) : repository_->loadWorkspace();
        // The project list lives in `deliveries_`; the workspace gets it back when it is saved.
        deliveries_.assign(std::move(loaded.projects));
        loaded.projects.clear();
        workspace_.assign(std::move(loaded));
        assetIndexValid_ = false;
        projectFilesEdited_ = true;
        presets_ = repository_->loadPresets();
        guard->accept(stamps);
        repository_->guardWrites(std::move(guard));
        savedPresets_ = presets_;
    } catch (...) {
        enterRecovery(loadFailureMessage(describe(std::current_exception())));
        return;
    }
    if (!library.lockFailure.empty()) {
        // Another process may write this library: shown, never written.
        enterRecovery("无法独占使用这个资料库：" + library.lockFailure +
                      "\n为免两个程序同时写入，本次只读打开，所做的更改不会保存。");
        return;
    }
    if (!deliveries_->empty()) selectedID_ = deliveries_->front().id;
    refreshAccessScopes();
    timer_.start(static_cast<int>(AppConfiguration::scanInterval() * 1000));
    if (!workspace_->sources.empty() && workspace_->automaticScan) {
        QTimer::singleShot(0, this, [this] { scanFolders(true); });
    }
    mark(StoreChange::projects | StoreChange::selection | StoreChange::assets | StoreChange::sources |
         StoreChange::settings | StoreChange::presets | StoreChange::deleted);
    // What was just read is what the library holds.
    persistedRevision_ = dataRevision_;
}

void AppStore::enterRecovery(std::string message) {
    assetIndexValid_ = false;
    recoveryReason_ = message;
    error_ = std::move(message);
    recoveryMode_ = true;
    selectedID_.reset();
    mark(StoreChange::messages | StoreChange::projects | StoreChange::selection | StoreChange::assets |
         StoreChange::sources | StoreChange::settings | StoreChange::presets | StoreChange::deleted);
}

// Changes --------------------------------------------------------------------------------------

void AppStore::beginChanges() { ++changeDepth_; }

void AppStore::endChanges() {
    // A save given up for a change of this operation is followed by one of the newer state,
    // unless a newer save was handed over already.
    if (changeDepth_ == 1 && givenUpGeneration_ != 0) {
        const std::uint64_t givenUp = std::exchange(givenUpGeneration_, 0);
        if (givenUp == saveGeneration_ && !shutDown_ && !recoveryMode_ && repository_) handOverSave();
    }
    if (--changeDepth_ > 0 || !pendingChanges_) return;
    if (shutDown_) {
        // Nothing is published once the store has shut down (its last save folds the files).
        pendingChanges_ = {};
        return;
    }
    const StoreChanges what = pendingChanges_;
    pendingChanges_ = {};
    // The search index follows the data once changes settle: a burst of changes (a scan, a sheet
    // saving several times) copies the library for the index once, and never before the first
    // window is drawn. Until then searches use the older index and match the rest directly.
    if (what & (StoreChange::projects | StoreChange::assets)) searchUpdate_.start();
    emit changed(what);
    // The views have read the new state: copies replaced during the operation can go.
    if (changeDepth_ == 0) {
        workspace_.releaseRetired();
        deliveries_.releaseRetired();
    }
}

void AppStore::updateSearchIndexNow() {
    searchUpdate_.stop();
    if (!shutDown_) {
        // An index of data about to change is given up rather than making the change copy it.
        std::stop_source giveUp;
        const auto yield = [giveUp]() mutable { return giveUp.request_stop() || true; };
        const std::shared_ptr<const WorkspaceState> workspace = workspace_.share(yield);
        projectSearch_->dataChanged(searchRevision_, deliveries_.share(yield),
                                    std::shared_ptr<const std::vector<IndexedAsset>>(workspace, &workspace->assets),
                                    giveUp.get_token());
    }
}

void AppStore::mark(StoreChanges what) {
    if (what.testFlag(StoreChange::projects)) ++projectsRevision_;
    if (what & (StoreChange::projects | StoreChange::assets)) ++searchRevision_;
    if (what & (StoreChange::projects | StoreChange::assets | StoreChange::sources | StoreChange::settings |
                StoreChange::deleted)) {
        ++dataRevision_;
    }
    pendingChanges_ |= what;
    if (changeDepth_ == 0) {
        // A change outside any operation still goes out as one signal.
        ChangeBatch batch(*this);
    }
}

void AppStore::setBusy(bool busy) {
    if (isBusy_ == busy) return;
    isBusy_ = busy;
    mark(StoreChange::busy);
}

void AppStore::setActivity(std::string text) {
    if (activity_ == text) return;
    activity_ = std::move(text);
    mark(StoreChange::busy);
}

void AppStore::setError(std::string text) {
    error_ = std::move(text);
    errorLocation_.reset();
    mark(StoreChange::messages);
}

void AppStore::setNotice(std::optional<std::string> text) {
    // A save that keeps failing stays said until a save succeeds.
    if (!text && saveFailureNotice_) text = saveFailureNotice_;
    if (notice_ == text) return;
    notice_ = std::move(text);
    mark(StoreChange::messages);
}

void AppStore::setDeliveries(std::vector<Delivery> deliveries) {
    deliveries_.assign(std::move(deliveries));
    mark(StoreChange::projects);
}

void AppStore::setAssets(std::vector<IndexedAsset> assets) {
    // Matching changes the assets' projects, not their places: the index by identifier still holds.
    const std::vector<IndexedAsset>& before = workspace_->assets;
    const bool samePlaces = assetIndexValid_ && before.size() == assets.size() &&
                            std::equal(before.begin(), before.end(), assets.begin(),
                                       [](const IndexedAsset& a, const IndexedAsset& b) { return a.id() == b.id(); });
    if (workspace_.isShared()) {
        // Everything but the index is copied; the old index stays with the snapshots.
        const WorkspaceState& now = *workspace_;
        WorkspaceState next;
        next.schemaVersion = now.schemaVersion;
        next.sources = now.sources;
        next.automaticScan = now.automaticScan;
        next.recognizeImageText = now.recognizeImageText;
        next.archiveFolder = now.archiveFolder;
        next.automaticArchive = now.automaticArchive;
        next.archives = now.archives;
        next.lastScan = now.lastScan;
        next.scanSummary = now.scanSummary;
        next.deletedProjects = now.deletedProjects;
        next.assets = std::move(assets);
        workspace_.assign(std::move(next));
    } else {
        workspace_.edit().assets = std::move(assets);
    }
    assetIndexValid_ = samePlaces;
    mark(StoreChange::assets);
}

// Fields the views write --------------------------------------------------------------------------

void AppStore::setSearch(const std::string& text) {
    if (search_ == text) return;
    ChangeBatch batch(*this);
    search_ = text;
    mark(StoreChange::search);
}

void AppStore::setSheet(std::optional<AppSheet> sheet) {
    if (sheet_ == sheet) return;
    ChangeBatch batch(*this);
    sheet_ = std::move(sheet);
    mark(StoreChange::sheet);
}

void AppStore::setShowWarnings(bool shown) {
    if (showWarnings_ == shown) return;
    ChangeBatch batch(*this);
    showWarnings_ = shown;
    mark(StoreChange::sheet);
}

void AppStore::setShowOnlyIssues(bool only) {
    if (showOnlyIssues_ == only) return;
    ChangeBatch batch(*this);
    showOnlyIssues_ = only;
    mark(StoreChange::selection);
}

void AppStore::setProjectFilter(FileFilter filter) {
    if (projectFilter_ == filter) return;
    ChangeBatch batch(*this);
    projectFilter_ = filter;
    mark(StoreChange::selection);
}

void AppStore::clearError() {
    if (!error_) return;
    ChangeBatch batch(*this);
    error_.reset();
    errorLocation_.reset();
    mark(StoreChange::messages);
}

void AppStore::clearNotice() {
    ChangeBatch batch(*this);
    setNotice(std::nullopt);
}

void AppStore::setAutomaticScan(bool on) {
    ChangeBatch batch(*this);
    workspace_.edit().automaticScan = on;
    mark(StoreChange::settings);
    persist();
}

void AppStore::setRecognizeImageText(bool on) {
    ChangeBatch batch(*this);
    workspace_.edit().recognizeImageText = on;
    mark(StoreChange::settings);
    persist();
}

void AppStore::setAutomaticArchive(bool on) {
    ChangeBatch batch(*this);
    workspace_.edit().automaticArchive = on;
    mark(StoreChange::settings);
    persist();
    if (on) archiveNow();
}

// Derived values ------------------------------------------------------------------------------------

const Delivery* AppStore::selected() const {
    if (!selectedID_) return nullptr;
    for (const Delivery& delivery : *deliveries_) {
        if (delivery.id == *selectedID_) return &delivery;
    }
    return nullptr;
}

bool AppStore::hasErrors() const {
    const Delivery* project = selected();
    if (!project) return false;
    for (const DeliveryCheck& check : CheckEngine::checks(*project)) {
        if (check.level == CheckLevel::error) return true;
    }
    return false;
}

std::vector<DeliveryCheck> AppStore::issues() const {
    std::vector<DeliveryCheck> result;
    const Delivery* project = selected();
    if (!project) return result;
    for (DeliveryCheck& check : CheckEngine::checks(*project)) {
        if (check.level != CheckLevel::pass) result.push_back(std::move(check));
    }
    return result;
}

bool AppStore::latestIsCurrent() const {
    const Delivery* project = selected();
    if (!project || project->exports.empty()) return false;
    return project->exports.back().signature == DeliveryExporter::signature(*project);
}

bool AppStore::canUndo() const { return removalUndo_ && selectedID_ && removalUndo_->deliveryID() == *selectedID_; }

// Persistence, selection, updates ---------------------------------------------------------------------

bool AppStore::persist(std::function<void(bool saved)> done, bool silent) {
    if (recoveryMode_ || !repository_) return false;
    ChangeBatch batch(*this);
    if (done) saveWaiters_.emplace_back(saveGeneration_ + 1, std::move(done));
    if (!silent) loudGeneration_ = saveGeneration_ + 1;
    if (!automaticSave_) userEditGeneration_ = saveGeneration_ + 1;
    handOverSave();
    return true;
}

std::uint64_t AppStore::handOverSave() {
    // Each asset takes the record of the first project file with its identifier, so the user's
    // edits of a project file reach the index. Matching builds the projects' files from the
    // assets: only an edit of the projects since the last save can make them differ.
    if (projectFilesEdited_) syncAssetFiles();
    persistedRevision_ = dataRevision_;
    const std::uint64_t generation = ++saveGeneration_;
    // While the library is read again, the state is kept beside it once read, not written over it.
    if (reloading_) return generation;
    // The saver reads snapshots: handing them over copies nothing. A later change gives the save
    // up while it is still being encoded, instead of copying the library, unless someone waits
    // for this very save (quitting, an operation's answer).
    if (savingToQuit_ || shutDown_ || !saveWaiters_.empty()) {
        saver_->save(*repository_, workspace_.share(), deliveries_.share(), generation);
    } else {
        const auto yield = [this, generation] {
            const bool letGo = saver_->yield(generation);
            // Given up for the change that asks: a save of the changed state follows it.
            if (saver_->gaveUp(generation)) givenUpGeneration_ = std::max(givenUpGeneration_, generation);
            return letGo;
        };
        saver_->save(*repository_, workspace_.share(yield), deliveries_.share(yield), generation);
    }
    return generation;
}

void AppStore::syncAssetFiles() {
    projectFilesEdited_ = false;
    std::unordered_map<UUID, const DeliveryFile*> files;
    for (const Delivery& delivery : *deliveries_) {
        for (const DeliveryFile& file : delivery.files) files.try_emplace(file.id, &file);
    }
    std::vector<std::pair<std::size_t, const DeliveryFile*>> changedFiles;
    const std::vector<IndexedAsset>& assets = workspace_->assets;
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const auto it = files.find(assets[i].file.id);
        if (it != files.end() && !(assets[i].file == *it->second)) changedFiles.emplace_back(i, it->second);
    }
    if (!changedFiles.empty()) {
        std::vector<IndexedAsset>& edited = workspace_.edit().assets;
        for (const auto& [position, file] : changedFiles) edited[position].file = *file;
        mark(StoreChange::assets);
    }
}

void AppStore::saveFinished(std::uint64_t generation, const std::exception_ptr& failure) {
    if (shutDown_) return;
    ChangeBatch batch(*this);
    if (libraryWriteRefused(generation, failure)) return;
    const bool loud = loudGeneration_ > finishedGeneration_ && loudGeneration_ <= generation;
    finishedGeneration_ = generation;
    if (failure) {
        // Said once while saves keep failing (a read-only library fails every timer scan): the
        // alert for the first loud failure, a notice that stays; the next save tries again.
        const std::string description = describe(failure);
        if (loud && !saveFailure_) setError("保存失败：" + description);
        saveFailure_ = description;
        // The notice keeps the first failure's words: each attempt names another temporary file.
        if (!saveFailureNotice_) {
            saveFailureNotice_ = "资料库暂未保存，更改保留在内存中，下次更改或退出时会再试：" + description;
            setNotice(saveFailureNotice_);
        }
    } else {
        savedGeneration_ = generation;
        if (saveFailureNotice_) {
            const std::optional<std::string> stale = std::move(saveFailureNotice_);
            saveFailureNotice_.reset();
            saveFailure_.reset();
            if (notice_ == stale) setNotice(std::nullopt);
        }
    }
    // A write carries every earlier state too: it answers all who waited for one of them.
    std::vector<std::function<void(bool)>> answered;
    std::erase_if(saveWaiters_, [&](auto& waiter) {
        if (waiter.first > generation) return false;
        answered.push_back(std::move(waiter.second));
        return true;
    });
    for (auto& done : answered) done(!failure);
}

void AppStore::select(const UUID& id) {
    ChangeBatch batch(*this);
    selectedID_ = id;
    section_ = WorkspaceSection::project;
    if (lastExport_) mark(StoreChange::lastExport);
    lastExport_.reset();
    setNotice(std::nullopt);
    showOnlyIssues_ = false;
    projectFilter_ = FileFilter::all;
    mark(StoreChange::selection);
}

void AppStore::update(const std::optional<UUID>& id, const std::function<void(Delivery&)>& change) {
    if (recoveryMode_) return;
    const std::optional<UUID> target = id ? id : selectedID_;
    if (!target) return;
    const auto found = std::find_if(deliveries_->begin(), deliveries_->end(),
                                    [&](const Delivery& delivery) { return delivery.id == *target; });
    if (found != deliveries_->end()) {
        const auto position = found - deliveries_->begin();
        ChangeBatch batch(*this);
        Delivery& delivery = deliveries_.edit()[static_cast<std::size_t>(position)];
        projectFilesEdited_ = true;
        change(delivery);
        delivery.updatedAt = platform_.now();
        mark(StoreChange::projects);
        if (lastExport_) mark(StoreChange::lastExport);
        lastExport_.reset();
        persist();
        return;
    }
}

void AppStore::newDelivery() {
    if (isBusy_ || recoveryMode_) return;
    ChangeBatch batch(*this);
    Delivery delivery(UUID::make(), L("未命名项目"), {}, DeliveryTemplate::flexible());
    delivery.createdAt = delivery.updatedAt = platform_.now();
    const UUID id = delivery.id;
    std::vector<Delivery>& projects = deliveries_.edit();
    projects.insert(projects.begin(), std::move(delivery));
    mark(StoreChange::projects);
    selectedID_ = id;
    section_ = WorkspaceSection::project;
    mark(StoreChange::selection);
    if (lastExport_) mark(StoreChange::lastExport);
    lastExport_.reset();
    setNotice(std::nullopt);
    persist();
    setSheet(AppSheet::projectRules());
}

void AppStore::refreshAccessScopes() {
    accessScopes_.stopAll();
    for (const SourceFolder& source : workspace_->sources) {
        if (source.enabled) accessScopes_.start(source.resolve());
    }
    if (workspace_->archiveFolder) accessScopes_.start(workspace_->archiveFolder->resolve());
    for (const IndexedAsset& asset : workspace_->assets) {
        if (!asset.sourceID && asset.file.reference) accessScopes_.start(asset.file.reference->resolve(true));
    }
}

void AppStore::tick() {
    // Nothing starts while a chooser or the alert is open: their nested event loops run ticks.
    if (!workspace_->automaticScan || isBusy_ || recoveryMode_ || sheet_ || showWarnings_) return;
    if (modalDepth_ > 0 || error_) return;
    scanFolders(true);
}

std::vector<fs::path> AppStore::runChooser(const ChooserRequest& request) {
    ++modalDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{modalDepth_};
    std::vector<fs::path> chosen = platform_.choose(request);
    // Quitting ends the chooser's event loop: what was chosen is not acted on.
    if (shutDown_) return {};
    return chosen;
}

const std::unordered_map<UUID, std::size_t>& AppStore::assetIndex() const {
    if (!assetIndexValid_) {
        assetIndex_.clear();
        const std::vector<IndexedAsset>& assets = workspace_->assets;
        assetIndex_.reserve(assets.size());
        for (std::size_t i = 0; i < assets.size(); ++i) assetIndex_.try_emplace(assets[i].id(), i);
        assetIndexValid_ = true;
    }
    return assetIndex_;
}

const IndexedAsset* AppStore::assetFor(const UUID& id) const {
    const auto& index = assetIndex();
    const auto it = index.find(id);
    return it == index.end() ? nullptr : &workspace_->assets[it->second];
}

std::size_t AppStore::distinctAssetCount() const {
    if (distinctAssets_ && distinctAssets_->first == searchRevision_) return distinctAssets_->second;
    const auto& assets = assetIndex();
    // Files are nearly always indexed assets too: only the others are collected.
    std::unordered_set<UUID> others;
    for (const Delivery& project : deliveries()) {
        for (const DeliveryFile& file : project.files) {
            if (!assets.contains(file.id)) others.insert(file.id);
        }
    }
    distinctAssets_.emplace(searchRevision_, assets.size() + others.size());
    return distinctAssets_->second;
}

IndexedAsset* AppStore::assetFor(const UUID& id) {
    // Only for a change: a snapshot held elsewhere keeps the asset as it was.
    const IndexedAsset* found = std::as_const(*this).assetFor(id);
    if (!found) return nullptr;
    const std::size_t position = static_cast<std::size_t>(found - workspace_->assets.data());
    return &workspace_.edit().assets[position];
}

}  // namespace sorvik::app
