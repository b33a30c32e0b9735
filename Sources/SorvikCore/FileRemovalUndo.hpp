#pragma once
// One-step undo of removing a file from a project.
#include <cstddef>
#include <optional>

#include "SorvikCore/Identifier.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik {

/// Taken just before a file is removed from a project: the project, the whole file record and
/// its position. Restoring puts back only that file, so later changes to the project stay.
class FileRemovalUndo {
public:
    /// A token for the first file of the project with this identifier; absent when there is none.
    static std::optional<FileRemovalUndo> make(const Delivery& delivery, const UUID& fileID);

    /// The project the file was removed from.
    const UUID& deliveryID() const { return deliveryID_; }

    /// Inserts the file as captured at its old position (at the end when the list has become
    /// shorter). False, with nothing changed, for another project or when a file with the same
    /// identifier is already there. Changes only `files`.
    bool restore(Delivery& delivery) const;

private:
    FileRemovalUndo(UUID deliveryID, DeliveryFile file, std::size_t index)
        : deliveryID_(deliveryID), file_(std::move(file)), index_(index) {}

    UUID deliveryID_;
    DeliveryFile file_;
    std::size_t index_;
};

}  // namespace sorvik
