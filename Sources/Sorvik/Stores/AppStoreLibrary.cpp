// The store's waits on the library kept off the GUI thread: quitting while saves are under way,
// presets written by the saver, the receipt of an export the quit overtook, and what killed
// exports left in their destinations.
#include <QEventLoop>
#include <QTimer>
#include <mutex>
#include <set>
#include <thread>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/LibraryGuard.hpp"

namespace sorvik::app {

bool AppStore::waitForSaves(std::chrono::milliseconds limit) {
    if (saver_->drain(std::chrono::milliseconds(0))) return true;
    const bool wasBusy = isBusy_;
    if (!wasBusy) {
        ChangeBatch batch(*this);
        setBusy(true);
        setActivity("正在保存更改…");
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    const auto end = std::chrono::steady_clock::now() + limit;
    bool written = false;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        written = saver_->drain(std::chrono::milliseconds(0));
        if (written || quitInterrupted_ || std::chrono::steady_clock::now() >= end) loop.quit();
    });
    poll.start();
    // The timer's scans wait, as while a question is open.
    ++modalDepth_;
    quitWait_ = &loop;
    loop.exec();
    quitWait_ = nullptr;
    --modalDepth_;
    if (!wasBusy && isBusy_) {
        ChangeBatch batch(*this);
        setBusy(false);
        setActivity({});
    }
    return written;
}

void AppStore::interruptQuit() {
    quitInterrupted_ = true;
    if (quitWait_) quitWait_->quit();
}

void AppStore::presetsSaved(std::uint64_t generation, const std::exception_ptr& failure) {
    presetsFinished_ = std::max(presetsFinished_, generation);
    if (!failure) {
        // Nothing newer waits: what was written is the list.
        if (generation == presetsGeneration_) savedPresets_ = presets_;
        return;
    }
    // Only the newest list's answer counts; an older one was replaced before it was written.
    if (generation != presetsGeneration_) return;
    ChangeBatch batch(*this);
    // Rules refused because another program replaced the file are kept beside it, not dropped.
    try {
        std::rethrow_exception(failure);
    } catch (const LibraryFileChangedError& error) {
        const std::shared_ptr<LibraryGuard>& guard = repository_ ? repository_->guard() : nullptr;
        if (guard && error.name() == Repository::presetsFileName && error.epoch() >= guard->epoch())
            unsavedPresets_ = presets_;
    } catch (...) {
    }
    presets_ = savedPresets_;
    mark(StoreChange::presets);
    setNotice(std::nullopt);
    setError("保存规则失败：" + describe(failure));
    // A file another program replaced is read again.
    libraryWriteRefused(0, failure);
}

void AppStore::recordFinishedExport() {
    if (!runningExport_) return;
    std::optional<ExportReceipt> receipt;
    UUID project;
    {
        std::lock_guard lock(runningExport_->mutex);
        receipt = std::move(runningExport_->receipt);
        project = runningExport_->project;
    }
    runningExport_.reset();
    if (!receipt) return;
    // The package is complete on disk: its history entry is written with the last save.
    update(project, [&receipt](Delivery& delivery) { delivery.exports.push_back(*receipt); });
}

void AppStore::removeAbandonedExports() {
    std::set<std::filesystem::path> destinations;
    for (const Delivery& project : *deliveries_) {
        for (const ExportReceipt& receipt : project.exports) {
            const std::filesystem::path package(receipt.path);
            if (package.is_absolute() && package.has_parent_path()) destinations.insert(package.parent_path());
        }
    }
    // Where an export was writing when the app was killed, a folder new to the history too.
    const QString underWay = preferences_.exportUnderWay();
    if (!underWay.isEmpty()) destinations.insert(underWay.toStdString());
    preferences_.setExportUnderWay({});
    if (destinations.empty()) return;
    // Detached: a destination on a mount that stopped answering keeps only this thread.
    std::thread([destinations = std::move(destinations)] {
        for (const std::filesystem::path& destination : destinations)
            DeliveryExporter::removeAbandonedExports(destination);
    }).detach();
}

}  // namespace sorvik::app
