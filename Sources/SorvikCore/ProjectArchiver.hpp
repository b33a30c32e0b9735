#pragma once
// Versioned archive copies of project files: one folder per project in an archive folder,
// each new version copied once, verified by SHA-256 and recorded as an ArchiveRecord.
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "SorvikCore/Repository.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::ProjectArchiver {

/// Receives "正在归档：project / file" before each version is archived; called on the
/// caller's thread.
using Progress = std::function<void(const std::string&)>;

/// Archives every version not archived yet and returns `previous` followed by the new
/// records, in the order of projects and their files. Versions already archived cost two
/// stat calls each: no hashing, no copying, no progress. Copies keep the source's
/// modification time and never replace a file. Throws SorvikError, std::system_error,
/// std::filesystem::filesystem_error, and CancellationError when `stop` is requested. An
/// original inside one of `sourceFolders` is opened below that folder: one that now leads
/// outside it through a link is not archived.
std::vector<ArchiveRecord> archive(const std::vector<Delivery>& projects, const Repository& repository,
                                   const std::filesystem::path& destination, const std::vector<ArchiveRecord>& previous,
                                   const Progress& progress, std::stop_token stop = {},
                                   const std::vector<std::filesystem::path>& sourceFolders = {});

}  // namespace sorvik::ProjectArchiver
