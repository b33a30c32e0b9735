#include "SorvikCore/FolderIndexer.hpp"

#include <cerrno>
#include <map>
#include <set>
#include <span>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include <unicode/unistr.h>

#include "SorvikCore/AssetReuse.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderWalk.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/ProjectHintFile.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::FolderIndexer {

const std::vector<std::string>& packageExtensions() {
    // Linux has no packages: folders named like the usual bundles (applications, plug-ins,
    // frameworks, photo and media libraries, documents saved as folders, project bundles and
    // asset catalogues) are treated as such.
    static const std::vector<std::string> extensions{
        "app",    "bundle", "framework", "photoslibrary", "fcpbundle", "imovielibrary", "logicx",  "band",
        "rtfd",   "pages",  "numbers",   "key",           "xcodeproj", "xcassets",      "plugin",  "kext"};
    return extensions;
}

namespace {

namespace fs = std::filesystem;

/// The text with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string replacingInvalidUTF8(const std::string& text) {
    std::string out;
    icu::UnicodeString::fromUTF8(text).toUTF8String(out);
    return out;
}

std::string lowerExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

/// As the kernel resolves it (links before ".."), for the part that exists; no trailing slash.
std::string resolvedPath(const fs::path& url) {
    try {
        return files::resolvedPath(url);
    } catch (const std::exception&) {
        return url.lexically_normal().string();  // relative, without a working folder
    }
}

/// Whether `path` is `folder` or lies below it, compared by whole components.
bool isWithin(std::string_view path, std::string_view folder) {
    if (!path.starts_with(folder)) return false;
    return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

std::string describe(int error, const std::string& path) {
    return files::systemError(error, unicode::isValidUTF8(path) ? path : replacingInvalidUTF8(path), "cannot read")
        .what();
}

/// A name that is not UTF-8 cannot be stored: the file is left out with this error.
std::string unreadableNameMessage(const std::string& path) {
    return AssetReuse::unreadableFileMessage(std::system_error(EILSEQ, std::generic_category(),
                                                               "\"" + replacingInvalidUTF8(path) + "\""));
}

std::string parentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

/// Candidates inspected ahead together: enough to keep every thread busy, few enough for
/// steady progress.
constexpr std::size_t inspectionBatch = 200;

std::string limitMessage(std::int64_t limit) {
    return "本次扫描超过 " + std::to_string(limit) + " 件，请选择更具体的来源文件夹。";
}

/// The walk of the sources and the linked files into the ordered candidate list.
class CandidateCollector {
public:
    CandidateCollector(std::vector<std::string> excluded, std::int64_t limit, std::stop_token stop,
                       std::map<UUID, std::string>& sourceErrors)
        : excluded_(std::move(excluded)), limit_(limit), stop_(std::move(stop)), sourceErrors_(sourceErrors) {}

    void walkSource(const SourceFolder& source) {
        const std::string root = resolvedPath(source.resolve());
        struct stat info {};
        if (::stat(root.c_str(), &info) != 0) {
            sourceErrors_[source.id] = describe(errno, root);
            return;
        }
        if (!S_ISDIR(info.st_mode)) {
            sourceErrors_[source.id] = "来源文件夹不可用";
            return;
        }
        if (!unicode::isValidUTF8(root)) {
            sourceErrors_[source.id] = describe(EILSEQ, root);
            return;
        }
        const std::size_t prefix = root == "/" ? 1 : root.size() + 1;
        std::optional<std::string> walkError;
        const auto visit = [&](const FolderWalk::Entry& entry) {
            if (stop_.stop_requested()) throw CancellationError();
            using FolderWalk::Action;
            using FolderWalk::EntryType;
            // Hidden entries and links are never listed, nor entered.
            if (entry.name.starts_with('.') || entry.type == EntryType::symbolicLink) return Action::skipDescendants;
            // Entries are built below the resolved root and links are never followed, so every
            // path already starts with the root's prefix.
            if (isIgnored(entry.name) || isExcluded(entry.path)) return Action::skipDescendants;
            if (entry.type == EntryType::directory) {
                if (!unicode::isValidUTF8(entry.name)) {
                    sourceErrors_[source.id] = unreadableNameMessage(entry.path);
                    return Action::skipDescendants;
                }
                const std::string ext = lowerExtension(entry.name);
                for (const std::string& package : packageExtensions())
                    if (ext == package) return Action::skipDescendants;
                return Action::proceed;
            }
            if (entry.type != EntryType::regularFile) return Action::skipDescendants;
            if (!FileInspector::supported().contains(lowerExtension(entry.name))) return Action::skipDescendants;
            if (!unicode::isValidUTF8(entry.name)) {
                // Never written into the library: the name cannot be stored as text.
                sourceErrors_[source.id] = unreadableNameMessage(entry.path);
                return Action::skipDescendants;
            }
            if (!seen_.insert(entry.path).second) return Action::skipDescendants;
            const std::size_t slash = entry.path.rfind('/');
            std::string relativeFolder = slash > prefix ? entry.path.substr(prefix, slash - prefix) : std::string();
            candidates_.push_back(AssetReuse::Candidate{entry.path, source.id, std::move(relativeFolder),
                                                        entry.status ? std::optional(*entry.status) : std::nullopt});
            if (++fromSources_ > limit_) throw SorvikError::message(limitMessage(limit_));
            return Action::skipDescendants;
        };
        const auto failed = [&](const std::string& path, int error) { walkError = describe(error, path); };
        // A root that is excluded, or lies inside an excluded folder, yields nothing but is walked.
        const auto wantsStatus = [](std::string_view name) {
            return !name.starts_with('.') && FileInspector::supported().contains(lowerExtension(name));
        };
        if (!isExcluded(root)) FolderWalk::walk(root, visit, failed, wantsStatus);
        if (walkError)
            sourceErrors_[source.id] = *walkError;
        else
            walked_.insert(source.id);
    }

    void addLinkedFiles(const std::vector<IndexedAsset>& previous) {
        for (const IndexedAsset& asset : previous) {
            if (asset.sourceID || !asset.file.reference) continue;
            std::string path = asset.file.reference->resolve(false).string();
            if (!AssetReuse::linkedFileExists(path) || !seen_.insert(path).second) continue;
            candidates_.push_back(AssetReuse::Candidate{std::move(path), std::nullopt, asset.relativeFolder, {}});
        }
    }

    const std::vector<AssetReuse::Candidate>& candidates() const { return candidates_; }
    const std::set<UUID>& walked() const { return walked_; }

private:
    static bool isIgnored(std::string_view name) {
        for (const std::string& ignored : ignoredDirectories())
            if (name == ignored) return true;
        return false;
    }
    bool isExcluded(std::string_view path) const {
        for (const std::string& folder : excluded_)
            if (isWithin(path, folder)) return true;
        return false;
    }

    std::vector<std::string> excluded_;
    std::int64_t limit_;
    std::stop_token stop_;
    std::map<UUID, std::string>& sourceErrors_;
    std::unordered_set<std::string> seen_;
    std::set<UUID> walked_;
    std::vector<AssetReuse::Candidate> candidates_;
    std::int64_t fromSources_ = 0;
};

/// Hints for the assets whose folder names no topic: the one title topic of the copy texts
/// beside them, replaced by the name in a "project.json" of their folder.
void addFolderHints(std::vector<IndexedAsset>& assets) {
    // Title topics matter only in folders that hold an asset still without a hint.
    std::unordered_map<std::string, std::set<std::string>> titleTopics;
    for (const IndexedAsset& asset : assets)
        if (!asset.folderHint && asset.file.reference && !asset.relativeFolder.empty())
            titleTopics.try_emplace(parentFolder(asset.file.reference->path));
    if (!titleTopics.empty()) {
        for (const IndexedAsset& asset : assets) {
            if (asset.file.role != FileRole::copy || !asset.file.reference) continue;
            const auto& text = asset.file.effectiveText();
            if (!text) continue;
            const auto folder = titleTopics.find(parentFolder(asset.file.reference->path));
            if (folder == titleTopics.end()) continue;
            if (auto topic = ProjectMatcher::topic(CheckEngine::titleAndBody(*text).first))
                folder->second.insert(std::move(*topic));
        }
    }
    std::unordered_map<std::string, std::optional<std::string>> projectHints;
    for (IndexedAsset& asset : assets) {
        if (asset.folderHint || !asset.file.reference) continue;
        const std::string folder = parentFolder(asset.file.reference->path);
        if (!asset.relativeFolder.empty())
            if (const auto it = titleTopics.find(folder); it != titleTopics.end() && it->second.size() == 1)
                asset.folderHint = *it->second.begin();
        auto [hint, first] = projectHints.try_emplace(folder);
        if (first) hint->second = ProjectHintFile::read(folder);
        if (hint->second) asset.folderHint = hint->second;
    }
}

}  // namespace

