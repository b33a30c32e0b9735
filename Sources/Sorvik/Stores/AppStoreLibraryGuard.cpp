// The library changed behind the app: a file another program replaced is read again (the state
// not saved yet is kept beside it), and a library folder replaced under its path is no longer
// written at all.
#include <QDateTime>
#include <algorithm>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/LibraryGuard.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

namespace {

/// The library read again, and where the state not saved was kept.
struct LibraryReload {
    WorkspaceState state;
    std::vector<TemplatePreset> presets;
    std::vector<std::pair<std::string, FileStamp>> stamps;
    std::optional<std::string> keptName;
    std::optional<std::string> keptPresetsName;
};

/// The name the state not saved is kept under, beside the file it did not overwrite ("workspace"
/// or "templates"): what it is, and when.
std::string keptFileName(const std::string& stem, Date when, int attempt) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(when.unixSeconds() * 1000));
    std::string name =
        stem + " (unsaved changes from Sorvik, " + time.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")).toStdString();
    if (attempt > 1) name += " " + std::to_string(attempt);
    return name + ").json";
}

}  // namespace

std::vector<std::pair<std::string, FileStamp>> AppStore::libraryStamps(const LibraryGuard& guard) {
    return {{Repository::workspaceFileName, guard.stamp(Repository::workspaceFileName)},
            {Repository::presetsFileName, guard.stamp(Repository::presetsFileName)}};
}

bool AppStore::libraryWriteRefused(std::uint64_t generation, const std::exception_ptr& failure) {
    if (!failure || !repository_ || !repository_->guard()) return false;
    std::string description, name;
    bool replaced = false, stale = false;
    try {
        std::rethrow_exception(failure);
    } catch (const LibraryFolderReplacedError& error) {
        replaced = true;
        description = error.errorDescription();
    } catch (const LibraryFileChangedError& error) {
        // A save handed over before the library was last read again: its state is older than that.
        stale = error.epoch() < repository_->guard()->epoch();
        description = error.errorDescription();
        name = error.name();
    } catch (...) {
        return false;
    }
    if (!stale) finishedGeneration_ = std::max(finishedGeneration_, generation);
    std::vector<std::function<void(bool)>> answered;
    std::erase_if(saveWaiters_, [&](auto& waiter) {
        if (waiter.first > generation) return false;
        answered.push_back(std::move(waiter.second));
        return true;
    });
    if (replaced) {
        stopWritingLibrary(description);
    } else if (!stale && !recoveryMode_) {
        // Quitting asks about the state not saved until the library is read again.
        saveFailure_ = description;
        if (!reloading_) {
            reloading_ = true;
            changedFile_ = name;
            reloadLibrary();
        }
    }
    for (auto& done : answered) done(false);
    return true;
}

