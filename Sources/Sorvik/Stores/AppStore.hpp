#pragma once
// The one store of the desktop app. It lives on the GUI thread, owns every piece of app state
// and carries out every user action; views read it and call its operations. Long work runs on
// the store's own worker and comes back as a queued call; `changed` is emitted once per
// operation, after the state is consistent.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "Sorvik/Stores/AppTypes.hpp"
#include "Sorvik/Stores/JobRunner.hpp"
#include "Sorvik/Stores/LibraryChoice.hpp"
#include "Sorvik/Stores/LibrarySaver.hpp"
#include "Sorvik/Stores/Mailbox.hpp"
#include "Sorvik/Stores/Platform.hpp"
#include "Sorvik/Stores/Preferences.hpp"
#include "Sorvik/Stores/SharedState.hpp"
#include "SorvikCore/AccessScope.hpp"
#include "SorvikCore/FileRemovalUndo.hpp"
#include "SorvikCore/LibraryGuard.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/Repository.hpp"
#include "SorvikCore/StallMemory.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

class QEventLoop;

namespace sorvik::app {

/// Where the app keeps what it ships beside the executable.
struct AppLocations {
    /// The folder holding "RudidEdevov"; absent when the app has none.
    std::optional<std::filesystem::path> resources;
    /// The sorvik-agent program named in the AI reference text.
    std::filesystem::path agent;
};

struct ScanOutput;
class ProjectSearch;
struct LinkOutput;

/// The value or the failure of a job.
template <class T>
struct JobOutcome {
    std::optional<T> value;
    std::exception_ptr failure;
};

/// The description of a failure as the store shows it: a SorvikError's message, a platform
/// error's own description.
std::string describe(const std::exception_ptr& failure);
/// Whether the failure is a cancellation.
bool isCancellation(const std::exception_ptr& failure);

class AppStore : public QObject {
    Q_OBJECT
public:
    /// Start-up: opens the library named by `library`, loads it and schedules the scan timer; a
    /// failure enters recovery mode. Never throws.
    /// `saveInBackground` false writes every save at once on the calling thread (tests).
    AppStore(const LibraryChoice& library, Platform& platform, Preferences& preferences,
             std::unique_ptr<JobRunner> jobs, AppLocations locations, bool saveInBackground = true,
             QObject* parent = nullptr);
    ~AppStore() override;
    /// With a library being read already (`LibraryChoice::preload`) the store starts empty and
    /// opens the library here. A reading that takes longer than a moment is not waited for: the
    /// store is loading (busy, saying so) until the reading ends, and opens the library then.
    /// Does nothing otherwise, or when called again.
    void finishStarting();
    /// Whether the library is still being read at start-up.
    bool isLoading() const { return loading_; }

    /// Stops the timer and long work, waits a bounded time for the worker (a job stuck in
    /// the kernel is left behind) and writes what is not saved yet (a write that does not end within
    /// seconds is left behind too); no result arrives afterwards.
    void shutdown();
    /// After `shutdown`: whether every job and the last write had ended in time. False means a
    /// thread is still running store work, and the process must leave without waiting for it.
    bool workersEnded() const { return workersEnded_; }
    /// How long `shutdown` waits for running jobs: 2 s unless a test changes it.
    void setShutdownPatience(std::chrono::milliseconds patience) { shutdownPatience_ = patience; }
    /// Returns once every save asked for has been written.
    void flushSaves();
    /// The quit command, before shutdown: writes what is not saved yet and, while that fails, asks
    /// through the platform whether to retry or to quit without it.
    void saveBeforeQuit();
    /// A quit signal while saveBeforeQuit waits or asks: the wait and the question end, and the
    /// shutdown that follows writes what it can within its bounded time, asking nobody.
    void interruptQuit();
    /// Whether a change is held in memory only: a save asked for is not written yet or failed, or
    /// a change waits for a job before it is saved (an assignment being matched).
    bool hasUnsavedChanges() const;
    /// The description of the last save's failure while saves keep failing; none once one succeeds.
    const std::optional<std::string>& saveFailure() const { return saveFailure_; }

