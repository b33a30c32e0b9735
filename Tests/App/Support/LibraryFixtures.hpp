#pragma once
// Small libraries for the overview's and the sidebar's tests, on top of LibrarySupport: files with
// a role and a text, and assets placed in a project and its library state at once.
#include <optional>
#include <string>

#include "App/Support/LibrarySupport.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::test {

/// A project with the given update time.
Delivery makeProject(const std::string& name, double updated = 1000);

/// A file whose original is `folder`/`name` outside any library.
DeliveryFile makeFile(const std::string& name, const std::string& folder = "/media/out",
                      FileRole role = FileRole::extra, std::optional<std::string> text = std::nullopt);

/// The indexed asset of a file, in `project` (none: in the inbox), found in `folder`.
IndexedAsset makeAsset(const DeliveryFile& file, std::optional<UUID> project = std::nullopt,
                       const std::string& folder = "out");

/// Adds the file to the project and its asset to the state.
void addFile(WorkspaceState& state, Delivery& project, const DeliveryFile& file);

}  // namespace sorvik::test
