#pragma once
// Delivery packages: export with manifest and report, and the delivery signature.
#include <filesystem>
#include <string>

#include "SorvikCore/ExportManifest.hpp"
#include "SorvikCore/Models.hpp"
#include "SorvikCore/Repository.hpp"

namespace sorvik::DeliveryExporter {

inline constexpr const char* manifestFileName = "交付清单.json";
inline constexpr const char* reportFileName = "交付说明.md";

/// Exports the checked delivery as a new package folder inside `destination` (an existing
/// folder outside the library): role folders, "交付清单.json" and "交付说明.md". The package
/// is built in a ".sorvik-" folder beside its final place and moved there, never replacing
/// anything; on any failure nothing is left behind. Throws SorvikError with the export's
/// messages and passes file-system errors on.
ExportReceipt exportDelivery(const Delivery& delivery, const Repository& repository,
                             const std::filesystem::path& destination, bool allowWarnings);

/// SHA-256 (64 lower-case hexadecimal digits) of the delivery's name, files and rules in a
/// canonical JSON form. Never fails.
std::string signature(const Delivery& delivery);

/// The report "交付说明.md" of a package.
std::string reportText(const ExportManifest& manifest);

}  // namespace sorvik::DeliveryExporter
