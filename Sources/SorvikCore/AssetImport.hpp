#pragma once
// Bringing files the user chose into the library: linking originals in place, importing
// copies into the "files" folder, and sorting a drop into folders, files and skipped items.
// Repository::linkFiles, importFiles and linkFilesReportingFailures and
// WorkspaceState::linkAssets are defined in AssetImport.cpp.
#include <filesystem>
#include <string>
#include <vector>

#include "SorvikCore/Repository.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik {

/// The outcome of Repository::importFiles.
struct ImportResult {
    std::vector<DeliveryFile> files;   // the inspected copies, in the order they were made
    std::vector<std::string> skipped;  // names of chosen items that were not imported
};

/// Chosen items sorted into folders to connect, supported files to link and skipped names.
struct AssetImportPlan {
    std::vector<std::filesystem::path> folders;  // resolved, in the order chosen
    std::vector<std::filesystem::path> files;    // resolved regular files with a supported extension
    std::vector<std::string> skipped;            // last path components, as chosen

    /// Never fails: what cannot be read is skipped by name; repeats are dropped silently.
    explicit AssetImportPlan(const std::vector<std::filesystem::path>& urls);
};

/// Files linked one by one, with one "name: description" line per file that failed.
struct LinkedAssetBatch {
    std::vector<IndexedAsset> assets;
    std::vector<std::string> failures;
};

namespace AssetImport {
/// Most files one link or import call takes.
inline constexpr std::size_t maximumFiles = 500;
}  // namespace AssetImport

}  // namespace sorvik
