#pragma once
// The library folder: its JSON files and the copies it keeps.
#include <filesystem>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik {

class Repository {
public:
    /// Stores the root and creates the folder with its missing parents.
    explicit Repository(std::filesystem::path root);

    const std::filesystem::path& root() const { return root_; }

    WorkspaceState loadWorkspace() const;
    void saveWorkspace(const WorkspaceState& state) const;
    std::vector<TemplatePreset> loadPresets() const;
    void savePresets(const std::vector<TemplatePreset>& presets) const;
    std::vector<Delivery> load() const;
    void save(const std::vector<Delivery>& deliveries) const;

    /// Where the file's content is on disk; a library copy must lie inside the folder.
    std::filesystem::path fileURL(const DeliveryFile& file) const;

    /// Whether `path` lies inside `folder` once both are standardized and links resolved.
    static bool contains(const std::filesystem::path& folder, const std::filesystem::path& path);

private:
    std::filesystem::path root_;
};

/// The default library folder: $XDG_DATA_HOME/Sorvik, else ~/.local/share/Sorvik.
std::filesystem::path defaultLibraryFolder();

}  // namespace sorvik