    // Published state.
    const std::vector<Delivery>& deliveries() const { return *deliveries_; }
    const std::optional<UUID>& selectedID() const { return selectedID_; }
    bool isBusy() const { return isBusy_; }
    const std::string& activity() const { return activity_; }
    const std::optional<std::string>& error() const { return error_; }
    /// The location the error is about, when nothing could show it: the alert offers to copy it.
    const std::optional<std::filesystem::path>& errorLocation() const { return errorLocation_; }
    const std::optional<std::string>& notice() const { return notice_; }
    const std::optional<ExportReceipt>& lastExport() const { return lastExport_; }
    const std::string& search() const { return search_; }
    const std::optional<AppSheet>& sheet() const { return sheet_; }
    bool showWarnings() const { return showWarnings_; }
    bool showOnlyIssues() const { return showOnlyIssues_; }
    bool recoveryMode() const { return recoveryMode_; }
    /// Why recovery mode began (the message the alert showed); kept after the alert is dismissed.
    const std::string& recoveryReason() const { return recoveryReason_; }
    const std::vector<TemplatePreset>& presets() const { return presets_; }
    /// The persisted library but its project list, which is `deliveries()`.
    const WorkspaceState& workspace() const { return *workspace_; }
    /// Snapshots for other threads: they never change, and cost nothing until the store changes.
    std::shared_ptr<const std::vector<Delivery>> deliveriesSnapshot() const { return deliveries_.share(); }
    /// The same for a holder that gives it up when `yield` is asked, before the projects change.
    std::shared_ptr<const std::vector<Delivery>> deliveriesSnapshot(
        SharedState<std::vector<Delivery>>::Yield yield) const {
        return deliveries_.share(std::move(yield));
    }
    std::shared_ptr<const WorkspaceState> workspaceSnapshot() const { return workspace_.share(); }
    WorkspaceSection section() const { return section_; }
    FileFilter projectFilter() const { return projectFilter_; }
    /// The library; absent when even its folder could not be opened.
    const Repository* repository() const { return repository_ ? &*repository_ : nullptr; }
    /// Whether a scan is running and can still be stopped: until its result is applied (the stop
    /// control; the archiving step after it is not a scan's to discard).
    bool hasScanWorker() const { return scanRunning_ && !scanApplied_; }
    bool isTimerScheduled() const { return timer_.isActive(); }
    /// The paths whose access the store holds open, in the order opened.
    const std::vector<std::filesystem::path>& accessScopes() const { return accessScopes_.granted(); }
    /// Counts every change of the project list; a scan that started before a change regroups.
    std::uint64_t projectsRevision() const { return projectsRevision_; }
    /// How many distinct identifiers the indexed assets and the projects' files have together;
    /// counted once per change of either.
    std::size_t distinctAssetCount() const;
    Preferences& preferences() const { return preferences_; }
    const AppLocations& locations() const { return locations_; }

    // Fields the views write.
    void setSearch(const std::string& text);
    void setSheet(std::optional<AppSheet> sheet);
    void setShowWarnings(bool shown);
    void setShowOnlyIssues(bool only);
    void setProjectFilter(FileFilter filter);
    void clearError();
    void clearNotice();
    /// The source sheet's switches: written into the workspace and saved at once.
    void setAutomaticScan(bool on);
    void setRecognizeImageText(bool on);
    /// Saves, then archives at once when switched on.
    void setAutomaticArchive(bool on);

    // Derived values, computed on every read.
    const Delivery* selected() const;
    bool hasErrors() const;
    std::vector<DeliveryCheck> issues() const;
    bool latestIsCurrent() const;
    bool canUndo() const;

    // Store state, start-up and persistence.
    /// Folds the projects into the workspace and saves it: written off the GUI thread, newest state
    /// last. False when saving is refused (recovery mode, no library). `done` learns whether the
    /// write succeeded. A failure leaves a notice that stays until a save succeeds; the first
    /// failure of a loud save also sets the error, a silent one (a timer scan) never does.
    bool persist(std::function<void(bool saved)> done = {}, bool silent = false);
    void select(const UUID& id);
    void update(const std::optional<UUID>& id, const std::function<void(Delivery&)>& change);
    void newDelivery();
    void refreshAccessScopes();

