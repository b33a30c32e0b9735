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
    auto it = std::find_if(deletedProjects->begin(), deletedProjects->end(),
                           [&](const Delivery& d) { return d.id == id; });
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

using json::Reader;

Json encode(const SourceFolder& s) {
    Json j = Json::object();
    j["id"] = s.id.string();
    j["path"] = s.path;
    if (s.bookmark) j["bookmark"] = json::base64Encode(*s.bookmark);
    j["enabled"] = s.enabled;
    if (s.lastError) j["lastError"] = *s.lastError;
    return j;
}

SourceFolder decodeSourceFolder(const Json& value, const std::string& path) {
    Reader r(value, path);
    SourceFolder s;
    s.id = r.uuid("id");
    s.path = r.string("path");
    s.bookmark = r.optionalData("bookmark");
    s.enabled = r.boolean("enabled");
    s.lastError = r.optionalString("lastError");
    return s;
}

Json encode(const IndexedAsset& a) {
    Json j = Json::object();
    j["file"] = encode(a.file);
    if (a.sourceID) j["sourceID"] = a.sourceID->string();
    j["relativeFolder"] = a.relativeFolder;
    if (a.folderHint) j["folderHint"] = *a.folderHint;
    if (a.recognizedText) j["recognizedText"] = *a.recognizedText;
    j["didAttemptOCR"] = a.didAttemptOCR;
    if (a.projectID) j["projectID"] = a.projectID->string();
    j["assignment"] = AssignmentModes::rawValue(a.assignment);
    j["reason"] = a.reason;
    j["isMissing"] = a.isMissing;
    j["sourceChanged"] = a.sourceChanged;
    return j;
}

IndexedAsset decodeIndexedAsset(const Json& value, const std::string& path) {
    Reader r(value, path);
    IndexedAsset a;
    a.file = decodeDeliveryFile(r.require("file"), r.child("file"));
    a.sourceID = r.optionalUUID("sourceID");
    a.relativeFolder = r.string("relativeFolder");
    a.folderHint = r.optionalString("folderHint");
    a.recognizedText = r.optionalString("recognizedText");
    a.didAttemptOCR = r.boolean("didAttemptOCR");
    a.projectID = r.optionalUUID("projectID");
    auto mode = AssignmentModes::fromRawValue(json::asString(r.require("assignment"), r.child("assignment")));
    if (!mode) json::typeMismatch(r.child("assignment"), "an assignment mode");
    a.assignment = *mode;
    a.reason = r.string("reason");
    a.isMissing = r.boolean("isMissing");
    a.sourceChanged = r.boolean("sourceChanged");
    return a;
}

Json encode(const ArchiveRecord& a) {
    Json j = Json::object();
    j["id"] = a.id.string();
    j["assetID"] = a.assetID.string();
    j["sourceModifiedAt"] = json::number(a.sourceModifiedAt.seconds);
    j["sourceBytes"] = a.sourceBytes;
    j["path"] = a.path;
    j["sha256"] = a.sha256;
    j["date"] = json::number(a.date.seconds);
    return j;
}

ArchiveRecord decodeArchiveRecord(const Json& value, const std::string& path) {
    Reader r(value, path);
    ArchiveRecord a;
    a.id = r.uuid("id");
    a.assetID = r.uuid("assetID");
    a.sourceModifiedAt = r.date("sourceModifiedAt");
    a.sourceBytes = r.integer("sourceBytes");
    a.path = r.string("path");
    a.sha256 = r.string("sha256");
    a.date = r.date("date");
    return a;
}

Json encode(const WorkspaceState& w) {
    Json j = Json::object();
    j["schemaVersion"] = w.schemaVersion;
    j["projects"] = json::encodeArray(w.projects, [](const Delivery& d) { return encode(d); });
    j["sources"] = json::encodeArray(w.sources, [](const SourceFolder& s) { return encode(s); });
    j["assets"] = json::encodeArray(w.assets, [](const IndexedAsset& a) { return encode(a); });
    j["automaticScan"] = w.automaticScan;
    j["recognizeImageText"] = w.recognizeImageText;
    if (w.archiveFolder) j["archiveFolder"] = encode(*w.archiveFolder);
    j["automaticArchive"] = w.automaticArchive;
    j["archives"] = json::encodeArray(w.archives, [](const ArchiveRecord& a) { return encode(a); });
    if (w.lastScan) j["lastScan"] = json::number(w.lastScan->seconds);
    if (w.scanSummary) j["scanSummary"] = *w.scanSummary;
    if (w.deletedProjects)
        j["deletedProjects"] = json::encodeArray(*w.deletedProjects, [](const Delivery& d) { return encode(d); });
    return j;
}

WorkspaceState decodeWorkspaceState(const Json& value, const std::string& path) {
    Reader r(value, path);
    WorkspaceState w;
    w.schemaVersion = r.integer("schemaVersion");
    w.projects = json::decodeArray<Delivery>(r.array("projects"), r.child("projects"), decodeDelivery);
    w.sources = json::decodeArray<SourceFolder>(r.array("sources"), r.child("sources"), decodeSourceFolder);
    w.assets = json::decodeArray<IndexedAsset>(r.array("assets"), r.child("assets"), decodeIndexedAsset);
    w.automaticScan = r.boolean("automaticScan");
    w.recognizeImageText = r.boolean("recognizeImageText");
    if (const Json* a = r.find("archiveFolder")) w.archiveFolder = decodeSourceFolder(*a, r.child("archiveFolder"));
    w.automaticArchive = r.boolean("automaticArchive");
    w.archives = json::decodeArray<ArchiveRecord>(r.array("archives"), r.child("archives"), decodeArchiveRecord);
    w.lastScan = r.optionalDate("lastScan");
    w.scanSummary = r.optionalString("scanSummary");
    if (const Json* d = r.optionalArray("deletedProjects"))
        w.deletedProjects = json::decodeArray<Delivery>(*d, r.child("deletedProjects"), decodeDelivery);
    return w;
}

}  // namespace coding
}  // namespace sorvik
