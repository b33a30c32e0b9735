#pragma once
// Records of the library around the projects: sources, the index, archives, the whole state.
#include <map>

#include "SorvikCore/Models.hpp"

namespace sorvik {

struct SourceFolder {
    UUID id;
    std::string path;
    std::optional<Bytes> bookmark;
    bool enabled = true;
    std::optional<std::string> lastError;

    /// A newly connected folder: fresh id, standardized path, enabled.
    static SourceFolder make(const std::filesystem::path& url);
    std::filesystem::path resolve() const;
    /// The last path component of path.
    std::string name() const;
};

enum class AssignmentMode { automatic, manual, unassigned };

namespace AssignmentModes {
std::string_view rawValue(AssignmentMode mode);
std::optional<AssignmentMode> fromRawValue(std::string_view text);
}  // namespace AssignmentModes

struct IndexedAsset {
    DeliveryFile file;
    std::optional<UUID> sourceID;
    std::string relativeFolder;
    std::optional<std::string> folderHint;
    std::optional<std::string> recognizedText;
    bool didAttemptOCR = false;
    std::optional<UUID> projectID;
    AssignmentMode assignment = AssignmentMode::automatic;
    std::string reason;
    bool isMissing = false;
    bool sourceChanged = false;

    IndexedAsset() = default;
    IndexedAsset(DeliveryFile file, std::optional<UUID> sourceID, std::string relativeFolder,
                 std::optional<std::string> folderHint)
        : file(std::move(file)), sourceID(sourceID), relativeFolder(std::move(relativeFolder)),
          folderHint(std::move(folderHint)) {}

    const UUID& id() const { return file.id; }
    /// Name, folder, hint, recognised text and the first 30000 characters of the text.
    std::string searchableText() const;
};

struct ArchiveRecord {
    UUID id = UUID::make();
    UUID assetID;
    Date sourceModifiedAt;
    std::int64_t sourceBytes = 0;
    std::string path;
    std::string sha256;
    Date date;
};

struct WorkspaceState {
    std::int64_t schemaVersion = 1;
    std::vector<Delivery> projects;
    std::vector<SourceFolder> sources;
    std::vector<IndexedAsset> assets;
    bool automaticScan = true;
    bool recognizeImageText = true;
    std::optional<SourceFolder> archiveFolder;
    bool automaticArchive = false;
    std::vector<ArchiveRecord> archives;
    std::optional<Date> lastScan;
    std::optional<std::string> scanSummary;
    std::optional<std::vector<Delivery>> deletedProjects;

    WorkspaceState() = default;
    explicit WorkspaceState(std::vector<Delivery> projects) : projects(std::move(projects)) {}

    void deleteProject(const UUID& id);
    void restoreProject(const UUID& id);
    /// Merges linked assets into the index, assigns them to a live project by hand when
    /// one is given and regroups (AssetImport.cpp). A stop requested through `stop` ends it with
    /// CancellationError and the workspace unchanged; it fails in no other way.
    void linkAssets(const std::vector<IndexedAsset>& linked, const std::optional<UUID>& projectID,
                    std::stop_token stop = {});
};

struct ScanResult {
    std::vector<IndexedAsset> assets;
    std::map<UUID, std::string> sourceErrors;
    std::int64_t inspectedCount = 0;
    std::int64_t reusedCount = 0;
    std::int64_t movedCount = 0;
    std::int64_t ocrCount = 0;
};

/// A workspace whose project list is held apart from it, as one document.
struct WorkspaceWithProjects {
    const WorkspaceState& state;
    const std::vector<Delivery>& projects;
};

namespace coding {
void write(json::Writer&, const WorkspaceWithProjects&);
void write(json::Writer&, const SourceFolder&);
void write(json::Writer&, const IndexedAsset&);
void write(json::Writer&, const ArchiveRecord&);
void write(json::Writer&, const WorkspaceState&);
SourceFolder decodeSourceFolder(json::Value&, const json::Path&);
IndexedAsset decodeIndexedAsset(json::Value&, const json::Path&);
ArchiveRecord decodeArchiveRecord(json::Value&, const json::Path&);
WorkspaceState decodeWorkspaceState(json::Value&, const json::Path&);
/// What decodeWorkspaceState reads, validated alike with the same first error, keeping only
/// the projects: whole, or as summaries.
std::vector<Delivery> decodeWorkspaceProjects(json::Value&, const json::Path&);
std::vector<ProjectSummary> decodeWorkspaceProjectSummaries(json::Value&, const json::Path&);

template <typename T>
void write(json::Writer& writer, const std::vector<T>& items) {
    writer.beginArray();
    for (const auto& item : items) write(writer, item);
    writer.endArray();
}

/// A record, or a list of them, as JSON text with sorted keys; see json::Writer for `expectedSize`.
template <typename T>
std::string text(const T& value, json::Style style = json::Style::compact, std::size_t expectedSize = 0,
                 std::stop_token stop = {}) {
    json::Writer writer(style, expectedSize, std::move(stop));
    write(writer, value);
    return writer.finish();
}
}  // namespace coding

}  // namespace sorvik
