#pragma once
// Libraries written for a test: projects, files standing for originals on disk, indexed assets.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::test {

/// A project with fixed creation and update times.
Delivery projectNamed(const std::string& name, std::vector<DeliveryFile> files = {}, double updated = 1000);

/// The record of an original at `path`, as linking leaves it (no inspection: the name's role,
/// the given size, a reference to the path).
DeliveryFile originalAt(const std::filesystem::path& path, std::int64_t bytes = 1000);

/// An indexed asset of a file; with a project it is assigned by hand.
IndexedAsset indexedAsset(DeliveryFile file, std::optional<UUID> project = std::nullopt,
                          std::string reason = "暂时没有足够的项目线索");

/// Writes the state as the library's "workspace.json".
void writeLibrary(const std::filesystem::path& root, const WorkspaceState& state);

/// A state whose projects list exactly the files of their assets.
WorkspaceState libraryOf(std::vector<Delivery> projects, std::vector<IndexedAsset> assets);

/// The asset or project with an identifier in a state's lists; throws when there is none.
const IndexedAsset& assetIn(const std::vector<IndexedAsset>& assets, const UUID& id);
const Delivery& projectIn(const std::vector<Delivery>& projects, const UUID& id);

/// The names of a project's files, in order.
std::vector<std::string> fileNames(const Delivery& project);

}  // namespace sorvik::test
