#pragma once
// Small libraries for the views' tests: projects, files and indexed assets made in memory and
// written as a real library folder.
#include <filesystem>
#include <optional>
#include <string>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::test {

/// A project with the given update time.
Delivery makeProject(const std::string& name, double updated = 1000);

/// A file whose original is `folder`/`name` outside any library.
DeliveryFile makeFile(const std::string& name, const std::string& folder = "/media/out",
                      FileRole role = FileRole::extra, std::optional<std::string> text = std::nullopt);

/// The indexed asset of a file, in `project` (none: in the inbox).
IndexedAsset makeAsset(const DeliveryFile& file, std::optional<UUID> project = std::nullopt,
                       const std::string& folder = "out");

/// Adds the file to the project and its asset to the state.
void addFile(WorkspaceState& state, Delivery& project, const DeliveryFile& file);

void writeLibrary(const std::filesystem::path& root, const WorkspaceState& state);

}  // namespace sorvik::test
