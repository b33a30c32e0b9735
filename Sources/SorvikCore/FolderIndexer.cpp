#include "SorvikCore/FolderIndexer.hpp"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/statfs.h>
#include <malloc.h>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include <unicode/unistr.h>

#include "SorvikCore/AbandonableWork.hpp"
#include "SorvikCore/AssetReuse.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/FolderWalk.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/ProjectHintFile.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/StallMemory.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::FolderIndexer {

const std::vector<std::string>& bundleExtensions() {
    // Linux has no bundles of its own: folders named like the usual bundles (applications, plug-ins,
    // frameworks, photo and media libraries, documents saved as folders, project bundles and
    // asset catalogues) are treated as such.
    static const std::vector<std::string> extensions{
        "app",  "bundle", "framework", "photoslibrary", "fcpbundle", "imovielibrary", "logicx", "band",
        "rtfd", "pages",  "numbers",   "key",           "xcodeproj", "xcassets",      "plugin", "kext"};
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

std::string describe(int error, const std::string& path) {
    return files::systemError(error, unicode::isValidUTF8(path) ? path : replacingInvalidUTF8(path), "cannot read")
        .what();
}

/// A name that is not UTF-8 cannot be stored: the file is left out with this error.
std::string unreadableNameMessage(const std::string& path) {
    return AssetReuse::unreadableFileMessage(
        std::system_error(EILSEQ, std::generic_category(), "\"" + replacingInvalidUTF8(path) + "\""));
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

std::string unresponsiveMessage() { return "来源文件夹没有响应，本次扫描已跳过。"; }

/// One stretch of a source's walk, in discovery order: its candidates and the last error of
/// each kind met in it.
struct WalkPart {
    std::vector<AssetReuse::Candidate> candidates;
    std::optional<std::string> nameError;  // a name that cannot be stored
    std::optional<std::string> walkError;  // a folder that could not be read
};

/// What the first job of a source's walk gives: the source's errors before any entry, else its
/// stretches in order. A stretch with `subfolder` set is walked by a job of its own, below the
/// folders `outer`.
struct WalkResult {
    struct Piece {
        WalkPart part;
        std::optional<std::string> subfolder;
    };
    std::optional<std::string> error;
    std::vector<Piece> pieces;
    std::vector<FolderWalk::FolderID> outer;
};

bool isIgnored(std::string_view name) {
    for (const std::string& ignored : ignoredDirectories())
        if (name == ignored) return true;
    return false;
}

/// Whether the open folder lies on a local disk file system, whose folders can be walked side
/// by side; a network or user-space file system is walked by one thread.
bool isLocalDisk(int folder) {
    struct statfs info {};
    if (::fstatfs(folder, &info) != 0) return false;
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0xEF53:      // ext2, ext3, ext4
        case 0x58465342:  // xfs
        case 0x9123683E:  // btrfs
        case 0x01021994:  // tmpfs
        case 0xF2F52010:  // f2fs
        case 0x794C7630:  // overlay
            return true;
        default: return false;
    }
}

/// What a walk of a source shares between its jobs: the settings, the open root and the count
/// of files taken.
struct WalkContext {
    SourceFolder source;
    std::vector<FolderWalk::FolderID> excluded;  // folders never entered, by identity
    files::SharedFolder root;                    // every folder and file is opened below it
    std::int64_t limit = 0;
    std::size_t prefix = 0;  // of the root, with its slash
    std::atomic<std::int64_t> taken{0};
};

/// Walks `folder` of a source (the root or a folder directly in it) into `part`, below the
/// source's open root. With `split`, the folders directly in it are not entered but left to
/// jobs of their own, as pieces.
void walkFolder(WalkContext& context, const std::string& folder, const std::vector<FolderWalk::FolderID>& outer,
                std::stop_token stop, const abandonable::Beat& beat, std::vector<WalkResult::Piece>& pieces,
                bool split) {
    IdentityReader readIdentity;
    const auto part = [&]() -> WalkPart& {
        if (pieces.empty() || pieces.back().subfolder) pieces.emplace_back();
        return pieces.back().part;
    };
    const auto visit = [&](const FolderWalk::Entry& entry) {
        if (stop.stop_requested()) throw CancellationError();
        using FolderWalk::Action;
        using FolderWalk::EntryType;
        // Hidden entries and links are never listed, nor entered.
        if (entry.name.starts_with('.') || entry.type == EntryType::symbolicLink) return Action::skipDescendants;
        // Entries are built below the resolved root and links are never followed, so every
        // path already starts with the root's prefix. Excluded folders are never entered.
        if (isIgnored(entry.name)) return Action::skipDescendants;
        if (entry.type == EntryType::directory) {
            if (!unicode::isValidUTF8(entry.name)) {
                part().nameError = unreadableNameMessage(entry.path);
                return Action::skipDescendants;
            }
            const std::string ext = lowerExtension(entry.name);
            for (const std::string& bundle : bundleExtensions())
                if (ext == bundle) return Action::skipDescendants;
            if (split && entry.depth == 1) {
                pieces.push_back({{}, entry.path});
                return Action::skipDescendants;
            }
            return Action::proceed;
        }
        if (entry.type != EntryType::regularFile) return Action::skipDescendants;
        if (!FileInspector::supported().contains(lowerExtension(entry.name))) return Action::skipDescendants;
        if (!unicode::isValidUTF8(entry.name)) {
            // Never written into the library: the name cannot be stored as text.
            part().nameError = unreadableNameMessage(entry.path);
            return Action::skipDescendants;
        }
        // The attributes are read here, on the walk's thread, never later by the scan.
        struct statx status {};
        const std::string name(entry.name);
        if (entry.status) {
            status = *entry.status;
        } else if (files::statusAt(entry.folder, name.c_str(), status) != 0) {
            part().nameError = AssetReuse::unreadableFileMessage(files::systemError(errno, entry.path, "cannot read"));
            return Action::skipDescendants;
        }
        const std::size_t prefix = context.prefix;
        const std::size_t slash = entry.path.rfind('/');
        std::string relativeFolder = slash > prefix ? entry.path.substr(prefix, slash - prefix) : std::string();
        std::optional<std::string> identity = readIdentity(status, entry.folder, name);
        part().candidates.push_back(AssetReuse::Candidate{
            entry.path, context.source.id, std::move(relativeFolder), status, std::move(identity), true,
            AssetReuse::Listed{context.root, files::Identity{entry.folderID.first, entry.folderID.second}}});
        // A source alone beyond the limit puts every scan of it beyond the limit.
        if (context.taken.fetch_add(1, std::memory_order_relaxed) + 1 > context.limit)
            throw SorvikError::message(limitMessage(context.limit));
        return Action::skipDescendants;
    };
    const auto failed = [&](const std::string& path, int error) { part().walkError = describe(error, path); };
    const auto wantsStatus = [](std::string_view name) {
        return !name.starts_with('.') && FileInspector::supported().contains(lowerExtension(name));
    };
    const std::string_view relative = std::string_view(folder).substr(std::min(context.prefix, folder.size()));
    FolderWalk::walk(context.root->get(), relative, folder, visit, failed, wantsStatus, beat, outer);
}

/// The first job of a source's walk; runs on a thread of its own, which the scan may give up
/// on, as do the jobs of its folders. Every file system access of a source happens on them, so
/// the status of each candidate is taken.
void walkSource(const std::shared_ptr<WalkContext>& context, std::stop_token stop, const abandonable::Beat& beat,
                WalkResult& out) {
    const std::string root = resolvedPath(context->source.resolve());
    struct stat info {};
    if (::stat(root.c_str(), &info) != 0) {
        out.error = describe(errno, root);
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        out.error = "来源文件夹不可用";
        return;
    }
    if (!unicode::isValidUTF8(root)) {
        out.error = describe(EILSEQ, root);
        return;
    }
    // The resolved root holds no link: one put in its way since is refused.
    files::FileDescriptor fd = files::openWithoutLinks(root);
    if (!fd || ::fstat(fd.get(), &info) != 0) {
        out.error = describe(errno, root);
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        out.error = "来源文件夹不可用";
        return;
    }
    beat();
    context->root = std::make_shared<const files::FileDescriptor>(std::move(fd));
    out.outer = {{info.st_dev, info.st_ino}};
    out.outer.insert(out.outer.end(), context->excluded.begin(), context->excluded.end());
    context->prefix = root == "/" ? 1 : root.size() + 1;
    // A root that is excluded, or lies inside an excluded folder, yields nothing but is walked.
    for (const auto& [device, inode] : context->excluded)
        if (files::folderWithin(context->root->get(), files::Identity{device, inode})) return;
    walkFolder(*context, root, context->excluded, stop, beat, out.pieces, isLocalDisk(context->root->get()));
}
/// Whether a linked file exists (a final link followed) and its own attributes (lstat).
struct LinkedFile {
    bool exists = false;
    std::optional<struct statx> status;
    std::optional<std::string> identity;
};

LinkedFile checkLinkedFile(const std::string& path) {
    LinkedFile file;
    file.exists = AssetReuse::linkedFileExists(path);
    struct statx status {};
    if (file.exists && files::statusAt(AT_FDCWD, path.c_str(), status) == 0) {
        file.status = status;
        file.identity = IdentityReader()(status, path);
    }
    return file;
}

/// The group of paths one hang puts out of reach: their mount.
abandonable::Batch<std::string, std::string>::GroupOf byMount() {
    auto table = std::make_shared<std::optional<abandonable::MountTable>>();
    return [table](const std::string& path) {
        if (!*table) table->emplace();
        return (*table)->mountOf(path);
    };
}

/// The folders walks listed files in, by path: a "project.json" in one is read below its
/// source's root, and only while it is still the folder listed.
using ListedFolders = std::unordered_map<std::string, AssetReuse::Candidate>;

std::optional<std::string> readProjectHint(const ListedFolders& listed, const std::string& folder) {
    const auto it = listed.find(folder);
    if (it == listed.end()) return ProjectHintFile::read(folder);
    try {
        const files::FileDescriptor fd = AssetReuse::openFolderOf(it->second);
        return ProjectHintFile::readAt(fd.get(), folder);
    } catch (...) {
        return std::nullopt;
    }
}

/// Hints for the assets whose folder names no topic: the one title topic of the copy texts
/// beside them, replaced by the name in a "project.json" of their folder.
void addFolderHints(std::vector<IndexedAsset>& assets, const std::shared_ptr<const ListedFolders>& listed,
                    abandonable::Pool& pool, std::stop_token stop) {
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
    // Every folder of an asset without a hint is probed once; a folder that does not answer
    // gives no hint.
    std::vector<std::string> folders;
    std::unordered_map<std::string, std::optional<std::string>> projectHints;
    for (const IndexedAsset& asset : assets)
        if (!asset.folderHint && asset.file.reference) {
            std::string folder = parentFolder(asset.file.reference->path);
            if (projectHints.try_emplace(folder).second) folders.push_back(std::move(folder));
        }
    if (!folders.empty()) {
        abandonable::Batch<std::string, std::optional<std::string>> probes(
            pool, folders, [listed](const std::string& folder) { return readProjectHint(*listed, folder); }, byMount());
        const auto read = std::move(probes).finish(stop);
        for (std::size_t i = 0; i < folders.size(); ++i)
            if (read[i]) projectHints[folders[i]] = *read[i];
    }
    for (IndexedAsset& asset : assets) {
        if (asset.folderHint || !asset.file.reference) continue;
        const std::string folder = parentFolder(asset.file.reference->path);
        if (!asset.relativeFolder.empty())
            if (const auto it = titleTopics.find(folder); it != titleTopics.end() && it->second.size() == 1)
                asset.folderHint = *it->second.begin();
        if (const auto& hint = projectHints[folder]) asset.folderHint = hint;
    }
}

}  // namespace

