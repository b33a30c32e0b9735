#pragma once
// Hand-off packages for AI tools: a snapshot export of named assets, and its verification.
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/ExportManifest.hpp"
#include "SorvikCore/Repository.hpp"

namespace sorvik::AgentHandoff {

/// Exports the named files of one live project, in the order asked, with the flexible rules
/// and no warnings allowed. The workspace is only read. Throws SorvikError, and
/// CancellationError when `stop` is requested (nothing is then left behind).
ExportReceipt prepare(const WorkspaceState& workspace, const UUID& projectID, const std::vector<UUID>& assetIDs,
                      const Repository& repository, const std::filesystem::path& destination,
                      std::stop_token stop = {});

/// Reads a whole manifest file once (a regular file; FIFOs and devices are refused without
/// blocking). Throws std::system_error.
std::string readManifest(const std::filesystem::path& manifestURL);

/// Reads the manifest and checks every listed file against it; see the overload.
ExportManifest verify(const std::filesystem::path& manifestURL);

/// Decodes `manifestBytes` (the content of the file at `manifestURL`, read once by the caller)
/// and checks the package in the manifest's folder: the manifest as a whole, then each entry
/// in order (a relative path of named components only, inside the package as the kernel
/// resolves it, naming a file no earlier entry names, a regular file of the listed size and
/// SHA-256). Entries may be hashed in parallel; the failure reported is that of the first
/// failing entry, and later entries stop being hashed. Throws SorvikError, DecodingError or
/// std::system_error.
ExportManifest verify(const std::filesystem::path& manifestURL, const std::string& manifestBytes);

}  // namespace sorvik::AgentHandoff
