#include "SorvikCore/FileRemovalUndo.hpp"

#include <algorithm>
#include <iterator>

namespace sorvik {

std::optional<FileRemovalUndo> FileRemovalUndo::make(const Delivery& delivery, const UUID& fileID) {
    const auto it = std::find_if(delivery.files.begin(), delivery.files.end(),
                                 [&](const DeliveryFile& file) { return file.id == fileID; });
    if (it == delivery.files.end()) return std::nullopt;
    return FileRemovalUndo(delivery.id, *it, static_cast<std::size_t>(std::distance(delivery.files.begin(), it)));
}

bool FileRemovalUndo::restore(Delivery& delivery) const {
    if (delivery.id != deliveryID_) return false;
    if (std::any_of(delivery.files.begin(), delivery.files.end(),
                    [&](const DeliveryFile& file) { return file.id == file_.id; }))
        return false;
    const std::size_t position = std::min(index_, delivery.files.size());
    delivery.files.insert(delivery.files.begin() + static_cast<std::ptrdiff_t>(position), file_);
    return true;
}

}  // namespace sorvik