    // Scanning.
    void scanFolders(bool silent);
    /// Stop: ends a running scan on its failure path; the last complete index stays.
    void stopScan();
    /// A progress text of the scan with this token; dropped unless that scan is running.
    void reportScanProgress(const UUID& token, const std::string& text);
    /// The running scan's token.
    const std::optional<UUID>& scanToken() const { return scanToken_; }
    /// The most files one scan takes: 20000 unless a test lowers it.
    void setScanLimit(std::int64_t limit) { scanLimit_ = limit; }
    /// How long a scan waits for a file system that does not answer: 10 s unless a test
    /// shortens it.
    void setScanQuietLimit(std::chrono::milliseconds limit) { scanQuietLimit_ = limit; }
    /// Archives every project into the archive folder, then calls `then` on the GUI thread.
    void archiveCurrentProjects(bool reportErrors, std::function<void()> then);

    // Source folders.
    void chooseSourceFolders();
    void connectFolders(const std::vector<std::filesystem::path>& urls);
    void toggleSource(const UUID& id, bool enabled);
    void loadRudidEdevov();

    // Archive.
    void chooseArchiveFolder();
    void archiveNow();

    // Files, checks and export.
    void chooseFiles();
    void importURLs(const std::vector<std::filesystem::path>& urls);
    void editFile(const DeliveryFile& edited);
    void removeFile(const DeliveryFile& file);
    void undoRemove();
    /// The export command of the menu and the delivery view: warnings first, else the chooser.
    void exportCommand();
    /// Whether exportCommand would act now.
    bool canExport() const;
    void chooseExportDestination(bool allowWarnings);
    void savePreset(const DeliveryTemplate& templ);

    // Matching and the inbox.
    /// Matches every asset again on the worker, then saves; busy meanwhile. Returns at once
    /// while busy or in recovery mode.
    void regroupAndSave();
    void assign(const IndexedAsset& asset, const UUID& projectID);
    void createProject(const IndexedAsset& asset);
    std::optional<DeliveryFile> file(const UUID& id) const;
    /// Assets without a project that are not missing, in index order.
    std::vector<const IndexedAsset*> unassigned() const;
    /// `unassigned` filtered by the search text.
    std::vector<const IndexedAsset*> matchingUnassigned() const;
    /// The projects the search text finds, newest change first (stable).
    std::vector<const Delivery*> matchingProjects() const;
    /// For each file of `project`, whether the search text finds it (all of them without one).
    std::vector<char> matchingFiles(const Delivery& project) const;
    /// The search over projects and the inbox (tests and benchmarks tune it).
    ProjectSearch& projectSearch() const { return *projectSearch_; }
    /// Hands the current data to the search index now instead of once changes settle (tests).
    void updateSearchIndexNow();
    void showProjects();
    void showInbox();
    void deleteProject(const UUID& id);
    void restoreProject(const UUID& id);

    // The AI reference text.
    void copyAgentReference(const Delivery& project, const std::optional<DeliveryFile>& file);

    // The library folder in the file manager (settings).
    void openLibraryFolder();
    /// An original shown selected in the file manager, or opened with its default application.
    void revealItem(const std::filesystem::path& path);
    void openItem(const std::filesystem::path& path);
    /// Puts the error's location on the clipboard as text.
    void copyErrorLocation();

    // One file's original (the file detail sheet).
    /// Selects the original in the file manager: its stored reference as found now. Nothing for a
    /// file without a reference.
    void revealOriginal(const DeliveryFile& file);
    /// Opens the file in its default application; nothing when the library cannot locate it.
    void openOriginal(const DeliveryFile& file);

public slots:
    /// One beat of the scan timer.
    void tick();

signals:
    void changed(sorvik::app::StoreChanges what);

protected:
    friend class ChangeBatch;
    friend class ModalScope;

