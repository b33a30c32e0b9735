// A file's original in the desktop: shown in the file manager or opened in its application.
#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

void AppStore::revealOriginal(const DeliveryFile& file) {
    if (!file.reference) return;
    platform_.reveal(file.reference->resolve(false));
}

void AppStore::openOriginal(const DeliveryFile& file) {
    if (const std::optional<std::filesystem::path> location = fileLocation(file, repository())) {
        platform_.open(*location);
    }
}

}  // namespace sorvik::app
