#pragma once
// The library folder: its JSON files and the copies it keeps.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik {

struct ImportResult;      // AssetImport.hpp
struct LinkedAssetBatch;  // AssetImport.hpp
class LibraryGuard;       // LibraryGuard.hpp

class Repository {
public:
    /// Stores the root and creates the folder with its missing parents.
    explicit Repository(std::filesystem::path root);

    const std::filesystem::path& root() const { return root_; }

    /// From now on "workspace.json" and "templates.json" are written through `guard`, by this
    /// repository and its copies made after: only into the folder it holds, never over a file
    /// another program changed. A copy made before keeps the guard's epoch it was made in, and is
    /// refused once the guard starts another.
    void guardWrites(std::shared_ptr<LibraryGuard> guard);
    const std::shared_ptr<LibraryGuard>& guard() const { return guard_; }
    /// The names of the library's files that the guard keeps.
    static const char* const workspaceFileName;
    static const char* const presetsFileName;

    WorkspaceState loadWorkspace() const;
    /// What loadWorkspace reads, validated alike with the same errors, keeping only the
    /// projects: whole, or as summaries. The rest is never built.
    std::vector<Delivery> loadProjects() const;
    std::vector<ProjectSummary> loadProjectSummaries() const;
    /// The stamp of the files loadWorkspace reads: device, inode, size and change times of each,
    /// or its absence. Every save replaces the file, so an equal stamp means an equal content.
    using FilesStamp = std::array<std::int64_t, 12>;
    FilesStamp workspaceStamp() const;
    void saveWorkspace(const WorkspaceState& state) const;
    /// The same with the project list held apart; `state.projects` is not written.
    void saveWorkspace(const WorkspaceState& state, const std::vector<Delivery>& projects) const;
    /// The two halves of a save: the text of the workspace file, then writing it.
    /// A stop requested while the text is made throws CancellationError.
    std::string workspaceText(const WorkspaceState& state, const std::vector<Delivery>& projects,
                              std::stop_token stop = {}) const;
    void saveWorkspaceText(const std::string& text) const;
    std::vector<TemplatePreset> loadPresets() const;
    void savePresets(const std::vector<TemplatePreset>& presets) const;
    /// What savePresets writes.
    static std::string presetsText(const std::vector<TemplatePreset>& presets);
    std::vector<Delivery> load() const;
    void save(const std::vector<Delivery>& deliveries) const;

    /// Where the file's content is on disk; a library copy must lie inside the folder.
    std::filesystem::path fileURL(const DeliveryFile& file) const;

    /// Whether `path` lies strictly inside `folder`, both resolved as the kernel resolves them
    /// (links before "..").
    static bool contains(const std::filesystem::path& folder, const std::filesystem::path& path);

    // Chosen files (AssetImport.cpp). None of them opens access scopes; callers hold them.
    /// Indexed assets for at most 500 supported originals, without copying; all or nothing.
    std::vector<IndexedAsset> linkFiles(const std::vector<std::filesystem::path>& urls,
                                        std::stop_token stop = {}) const;
    /// linkFiles one URL at a time, collecting failures instead of stopping at the first.
    LinkedAssetBatch linkFilesReportingFailures(const std::vector<std::filesystem::path>& urls,
                                                std::stop_token stop = {}) const;
    /// Copies chosen files and the supported files of chosen folders into one new batch
    /// folder under "files/" and inspects the copies; a failed batch leaves nothing behind.
    ImportResult importFiles(const std::vector<std::filesystem::path>& urls, const UUID& deliveryID,
                             std::stop_token stop = {}) const;

private:
    std::filesystem::path root_;
    std::shared_ptr<LibraryGuard> guard_;
    std::uint64_t epoch_ = 0;
};

/// The default library folder: $XDG_DATA_HOME/Sorvik, else ~/.local/share/Sorvik.
std::filesystem::path defaultLibraryFolder();

}  // namespace sorvik