    /// Opens a batch of changes; the signal goes out when the outermost batch closes.
    void beginChanges();
    void endChanges();
    void mark(StoreChanges what);

    /// Runs `work` on the worker with `stop`; `done` runs later on the GUI thread unless the
    /// store is gone. Every exception of `work` reaches `done` as its failure.
    template <class T>
    void runJob(std::stop_token stop, std::function<T(std::stop_token)> work, std::function<void(JobOutcome<T>)> done);

    /// What a matching job reads: the projects and the rest of the library as they were when it started.
    struct GroupingInput {
        std::shared_ptr<const std::vector<Delivery>> projects;
        std::shared_ptr<const WorkspaceState> workspace;
        const std::vector<Delivery>& deleted() const;
    };
    /// Runs a matching job over snapshots; when the projects change before its result arrives it
    /// runs again on the new ones, so no edit made meanwhile is lost. `intercept` sees each result
    /// first and returns true when it dealt with it (a result no longer wanted).
    template <class T>
    void runGrouping(std::stop_token stop, std::function<T(const GroupingInput&, std::stop_token)> work,
                     std::function<void(JobOutcome<T>)> done, std::function<bool()> intercept = {});

    /// A modal chooser through the platform; the timer stays quiet while it is open.
    std::vector<std::filesystem::path> runChooser(const ChooserRequest& request);

    void setBusy(bool busy);
    void setActivity(std::string text);
    void setError(std::string text);
    /// A job that failed ends: its failure shown, the store idle again. False when it did not fail.
    bool endFailed(const std::exception_ptr& failure);
    /// The alert for a location nothing could show or open; `file` when it was to open a file.
    void reportUnopened(const std::filesystem::path& location, bool file);
    std::function<void()> unopenedReporter(const std::filesystem::path& location, bool file);
    void setNotice(std::optional<std::string> text);
    void setDeliveries(std::vector<Delivery> deliveries);
    /// Replaces the index; the rest of the workspace stays.
    void setAssets(std::vector<IndexedAsset> assets);

private:
    void start(const LibraryChoice& library);
    /// Waits up to `limit` for the saver with the event loop running, the store busy saving
    /// meanwhile; true when everything handed over was written.
    bool waitForSaves(std::chrono::milliseconds limit);
    void presetsSaved(std::uint64_t generation, const std::exception_ptr& failure);
    /// The destinations of the recorded exports rid of what killed exports left there, off the
    /// GUI thread.
    void removeAbandonedExports();
    /// At shutdown: the receipt of an export that ended after its answer could no longer arrive
    /// goes into the project's history, to be saved with the rest.
    void recordFinishedExport();
    /// `message` is the finished text of the alert.
    void enterRecovery(std::string message);
    /// Hands the current state to the saver; the generation asked for.
    std::uint64_t handOverSave();
    /// Gives each asset the record of the first project file with its identifier.
    void syncAssetFiles();
    // Scanning, in order.
    void groupScan(std::shared_ptr<ScanOutput> scan, bool silent);
    void applyScan(const ScanOutput& scan, ProjectMatcher::Grouping grouping, bool silent);
    void scanFailed(const std::exception_ptr& failure, bool silent);
    void finishScan();
    /// Whether a scan completion belongs to the running scan; a stopped scan's late result does not.
    bool isCurrentScan(const std::optional<UUID>& token) const { return scanToken_ && scanToken_ == token; }
    void finishConnecting(JobOutcome<std::vector<SourceFolder>> outcome);
    void saveFinished(std::uint64_t generation, const std::exception_ptr& failure);
    // The library changed behind the app (AppStoreLibraryGuard.cpp).
    /// The stamps of the library files the store reads and writes, as they are now.
    static std::vector<std::pair<std::string, FileStamp>> libraryStamps(const LibraryGuard& guard);
    /// Deals with a save that the library's guard refused; false when `failure` is no such refusal.
    bool libraryWriteRefused(std::uint64_t generation, const std::exception_ptr& failure);
    /// Reads the library again on the worker, first writing beside it the state not saved yet.
    void reloadLibrary();
    /// The library's path names another folder now: nothing is written any more.
    void stopWritingLibrary(std::string message);
    void mergeLinked(std::shared_ptr<LinkOutput> linked, std::optional<UUID> target);
    void groupAndSave();
    /// Forgets the pending undo of a removal when it concerns this asset.
    void dropUndoFor(const UUID& assetID);
    /// Each asset identifier with the place of its first indexed asset; rebuilt after changes.
    const std::unordered_map<UUID, std::size_t>& assetIndex() const;
    /// The first indexed asset of a file identifier, through an index rebuilt after changes.
    IndexedAsset* assetFor(const UUID& id);
    const IndexedAsset* assetFor(const UUID& id) const;