void keepLargeBlocksInHeap() {
    static std::once_flag once;
    std::call_once(once, [] {
        ::mallopt(M_MMAP_THRESHOLD, 256 << 20);
        ::mallopt(M_TRIM_THRESHOLD, 512 << 20);
    });
}

const std::vector<std::string>& ignoredDirectories() {
    static const std::vector<std::string> names{".git",        ".build", "node_modules",
                                                "__pycache__", ".Trash", "DerivedData"};
    return names;
}

ScanResult scan(const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous,
                const std::vector<std::filesystem::path>& excluded, const std::filesystem::path& libraryRoot,
                bool recognizeText, std::int64_t limit, const Progress& progress, std::stop_token stop,
                unsigned threads, std::chrono::milliseconds quietLimit, StallMemory* memory) {
    // Walks, checks of linked files and folder probes run here, a few at a time; the scan never
    // waits for one that stops answering.
    abandonable::Pool fileSystem(4, quietLimit);
    if (memory) memory->beginScan();

    // The library's own folder is never indexed, whatever the caller passes. Folders are set
    // aside by identity: no other name of them (a link, a bind mount) is entered either.
    std::vector<std::string> toResolve;
    if (!libraryRoot.empty()) toResolve.push_back(libraryRoot.string());
    for (const auto& folder : excluded)
        if (!folder.empty()) toResolve.push_back(folder.string());
    std::vector<FolderWalk::FolderID> excludedFolders;
    {
        abandonable::Batch<std::string, std::optional<FolderWalk::FolderID>> identifying(
            fileSystem, toResolve,
            [](const std::string& path) -> std::optional<FolderWalk::FolderID> {
                struct stat info {};
                if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
                return FolderWalk::FolderID{info.st_dev, info.st_ino};
            },
            byMount());
        for (const auto& folder : std::move(identifying).finish(stop))
            if (folder && *folder) excludedFolders.push_back(**folder);
    }

    struct Walk {
        const SourceFolder* source;
        std::shared_ptr<WalkContext> context;
        std::shared_ptr<WalkResult> result;
        abandonable::Pool::Handle job;
        std::vector<abandonable::Pool::Handle> folderJobs;  // by piece; none for a stretch of the root
        std::vector<std::shared_ptr<std::vector<WalkResult::Piece>>> folderPieces;
        bool hung = false;
        // Each job's comeback; the one given up on tells when the source answers again.
        StallMemory::Answer answer;
        std::vector<StallMemory::Answer> folderAnswers;
        StallMemory::Answer hungAnswer;
    };
    std::vector<Walk> walks;
    std::vector<UUID> silent;  // sources whose walk of an earlier scan has not come back
    for (const SourceFolder& source : sources) {
        if (!source.enabled) continue;
        if (memory && memory->skipsSource(source.id, source.path)) {
            silent.push_back(source.id);
            continue;
        }
        auto context = std::make_shared<WalkContext>();
        context->source = source;
        context->excluded = excludedFolders;
        context->limit = limit;
        auto result = std::make_shared<WalkResult>();
        auto comeback = std::make_shared<StallMemory::Comeback>();
        StallMemory::Answer answer = comeback->answer();
        auto job = fileSystem.submit([context, result, comeback](std::stop_token token, const abandonable::Beat& beat) {
            walkSource(context, token, beat, *result);
        });
        walks.push_back(
            {&source, std::move(context), std::move(result), std::move(job), {}, {}, false, std::move(answer), {}, {}});
    }
    // Its lookups are built while the walks run.
    AssetReuse::Reuser reuser(previous, recognizeText, quietLimit, memory);
    // Linked files are checked beside the walks.
    std::vector<const IndexedAsset*> linked;
    std::vector<std::string> linkedPaths;
    for (const IndexedAsset& asset : previous) {
        if (asset.sourceID || !asset.file.reference) continue;
        linked.push_back(&asset);
        linkedPaths.push_back(asset.file.reference->resolve(false).string());
    }
    abandonable::Batch<std::string, LinkedFile> linkedChecks(fileSystem, linkedPaths, checkLinkedFile, byMount());

    std::map<UUID, std::string> sourceErrors;
    for (const UUID& id : silent) sourceErrors[id] = unresponsiveMessage();
    std::set<UUID> walked;
    // The candidates so far, each path once: the set holds indices into `candidates`.
    std::vector<AssetReuse::Candidate> candidates;
    const auto pathHash = [&candidates](std::size_t i) { return std::hash<std::string>()(candidates[i].path); };
    const auto samePath = [&candidates](std::size_t a, std::size_t b) {
        return candidates[a].path == candidates[b].path;
    };
    std::unordered_set<std::size_t, decltype(pathHash), decltype(samePath)> seen(0, pathHash, samePath);
    // One walk lists each path once: the set is filled only once a second walk or a linked file
    // may repeat a path.
    bool seenFilled = false;
    const auto fillSeen = [&](std::size_t more) {
        seen.reserve(candidates.size() + more);
        if (seenFilled) return;
        for (std::size_t i = 0; i < candidates.size(); ++i) seen.insert(i);
        seenFilled = true;
    };
    std::int64_t fromSources = 0;
    // Each source's first job hands its folders to jobs of their own, which run side by side.
    for (Walk& walk : walks) {
        if (fileSystem.wait(walk.job, stop) == abandonable::Pool::Outcome::abandoned) {
            walk.hung = true;
            walk.hungAnswer = walk.answer;
            continue;
        }
        for (WalkResult::Piece& piece : walk.result->pieces) {
            if (!piece.subfolder) {
                walk.folderJobs.emplace_back();
                walk.folderPieces.emplace_back();
                walk.folderAnswers.emplace_back();
                continue;
            }
            auto pieces = std::make_shared<std::vector<WalkResult::Piece>>();
            auto comeback = std::make_shared<StallMemory::Comeback>();
            walk.folderAnswers.push_back(comeback->answer());
            walk.folderJobs.push_back(
                fileSystem.submit([context = walk.context, folder = *piece.subfolder, outer = walk.result->outer,
                                   pieces, comeback](std::stop_token token, const abandonable::Beat& beat) {
                    walkFolder(*context, folder, outer, token, beat, *pieces, false);
                }));
            walk.folderPieces.push_back(std::move(pieces));
        }
    }
    for (Walk& walk : walks) {
        const UUID& id = walk.source->id;
        for (std::size_t k = 0; k < walk.folderJobs.size() && !walk.hung; ++k)
            if (walk.folderJobs[k] &&
                fileSystem.wait(walk.folderJobs[k], stop) == abandonable::Pool::Outcome::abandoned) {
                walk.hung = true;
                walk.hungAnswer = walk.folderAnswers[k];
                for (std::size_t later = k + 1; later < walk.folderJobs.size(); ++later)
                    if (walk.folderJobs[later]) fileSystem.abandon(walk.folderJobs[later]);
            }
        if (walk.hung) {
            // Nothing of it is indexed, nothing of it is marked missing; while the job given up
            // on stays stuck, later scans skip the source at once.
            sourceErrors[id] = unresponsiveMessage();
            if (memory) memory->sourceSilent(id, walk.source->path, walk.hungAnswer);
            continue;
        }
        WalkResult& result = *walk.result;
        if (result.error) {
            sourceErrors[id] = *result.error;
            continue;
        }
        // The stretches in discovery order; the last error of each kind is the one kept.
        std::vector<WalkPart*> parts;
        std::size_t listed = 0;
        for (std::size_t k = 0; k < result.pieces.size(); ++k) {
            if (!result.pieces[k].subfolder) parts.push_back(&result.pieces[k].part);
            else
                for (WalkResult::Piece& piece : *walk.folderPieces[k]) parts.push_back(&piece.part);
        }
        for (const WalkPart* part : parts) listed += part->candidates.size();
        // Room for the whole source at once: the candidates move once, the set grows once.
        candidates.reserve(candidates.size() + listed);
        const bool first = candidates.empty();
        if (!first) fillSeen(listed);
        std::optional<std::string> nameError;
        std::optional<std::string> walkError;
        for (WalkPart* part : parts) {
            if (part->nameError) nameError = std::move(part->nameError);
            if (part->walkError) walkError = std::move(part->walkError);
            // A path already taken is dropped.
            for (AssetReuse::Candidate& candidate : part->candidates) {
                candidates.push_back(std::move(candidate));
                if (!first && !seen.insert(candidates.size() - 1).second) {
                    candidates.pop_back();
                    continue;
                }
                if (++fromSources > limit) throw SorvikError::message(limitMessage(limit));
            }
            part->candidates = {};
        }
        if (walkError) {
            sourceErrors[id] = *walkError;
        } else {
            if (nameError) sourceErrors[id] = *nameError;
            walked.insert(id);
        }
    }
    // A linked file that did not answer is neither indexed nor marked missing.
    std::unordered_set<std::string> missingLinked;
    {
        const auto checked = std::move(linkedChecks).finish(stop);
        if (!linked.empty()) fillSeen(linked.size());
        for (std::size_t i = 0; i < linked.size(); ++i) {
            if (!checked[i]) continue;
            std::string& path = linkedPaths[i];
            if (!checked[i]->exists) {
                missingLinked.insert(path);
                continue;
            }
            if (!checked[i]->status) continue;
            candidates.push_back(AssetReuse::Candidate{std::move(path), std::nullopt, linked[i]->relativeFolder,
                                                       checked[i]->status, checked[i]->identity, true, std::nullopt});
            if (!seen.insert(candidates.size() - 1).second) candidates.pop_back();
        }
    }
    const std::size_t total = candidates.size();
    auto listedFolders = std::make_shared<ListedFolders>();
    // Files of one folder come together: each folder is looked up once per run of them.
    std::string_view lastFolder;
    for (const AssetReuse::Candidate& candidate : candidates) {
        if (!candidate.listed) continue;
        const std::string_view path = candidate.path;
        const std::string_view folder = path.substr(0, path.rfind('/'));
        if (!lastFolder.empty() && folder == lastFolder) continue;
        lastFolder = folder;
        listedFolders->try_emplace(parentFolder(candidate.path), candidate);
    }
    reuser.results().reserve(total);
    reuser.expect(candidates);
    // Inspections run ahead a batch at a time, so that progress keeps coming; everything else
    // runs here, in candidate order.
    const bool ahead = threads != 1;
    for (std::size_t i = 0; i < total; ++i) {
        if (stop.stop_requested()) throw CancellationError();
        if (ahead && i % inspectionBatch == 0)
            reuser.inspectAhead(std::span(candidates).subspan(i, std::min(inspectionBatch, total - i)), threads, stop);
        if (i % 20 == 0 && progress)
            progress("正在索引 " + std::to_string(i + 1) + " / " + std::to_string(total) + " 件素材…");
        reuser.process(candidates[i], sourceErrors, stop);
    }
    addFolderHints(reuser.results(), std::move(listedFolders), fileSystem, stop);
    reuser.keepUnclaimed(walked, missingLinked);
    return std::move(reuser).finish(std::move(sourceErrors));
}

}  // namespace sorvik::FolderIndexer