const std::vector<std::string>& ignoredDirectories() {
    static const std::vector<std::string> names{".git", ".build", "node_modules", "__pycache__", ".Trash",
                                                "DerivedData"};
    return names;
}

ScanResult scan(const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous,
                const std::vector<std::filesystem::path>& excluded, const std::filesystem::path& libraryRoot,
                bool recognizeText, std::int64_t limit, const Progress& progress, std::stop_token stop,
                unsigned threads) {
    std::vector<std::string> excludedPaths;
    excludedPaths.reserve(excluded.size() + 1);
    // The library's own folder is never indexed, whatever the caller passes.
    if (!libraryRoot.empty()) excludedPaths.push_back(resolvedPath(libraryRoot));
    for (const auto& folder : excluded)
        if (!folder.empty()) excludedPaths.push_back(resolvedPath(folder));

    std::map<UUID, std::string> sourceErrors;
    CandidateCollector collector(std::move(excludedPaths), limit, stop, sourceErrors);
    for (const SourceFolder& source : sources)
        if (source.enabled) collector.walkSource(source);
    collector.addLinkedFiles(previous);

    AssetReuse::Reuser reuser(previous, recognizeText);
    const auto& candidates = collector.candidates();
    const std::size_t total = candidates.size();
    // Inspections run ahead a batch at a time, so that progress keeps coming; everything else
    // runs here, in candidate order.
    const bool ahead = threads != 1;
    for (std::size_t i = 0; i < total; ++i) {
        if (stop.stop_requested()) throw CancellationError();
        if (ahead && i % inspectionBatch == 0)
            reuser.inspectAhead(std::span(candidates).subspan(i, std::min(inspectionBatch, total - i)), threads,
                                stop);
        if (i % 20 == 0 && progress)
            progress("正在索引 " + std::to_string(i + 1) + " / " + std::to_string(total) + " 件素材…");
        reuser.process(candidates[i], sourceErrors, stop);
    }
    addFolderHints(reuser.results());
    reuser.keepUnclaimed(collector.walked());
    return std::move(reuser).finish(std::move(sourceErrors));
}

}  // namespace sorvik::FolderIndexer
