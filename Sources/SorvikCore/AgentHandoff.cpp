#include "SorvikCore/AgentHandoff.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/JsonReader.hpp"
#include "SorvikCore/OrderedWork.hpp"

namespace sorvik::AgentHandoff {

namespace fs = std::filesystem;

namespace {

/// Manifests larger than this are refused instead of read.
constexpr std::uint64_t maxManifestBytes = 256ull << 20;

using files::resolvedPath;

SorvikError snapshotFailure(const ManifestEntry& entry) {
    return SorvikError::message("快照文件校验失败：" + entry.outputPath);
}

/// Whether an output path is one the export writes: relative, made of named components only
/// (no empty, "." or ".." one, so no trailing or doubled "/"), without NUL (the OS would cut
/// the path there). Anything else could name one file under several paths, or another file.
bool wellFormed(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return false;
    for (;;) {
        const auto slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (part.empty() || part == "." || part == "..") return false;
        if (slash == std::string_view::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

/// Checks the entry's file at its resolved path, which lies inside the package.
void verifyEntry(const std::string& path, const ManifestEntry& entry, const std::stop_token& stop) {
    // The path holds no link now: any link put in place since is refused, not followed.
    const files::FileDescriptor fd = files::openWithoutLinks(path);
    if (!fd) {
        const int openError = errno;
        if (openError == ELOOP) throw snapshotFailure(entry);  // a link put in place since
        // The size is checked before the content: an unreadable file (or a socket) of the
        // wrong size or kind is a changed entry; only an unreadable match is the OS's failure.
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 &&
            (!S_ISREG(info.st_mode) || static_cast<std::int64_t>(info.st_size) != entry.bytes))
            throw snapshotFailure(entry);
        throw files::systemError(openError, path, "cannot open");
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw files::systemError(errno, path, "cannot read");
    // Folders, FIFOs, sockets and devices are never a listed file.
    if (!S_ISREG(info.st_mode)) throw snapshotFailure(entry);
    if (static_cast<std::int64_t>(info.st_size) != entry.bytes) throw snapshotFailure(entry);
    if (hashing::sha256Descriptor(fd.get(), path, stop) != entry.sha256) throw snapshotFailure(entry);
}

}  // namespace

ExportReceipt prepare(const WorkspaceState& workspace, const UUID& projectID, const std::vector<UUID>& assetIDs,
                      const Repository& repository, const fs::path& destination, std::stop_token stop) {
    const auto project = std::find_if(workspace.projects.begin(), workspace.projects.end(),
                                      [&](const Delivery& d) { return d.id == projectID; });
    if (project == workspace.projects.end()) throw SorvikError::message("项目不存在或已删除");
    if (assetIDs.empty() || std::set<UUID>(assetIDs.begin(), assetIDs.end()).size() != assetIDs.size())
        throw SorvikError::message("必须明确指定不重复的内容 ID");

    Delivery snapshot = *project;
    snapshot.files.clear();
    snapshot.templ = DeliveryTemplate::flexible();
    for (const UUID& id : assetIDs) {
        const auto file = std::find_if(project->files.begin(), project->files.end(),
                                       [&](const DeliveryFile& f) { return f.id == id; });
        if (file == project->files.end()) throw SorvikError::message("内容不属于指定项目：" + id.string());
        if (file->isSourceUpdatePending())
            throw SorvikError::message("原文件已更新，请先在应用中检查内容：" + file->name);
        snapshot.files.push_back(*file);
    }
    std::vector<fs::path> sourceFolders;
    for (const SourceFolder& source : workspace.sources) sourceFolders.push_back(source.resolve());
    return DeliveryExporter::exportDelivery(snapshot, repository, destination, false, std::move(stop), {},
                                            sourceFolders);
}

std::string readManifest(const fs::path& manifestURL) {
    struct stat info {};
    const files::FileDescriptor fd = files::openRegularFile(manifestURL, false, &info);
    if (static_cast<std::uint64_t>(info.st_size) > maxManifestBytes)
        throw files::systemError(EFBIG, manifestURL, "too large to read:");
    // Room for the whole file and the reader's padding: the text is read where it lies.
    std::string bytes = files::readUpTo(fd.get(), maxManifestBytes + 1, manifestURL,
                                        static_cast<std::size_t>(info.st_size) + 1 + json::readPadding);
    if (bytes.size() > maxManifestBytes) throw files::systemError(EFBIG, manifestURL, "too large to read:");
    return bytes;
}

ExportManifest verify(const fs::path& manifestURL) { return verify(manifestURL, readManifest(manifestURL)); }

ExportManifest verify(const fs::path& manifestURL, const std::string& manifestBytes) {
    ExportManifest manifest = decodeManifestFile(manifestBytes, manifestBytes.capacity());

    const auto& entries = manifest.files;
    bool whole =
        manifest.schemaVersion == 1 && manifest.projectID.has_value() && !entries.empty() &&
        std::all_of(entries.begin(), entries.end(), [](const ManifestEntry& e) { return e.assetID.has_value(); });
    if (whole) {
        std::set<UUID> ids;
        std::set<std::string> paths;
        for (const auto& e : entries) whole = whole && ids.insert(*e.assetID).second;
        for (const auto& e : entries) whole = whole && paths.insert(e.outputPath).second;
    }
    if (!whole) throw SorvikError::message("清单缺少唯一项目或内容标识");

    const fs::path absolute = manifestURL.is_absolute() ? manifestURL : fs::absolute(manifestURL);
    const std::string package = resolvedPath(absolute.parent_path());
    const std::string prefix = package == "/" ? package : package + "/";

    // Where each entry leads as the kernel resolves it (links before ".."); an entry that is
    // malformed, leads out of the package or names a file an earlier entry names already
    // fails before any file is read.
    std::vector<std::string> resolved(entries.size());
    ordered::forEach(entries.size(), [&](std::size_t i) {
        if (wellFormed(entries[i].outputPath)) resolved[i] = files::resolvedPathBelow(package, entries[i].outputPath);
    });
    std::vector<bool> refused(entries.size(), false);
    std::set<std::string_view> named;
    for (std::size_t i = 0; i < entries.size(); ++i)
        refused[i] = !resolved[i].starts_with(prefix) || resolved[i].size() == prefix.size() ||
                     !named.insert(resolved[i]).second;

    // Entries are checked several at a time; the failure reported is the first in manifest
    // order, and the entries after it stop being hashed.
    ordered::forEach(entries.size(), 0, [&](std::size_t i, std::stop_token stop) {
        if (refused[i]) throw snapshotFailure(entries[i]);
        verifyEntry(resolved[i], entries[i], stop);
    });
    return manifest;
}

}  // namespace sorvik::AgentHandoff
