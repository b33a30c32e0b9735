// Items in the desktop: shown in the file manager or opened in their application; where nothing
// answers, the alert names the location and offers to copy it.
#include <QPointer>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/Localization.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

void AppStore::openLibraryFolder() {
    if (repository_) platform_.open(repository_->root(), unopenedReporter(repository_->root(), false));
}

void AppStore::revealItem(const fs::path& path) { platform_.reveal(path, unopenedReporter(path, false)); }

void AppStore::openItem(const fs::path& path) { platform_.open(path, unopenedReporter(path, true)); }

void AppStore::revealOriginal(const DeliveryFile& file) {
    if (!file.reference) return;
    revealItem(file.reference->resolve(false));
}

void AppStore::openOriginal(const DeliveryFile& file) {
    if (const std::optional<std::filesystem::path> location = fileLocation(file, repository())) openItem(*location);
}

std::function<void()> AppStore::unopenedReporter(const fs::path& location, bool file) {
    // The answer may come after the store is gone (a file manager that never replies).
    return [store = QPointer<AppStore>(this), location, file] {
        if (store) store->reportUnopened(location, file);
    };
}

void AppStore::reportUnopened(const fs::path& location, bool file) {
    ChangeBatch batch(*this);
    setError(localization::fill(
        file ? "没有应用程序能打开这个文件。它在：\n{0}" : "没有文件管理器能打开这个位置。它在：\n{0}",
        {location.string()}));
    errorLocation_ = location;
}

void AppStore::copyErrorLocation() {
    if (errorLocation_) platform_.copyText(errorLocation_->string());
}

}  // namespace sorvik::app
