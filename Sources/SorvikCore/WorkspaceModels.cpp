#include "SorvikCore/WorkspaceModels.hpp"

#include <algorithm>
#include <unordered_set>

#include "SorvikCore/UnicodeText.hpp"

namespace sorvik {

namespace fs = std::filesystem;

namespace {
/// The path with "." and ".." removed and no trailing slash.
std::string standardized(const fs::path& url) {
    fs::path p = url.is_absolute() ? url : fs::absolute(url);
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}
}  // namespace

FileReference FileReference::make(const fs::path& url, Date modifiedAt, std::optional<std::string> identity) {
    // Bookmarks do not exist here: the reference carries the path alone.
    return FileReference{url.string(), std::nullopt, std::move(identity), modifiedAt};
}

fs::path FileReference::resolve(bool /*scoped*/) const {
    // Without bookmarks every resolution falls back to the stored path; stored
    // bookmark bytes are kept as they are.
    return fs::path(path);
}

SourceFolder SourceFolder::make(const fs::path& url) {
    SourceFolder s;
    s.id = UUID::make();
    s.path = standardized(url);
    return s;
}

fs::path SourceFolder::resolve() const { return fs::path(path); }

std::string SourceFolder::name() const {
    std::string_view p = path;
    while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    if (p == "/") return "/";
    auto slash = p.rfind('/');
    return std::string(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

namespace AssignmentModes {
std::string_view rawValue(AssignmentMode mode) {
    switch (mode) {
        case AssignmentMode::automatic: return "automatic";
        case AssignmentMode::manual: return "manual";
        case AssignmentMode::unassigned: return "unassigned";
    }
    return "automatic";
}
std::optional<AssignmentMode> fromRawValue(std::string_view text) {
    if (text == "automatic") return AssignmentMode::automatic;
    if (text == "manual") return AssignmentMode::manual;
    if (text == "unassigned") return AssignmentMode::unassigned;
    return std::nullopt;
}
}  // namespace AssignmentModes

std::string IndexedAsset::searchableText() const {
    const auto& body = file.editedText ? file.editedText : file.text;
    std::string out;
    out.reserve(file.name.size() + relativeFolder.size() + 64);
    out += file.name;
    out += ' ';
    out += relativeFolder;
    out += ' ';
    out += folderHint.value_or("");
    out += ' ';
    out += recognizedText.value_or("");
    out += ' ';
    if (body) out += unicode::graphemePrefix(*body, 30000);
    return out;
}

void WorkspaceState::deleteProject(const UUID& id) {
    auto it = std::find_if(projects.begin(), projects.end(), [&](const Delivery& d) { return d.id == id; });
    if (it == projects.end()) return;
    if (!deletedProjects) deletedProjects.emplace();
    deletedProjects->push_back(*it);
    std::erase_if(projects, [&](const Delivery& d) { return d.id == id; });
    for (auto& asset : assets) {
        if (asset.projectID == id) {
            asset.projectID.reset();
            asset.assignment = AssignmentMode::unassigned;
            asset.reason = "所属项目已删除，原文件保留";
        }
    }
}

void WorkspaceState::restoreProject(const UUID& id) {
    if (!deletedProjects) return;
    auto it =
        std::find_if(deletedProjects->begin(), deletedProjects->end(), [&](const Delivery& d) { return d.id == id; });
    if (it == deletedProjects->end()) return;
    Delivery project = *it;

    std::unordered_set<UUID> projectFiles, indexed;
    for (const auto& f : project.files) projectFiles.insert(f.id);
    for (const auto& a : assets) indexed.insert(a.file.id);

    std::erase_if(project.files, [&](const DeliveryFile& f) { return indexed.contains(f.id); });
    for (auto& asset : assets) {
        if (projectFiles.contains(asset.file.id) && !asset.projectID) {
            asset.projectID = id;
            asset.assignment = AssignmentMode::manual;
            project.files.push_back(asset.file);
        }
    }
    projects.push_back(std::move(project));
    std::erase_if(*deletedProjects, [&](const Delivery& d) { return d.id == id; });
}

namespace coding {

void write(json::Writer& w, const SourceFolder& s) {
    w.beginObject();
    if (s.bookmark) w.key("bookmark").string(json::base64Encode(*s.bookmark));
    w.key("enabled").boolean(s.enabled);
    w.key("id").uuid(s.id);
    if (s.lastError) w.key("lastError").string(*s.lastError);
    w.key("path").string(s.path);
    w.endObject();
}

SourceFolder decodeSourceFolder(json::Value& value, const json::Path& path) {
    json::Field id(path, "id"), folderPath(path, "path"), bookmark(path, "bookmark"), enabled(path, "enabled"),
        lastError(path, "lastError");
    json::readObject(value, path, {&bookmark, &enabled, &id, &lastError, &folderPath});
    SourceFolder s;
    s.id = id.uuid();
    s.path = folderPath.string();
    s.bookmark = bookmark.optionalData();
    s.enabled = enabled.boolean();
    s.lastError = lastError.optionalString();
    return s;
}

void write(json::Writer& w, const IndexedAsset& a) {
    w.beginObject();
    w.key("assignment").word(AssignmentModes::rawValue(a.assignment));
    w.key("didAttemptOCR").boolean(a.didAttemptOCR);
    write(w.key("file"), a.file);
    if (a.folderHint) w.key("folderHint").string(*a.folderHint);
    w.key("isMissing").boolean(a.isMissing);
    if (a.projectID) w.key("projectID").uuid(*a.projectID);
    w.key("reason").string(a.reason);
    if (a.recognizedText) w.key("recognizedText").string(*a.recognizedText);
    w.key("relativeFolder").string(a.relativeFolder);
    w.key("sourceChanged").boolean(a.sourceChanged);
    if (a.sourceID) w.key("sourceID").uuid(*a.sourceID);
    w.endObject();
}

IndexedAsset decodeIndexedAsset(json::Value& value, const json::Path& path) {
    json::Field sourceID(path, "sourceID"), relativeFolder(path, "relativeFolder"), folderHint(path, "folderHint"),
        recognizedText(path, "recognizedText"), didAttemptOCR(path, "didAttemptOCR"), projectID(path, "projectID"),
        assignment(path, "assignment"), reason(path, "reason"), isMissing(path, "isMissing"),
        sourceChanged(path, "sourceChanged");
    json::Nested<DeliveryFile> file(path, "file", decodeDeliveryFile);
    json::readObject(value, path,
                     {&assignment, &didAttemptOCR, &file, &folderHint, &isMissing, &projectID, &reason, &recognizedText,
                      &relativeFolder, &sourceChanged, &sourceID});
    IndexedAsset a;
    a.file = file.required();
    a.sourceID = sourceID.optionalUUID();
    a.relativeFolder = relativeFolder.string();
    a.folderHint = folderHint.optionalString();
    a.recognizedText = recognizedText.optionalString();
    a.didAttemptOCR = didAttemptOCR.boolean();
    a.projectID = projectID.optionalUUID();
    auto mode = AssignmentModes::fromRawValue(assignment.string());
    if (!mode) json::typeMismatch(assignment.path(), "an assignment mode");
    a.assignment = *mode;
    a.reason = reason.string();
    a.isMissing = isMissing.boolean();
    a.sourceChanged = sourceChanged.boolean();
    return a;
}

void write(json::Writer& w, const ArchiveRecord& a) {
    w.beginObject();
    w.key("assetID").uuid(a.assetID);
    w.key("date").number(a.date.seconds);
    w.key("id").uuid(a.id);
    w.key("path").string(a.path);
    w.key("sha256").string(a.sha256);
    w.key("sourceBytes").integer(a.sourceBytes);
    w.key("sourceModifiedAt").number(a.sourceModifiedAt.seconds);
    w.endObject();
}

ArchiveRecord decodeArchiveRecord(json::Value& value, const json::Path& path) {
    json::Field id(path, "id"), assetID(path, "assetID"), sourceModifiedAt(path, "sourceModifiedAt"),
        sourceBytes(path, "sourceBytes"), archivePath(path, "path"), sha256(path, "sha256"), date(path, "date");
    json::readObject(value, path, {&assetID, &date, &id, &archivePath, &sha256, &sourceBytes, &sourceModifiedAt});
    ArchiveRecord a;
    a.id = id.uuid();
    a.assetID = assetID.uuid();
    a.sourceModifiedAt = sourceModifiedAt.date();
    a.sourceBytes = sourceBytes.integer();
    a.path = archivePath.string();
    a.sha256 = sha256.string();
    a.date = date.date();
    return a;
}

void write(json::Writer& w, const WorkspaceState& s) { write(w, WorkspaceWithProjects{s, s.projects}); }

void write(json::Writer& w, const WorkspaceWithProjects& whole) {
    const WorkspaceState& s = whole.state;
    w.beginObject();
    if (s.archiveFolder) write(w.key("archiveFolder"), *s.archiveFolder);
    write(w.key("archives"), s.archives);
    write(w.key("assets"), s.assets);
    w.key("automaticArchive").boolean(s.automaticArchive);
    w.key("automaticScan").boolean(s.automaticScan);
    if (s.deletedProjects) write(w.key("deletedProjects"), *s.deletedProjects);
    if (s.lastScan) w.key("lastScan").number(s.lastScan->seconds);
    write(w.key("projects"), whole.projects);
    w.key("recognizeImageText").boolean(s.recognizeImageText);
    if (s.scanSummary) w.key("scanSummary").string(*s.scanSummary);
    w.key("schemaVersion").integer(s.schemaVersion);
    write(w.key("sources"), s.sources);
    w.endObject();
}

namespace {

/// A list decoded whole, or only validated alike and counted.
template <bool keep, typename T>
using ListOf = std::conditional_t<keep, std::vector<T>, std::size_t>;

template <bool keep, auto decodeElement>
constexpr auto listOf() {
    if constexpr (keep) return json::arrayOf<decodeElement>;
    else return json::countOf<decodeElement>;
}

/// The workspace whole, or only its projects as decodeProject reads them: either way every
/// member is validated and checked in one order, so the first error is the same.
template <bool whole, auto decodeProject>
auto decodeWorkspaceAs(json::Value& value, const json::Path& path) {
    using Project = decltype(decodeProject(value, path));
    json::Field schemaVersion(path, "schemaVersion"), automaticScan(path, "automaticScan"),
        recognizeImageText(path, "recognizeImageText"), automaticArchive(path, "automaticArchive"),
        lastScan(path, "lastScan"), scanSummary(path, "scanSummary");
    json::Nested<std::vector<Project>> projects(path, "projects", json::arrayOf<decodeProject>);
    json::Nested<ListOf<whole, SourceFolder>> sources(path, "sources", listOf<whole, decodeSourceFolder>());
    json::Nested<ListOf<whole, IndexedAsset>> assets(path, "assets", listOf<whole, decodeIndexedAsset>());
    json::Nested<SourceFolder> archiveFolder(path, "archiveFolder", decodeSourceFolder);
    json::Nested<ListOf<whole, ArchiveRecord>> archives(path, "archives", listOf<whole, decodeArchiveRecord>());
    json::Nested<ListOf<whole, Delivery>> deletedProjects(path, "deletedProjects", listOf<whole, decodeDelivery>());
    json::readObject(value, path,
                     {&archiveFolder, &archives, &assets, &automaticArchive, &automaticScan, &deletedProjects,
                      &lastScan, &projects, &recognizeImageText, &scanSummary, &schemaVersion, &sources});
    if constexpr (whole) {
        WorkspaceState w;
        w.schemaVersion = schemaVersion.integer();
        w.projects = projects.required();
        w.sources = sources.required();
        w.assets = assets.required();
        w.automaticScan = automaticScan.boolean();
        w.recognizeImageText = recognizeImageText.boolean();
        w.archiveFolder = archiveFolder.optional();
        w.automaticArchive = automaticArchive.boolean();
        w.archives = archives.required();
        w.lastScan = lastScan.optionalDate();
        w.scanSummary = scanSummary.optionalString();
        w.deletedProjects = deletedProjects.optional();
        return w;
    } else {
        schemaVersion.integer();
        std::vector<Project> kept = projects.required();
        sources.required();
        assets.required();
        automaticScan.boolean();
        recognizeImageText.boolean();
        archiveFolder.optional();
        automaticArchive.boolean();
        archives.required();
        lastScan.optionalDate();
        scanSummary.optionalString();
        deletedProjects.optional();
        return kept;
    }
}

}  // namespace

WorkspaceState decodeWorkspaceState(json::Value& value, const json::Path& path) {
    return decodeWorkspaceAs<true, decodeDelivery>(value, path);
}

std::vector<Delivery> decodeWorkspaceProjects(json::Value& value, const json::Path& path) {
    return decodeWorkspaceAs<false, decodeDelivery>(value, path);
}

std::vector<ProjectSummary> decodeWorkspaceProjectSummaries(json::Value& value, const json::Path& path) {
    return decodeWorkspaceAs<false, decodeProjectSummary>(value, path);
}

}  // namespace coding
}  // namespace sorvik