    Platform& platform_;
    Preferences& preferences_;
    std::unique_ptr<JobRunner> jobs_;
    // What jobs post their results through; closed when the store shuts down.
    std::shared_ptr<Mailbox> mailbox_;
    AppLocations locations_;

    SharedState<std::vector<Delivery>> deliveries_;
    std::optional<UUID> selectedID_;
    bool isBusy_ = false;
    std::string activity_;
    std::optional<std::string> error_;
    std::optional<std::filesystem::path> errorLocation_;
    std::optional<std::string> notice_;
    std::optional<ExportReceipt> lastExport_;
    std::string search_;
    std::optional<AppSheet> sheet_;
    bool showWarnings_ = false;
    bool showOnlyIssues_ = false;
    bool recoveryMode_ = false;
    std::string recoveryReason_;
    /// The library that finishStarting opens.
    std::optional<LibraryChoice> pendingStart_;
    std::vector<TemplatePreset> presets_;
    // The presets the last save wrote (or start-up read); what the list falls back to when a save fails.
    std::vector<TemplatePreset> savedPresets_;
    std::uint64_t presetsGeneration_ = 0;
    std::uint64_t presetsFinished_ = 0;
    bool loading_ = false;
    // The receipt of the running export, kept where shutdown finds it when the job's answer no
    // longer arrives.
    struct ExportResult {
        std::mutex mutex;
        UUID project;
        std::optional<ExportReceipt> receipt;
    };
    std::shared_ptr<ExportResult> runningExport_;
    // Its project list is empty: the projects are `deliveries_`.
    SharedState<WorkspaceState> workspace_;
    WorkspaceSection section_ = WorkspaceSection::projects;
    FileFilter projectFilter_ = FileFilter::all;

    std::optional<Repository> repository_;
    std::unique_ptr<LibrarySaver> saver_;
    std::uint64_t saveGeneration_ = 0;
    // The last generation written, the last one reported and the last one a loud operation asked for.
    std::uint64_t savedGeneration_ = 0;
    std::uint64_t finishedGeneration_ = 0;
    std::uint64_t loudGeneration_ = 0;
    // The newest save the saver gave up for a change; a newer one follows once the operation ends.
    std::uint64_t givenUpGeneration_ = 0;
    // The last save that holds a change of the user's (not a scan's); set while it is handed over.
    std::uint64_t userEditGeneration_ = 0;
    bool automaticSave_ = false;
    // A library file replaced by another program is being read again; the name the state not
    // saved then is kept under, beside it.
    bool reloading_ = false;
    std::optional<std::string> keptName_;
    std::string changedFile_;
    // The rules a refused preset save held, kept beside "templates.json" by the reload.
    std::optional<std::vector<TemplatePreset>> unsavedPresets_;
    std::optional<std::string> keptPresetsName_;
    std::optional<std::string> saveFailure_;
    std::optional<std::string> saveFailureNotice_;
    // Counts changes of what is saved; the count the last save handed over.
    std::uint64_t dataRevision_ = 0;
    std::uint64_t persistedRevision_ = 0;
    bool quitUnsaved_ = false;
    bool savingToQuit_ = false;
    bool quitInterrupted_ = false;
    QEventLoop* quitWait_ = nullptr;
    std::vector<std::pair<std::uint64_t, std::function<void(bool)>>> saveWaiters_;
    std::optional<FileRemovalUndo> removalUndo_;
    std::optional<IndexedAsset> removedAssociation_;
    AccessScopes accessScopes_;
    QTimer timer_;
    QTimer searchUpdate_;