void AppStore::reloadLibrary() {
    ChangeBatch batch(*this);
    // A change of the user's not written yet is kept beside the file, never dropped; what only a
    // scan found comes back with the next scan.
    const bool keep = userEditGeneration_ > savedGeneration_;
    const std::uint64_t revision = dataRevision_;
    const bool fresh = !keptName_;
    const std::string name = keptName_.value_or(keptFileName("workspace", platform_.now(), 1));
    std::shared_ptr<const WorkspaceState> workspace = keep ? workspace_.share() : nullptr;
    std::shared_ptr<const std::vector<Delivery>> projects = keep ? deliveries_.share() : nullptr;
    const bool keepPresets = unsavedPresets_.has_value();
    const bool freshPresets = !keptPresetsName_;
    const std::string presetsName = keptPresetsName_.value_or(keptFileName("templates", platform_.now(), 1));
    auto work = [repository = *repository_, workspace, projects, name, fresh, presets = unsavedPresets_, presetsName,
                 freshPresets, when = platform_.now()](std::stop_token stop) mutable {
        const std::shared_ptr<LibraryGuard>& guard = repository.guard();
        guard->checkFolder();
        LibraryReload reload;
        if (workspace) {
            const std::string text = repository.workspaceText(*workspace, *projects, stop);
            workspace.reset();
            projects.reset();
            std::string kept = name;
            // A new name for each time the library changed; the newer state of the same time
            // replaces the one kept before.
            for (int attempt = 2; fresh && guard->stamp(kept).exists; ++attempt)
                kept = keptFileName("workspace", when, attempt);
            files::writeFileAtomicallyAt(guard->folder(), kept, text, repository.root() / kept);
            reload.keptName = kept;
        }
        if (presets) {
            std::string kept = presetsName;
            for (int attempt = 2; freshPresets && guard->stamp(kept).exists; ++attempt)
                kept = keptFileName("templates", when, attempt);
            files::writeFileAtomicallyAt(guard->folder(), kept, Repository::presetsText(*presets),
                                         repository.root() / kept);
            reload.keptPresetsName = kept;
        }
        reload.stamps = libraryStamps(*guard);
        reload.state = repository.loadWorkspace();
        reload.presets = repository.loadPresets();
        return reload;
    };
    runJob<LibraryReload>(
        lifetimeStop_.get_token(), std::move(work),
        [this, revision, keep, keepPresets](JobOutcome<LibraryReload> outcome) {
            ChangeBatch batch(*this);
            if (outcome.value && outcome.value->keptName) keptName_ = outcome.value->keptName;
            if (outcome.value && outcome.value->keptPresetsName) keptPresetsName_ = outcome.value->keptPresetsName;
            if (outcome.failure) {
                reloading_ = false;
                try {
                    std::rethrow_exception(outcome.failure);
                } catch (const LibraryFolderReplacedError& error) {
                    stopWritingLibrary(error.errorDescription());
                } catch (...) {
                    // Neither read nor written over: what the other program wrote stays as it is.
                    stopWritingLibrary("资料库文件已被其他程序更改，但无法读取：" + describe(outcome.failure) +
                                       "\n为免覆盖它，本次不再写入这个资料库，之后的更改不会保存。");
                }
                return;
            }
            // Changed meanwhile: the newer state is kept, and the library read, once more.
            if (dataRevision_ != revision || (userEditGeneration_ > savedGeneration_) != keep ||
                unsavedPresets_.has_value() != keepPresets) {
                reloadLibrary();
                return;
            }
            LibraryReload& reload = *outcome.value;
            deliveries_.assign(std::move(reload.state.projects));
            reload.state.projects.clear();
            workspace_.assign(std::move(reload.state));
            presets_ = std::move(reload.presets);
            assetIndexValid_ = false;
            projectFilesEdited_ = true;
            removalUndo_.reset();
            removedAssociation_.reset();
            if (lastExport_) mark(StoreChange::lastExport);
            lastExport_.reset();
            const auto selected = std::find_if(deliveries_->begin(), deliveries_->end(), [this](const Delivery& d) {
                return selectedID_ && d.id == *selectedID_;
            });
            if (selected == deliveries_->end()) {
                selectedID_.reset();
                if (!deliveries_->empty()) selectedID_ = deliveries_->front().id;
                if (section_ == WorkspaceSection::project && !selectedID_) section_ = WorkspaceSection::projects;
            }
            const std::shared_ptr<LibraryGuard> guard = repository_->guard();
            guard->accept(reload.stamps);
            repository_->guardWrites(guard);
            refreshAccessScopes();
            mark(StoreChange::projects | StoreChange::selection | StoreChange::assets | StoreChange::sources |
                 StoreChange::settings | StoreChange::presets | StoreChange::deleted);
            // What was just read is what the library holds.
            persistedRevision_ = dataRevision_;
            savedGeneration_ = finishedGeneration_ = saveGeneration_;
            saveFailure_.reset();
            saveFailureNotice_.reset();
            reloading_ = false;
            const std::string file = (repository_->root() / changedFile_).string();
            const std::string presetsFile = (repository_->root() / Repository::presetsFileName).string();
            if (keep && keptName_) {
                setError("“" + file +
                         "”已被其他程序替换，现在显示的是它的内容。Sorvik 尚未保存的更改没有覆盖它，已另存为“" +
                         (repository_->root() / *keptName_).string() + "”。");
                errorLocation_ = repository_->root() / *keptName_;
            } else if (!keepPresets) {
                setNotice("“" + file + "”已被其他程序替换，已载入并显示它的内容。");
            }
            if (keepPresets && keptPresetsName_) {
                std::string message =
                    "“" + presetsFile +
                    "”已被其他程序替换，现在显示的是它的规则。Sorvik 尚未保存的规则没有覆盖它，已另存为“" +
                    (repository_->root() / *keptPresetsName_).string() + "”。";
                // Beside a kept workspace the error says that; the rules are told as a notice.
                if (keep && keptName_) {
                    setNotice(std::move(message));
                } else {
                    setError(std::move(message));
                    errorLocation_ = repository_->root() / *keptPresetsName_;
                }
            }
            keptName_.reset();
            unsavedPresets_.reset();
            keptPresetsName_.reset();
        });
}

void AppStore::stopWritingLibrary(std::string message) {
    ChangeBatch batch(*this);
    // As for a library no lock could be had on: shown as it is, never written.
    recoveryMode_ = true;
    reloading_ = false;
    timer_.stop();
    saveFailure_.reset();
    saveFailureNotice_.reset();
    // Said where a library without its lock is said too, for whoever started the app.
    qWarning("%s", L(message).c_str());
    setError(std::move(message));
    mark(StoreChange::settings);
}

}  // namespace sorvik::app