    // The running scan.
    bool scanRunning_ = false;
    bool scanApplied_ = false;
    bool mediaNoticeGiven_ = false;  // that video and text recognition are unavailable, said once
    std::optional<UUID> scanToken_;
    bool scanCancelled_ = false;
    std::stop_source scanStop_;
    // Every job of the store; stopped when the store shuts down.
    std::stop_source lifetimeStop_;
    std::uint64_t projectsRevision_ = 0;
    // Counts every change of the projects or the index: what the search texts are built from.
    std::uint64_t searchRevision_ = 0;
    std::unique_ptr<ProjectSearch> projectSearch_;
    std::int64_t scanLimit_ = 20000;
    std::chrono::milliseconds scanQuietLimit_{10'000};
    // What did not answer in earlier scans; shared with the scans, which may outlive the store.
    std::shared_ptr<StallMemory> stalls_ = std::make_shared<StallMemory>();
    mutable std::unordered_map<UUID, std::size_t> assetIndex_;
    // Rebuilt when the assets are replaced; edits in place keep every position.
    mutable bool assetIndexValid_ = false;
    // The distinct asset count and the search revision it was counted at.
    mutable std::optional<std::pair<std::uint64_t, std::size_t>> distinctAssets_;
    // Whether a project file may differ from its asset's record since the last save.
    bool projectFilesEdited_ = true;
    int modalDepth_ = 0;
    int changeDepth_ = 0;
    StoreChanges pendingChanges_;
    bool shutDown_ = false;
    bool workersEnded_ = true;
    std::chrono::milliseconds shutdownPatience_{2000};
};

/// Groups the changes of one operation into one signal.
class ChangeBatch {
public:
    explicit ChangeBatch(AppStore& store) : store_(store) { store_.beginChanges(); }
    ~ChangeBatch() { store_.endChanges(); }
    ChangeBatch(const ChangeBatch&) = delete;
    ChangeBatch& operator=(const ChangeBatch&) = delete;

private:
    AppStore& store_;
};

template <class T>
void AppStore::runJob(std::stop_token stop, std::function<T(std::stop_token)> work,
                      std::function<void(JobOutcome<T>)> done) {
    // The job holds the mailbox, not the store: it may outlive the store when it is stuck.
    jobs_->submit([mailbox = mailbox_, store = this, stop, work = std::move(work), done = std::move(done)]() mutable {
        auto outcome = std::make_shared<JobOutcome<T>>();
        try {
            outcome->value.emplace(work(stop));
        } catch (...) {
            outcome->failure = std::current_exception();
        }
        // What the work held (snapshots of the store's state) is let go before the result is
        // applied, so that applying it copies nothing.
        work = nullptr;
        mailbox->post([store, outcome, done = std::move(done)]() mutable {
            if (store->shutDown_) return;
            done(std::move(*outcome));
        });
    });
}

template <class T>
void AppStore::runGrouping(std::stop_token stop, std::function<T(const GroupingInput&, std::stop_token)> work,
                           std::function<void(JobOutcome<T>)> done, std::function<bool()> intercept) {
    const std::uint64_t revision = projectsRevision_;
    GroupingInput input{deliveries_.share(), workspace_.share()};
    runJob<T>(
        stop, [work, input = std::move(input)](std::stop_token token) { return work(input, std::move(token)); },
        [this, stop, work, done, intercept, revision](JobOutcome<T> outcome) {
            if (intercept && intercept()) return;
            if (!outcome.failure && projectsRevision_ != revision) {
                runGrouping<T>(stop, work, done, intercept);
                return;
            }
            done(std::move(outcome));
        });
}

}  // namespace sorvik::app
