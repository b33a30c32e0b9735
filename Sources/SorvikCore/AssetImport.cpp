#include "SorvikCore/AssetImport.hpp"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include <unicode/coll.h>
#include <unicode/locid.h>

#include "SorvikCore/FileCopy.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const fs::path& path) { return FileInspector::pathExtension(path); }

bool isSupported(const fs::path& path) {
    const std::string ext = lowerExtension(path);
    return !ext.empty() && FileInspector::supported().contains(ext);
}

/// The last path component as chosen ("/a/b/" gives "b").
std::string lastComponent(const fs::path& path) {
    fs::path p = path;
    if (!p.has_filename()) p = p.parent_path();
    std::string name = p.filename().string();
    return name.empty() ? p.string() : name;
}

/// Library files hold text only: a path that is not UTF-8 is never linked or imported.
bool isStorable(const fs::path& path) { return unicode::isValidUTF8(path.native()); }

/// A name fit for a message: bytes outside ASCII become "?" when the name is not UTF-8.
std::string printable(std::string name) {
    if (unicode::isValidUTF8(name)) return name;
    for (char& c : name)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return name;
}

std::system_error unstorableName() {
    return std::system_error(EILSEQ, std::generic_category(), "the file name is not valid UTF-8");
}

/// Standardized: absolute, "." and ".." removed, no trailing slash. Never throws: an empty
/// path, or a relative one without a working folder, stays relative.
fs::path standardized(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = path.is_absolute() || path.empty() ? path : fs::absolute(path, ec);
    if (ec) absolute = path;
    std::string s = absolute.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return fs::path(s);
}

/// Resolved as the kernel resolves it (links before ".."), for the part that exists.
fs::path resolved(const fs::path& path) {
    if (path.empty()) return path;
    try {
        return fs::path(files::resolvedPath(path));
    } catch (const std::exception&) {
        return standardized(path);  // no working folder to resolve a relative path against
    }
}

void checkCancellation(const std::stop_token& stop) {
    if (stop.stop_requested()) throw CancellationError();
}

/// Folders that present themselves as one item (bundles), as the scan treats them.
bool isBundle(const fs::path& path) {
    const std::string ext = lowerExtension(path);
    const auto& bundles = FolderIndexer::bundleExtensions();
    return !ext.empty() && std::find(bundles.begin(), bundles.end(), ext) != bundles.end();
}

/// The localized standard comparison of file viewers: case ignored, digit runs by value.
bool localizedStandardLess(const std::string& a, const std::string& b) {
    static const std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(icu::Locale::getDefault(), status));
        if (U_FAILURE(status) || !c) {
            status = U_ZERO_ERROR;
            c.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        if (c) {
            c->setStrength(icu::Collator::SECONDARY);
            c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        }
        return c;
    }();
    if (!collator) return a < b;
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = collator->compareUTF8(a, b, status);
    if (U_FAILURE(status)) return a < b;
    return r == UCOL_LESS;
}

/// Collects the files of one chosen folder, depth first with names in byte order. Hidden
/// items are ignored and bundles are not entered; links, special files and subfolders that
/// cannot be read are named in `skipped`.
class FolderCollector {
public:
    FolderCollector(std::vector<fs::path>& candidates, std::vector<std::string>& skipped, const std::stop_token& stop)
        : candidates_(candidates), skipped_(skipped), stop_(stop) {}

    void collect(const fs::path& folder) {
        std::vector<Entry> entries;
        if (!readEntries(folder, entries))
            throw SorvikError::message("无法读取文件夹：" + printable(lastComponent(folder)));
        walk(folder, entries);
    }

private:
    struct Entry {
        std::string name;
        mode_t mode = 0;
        bool statFailed = false;
    };

    bool readEntries(const fs::path& folder, std::vector<Entry>& entries) {
        files::FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) return false;
        DIR* dir = ::fdopendir(fd.get());
        if (!dir) return false;
        const int dirFd = fd.release();
        std::unique_ptr<DIR, int (*)(DIR*)> owner(dir, ::closedir);
        for (;;) {
            errno = 0;
            const dirent* item = ::readdir(dir);
            if (!item) {
                if (errno != 0) return false;
                break;
            }
            const std::string name = item->d_name;
            if (name.empty() || name[0] == '.') continue;  // ".", ".." and hidden items
            Entry entry{name};
            struct stat st {};
            if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                entry.mode = st.st_mode;
            } else {
                entry.statFailed = true;
            }
            entries.push_back(std::move(entry));
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        return true;
    }

    void walk(const fs::path& folder, const std::vector<Entry>& entries) {
        for (const Entry& entry : entries) {
            checkCancellation(stop_);
            const fs::path path = folder / entry.name;
            if (entry.statFailed) {
                skipped_.push_back(printable(entry.name));
                continue;
            }
            if (S_ISLNK(entry.mode)) {
                skipped_.push_back(printable(entry.name));
                continue;
            }
            if (S_ISREG(entry.mode)) {
                candidates_.push_back(path);
            } else if (S_ISDIR(entry.mode)) {
                if (!isBundle(path)) {
                    std::vector<Entry> children;
                    if (readEntries(path, children)) {
                        checkLimit();
                        walk(path, children);
                        continue;
                    }
                    skipped_.push_back(printable(entry.name));
                }
            } else {
                skipped_.push_back(printable(entry.name));  // FIFOs, sockets, devices are never copied
            }
            checkLimit();
        }
    }

    void checkLimit() const {
        if (candidates_.size() > AssetImport::maximumFiles)
            throw SorvikError::message("一次最多导入 500 个文件，请缩小选择范围。");
    }

    std::vector<fs::path>& candidates_;
    std::vector<std::string>& skipped_;
    const std::stop_token& stop_;
};

/// Folders made for one import batch, removed again when the batch keeps no file. Opened
/// below the library folder without following a link in place of "files" or its folders, and
/// written only through their descriptors.
class BatchFolder {
public:
    BatchFolder(const fs::path& root, const UUID& deliveryID)
        : projectName_(deliveryID.string()), name_(UUID::make().string()) {
        const fs::path filesPath = root / "files", projectPath = filesPath / projectName_;
        path_ = projectPath / name_;
        root_ = files::openFolder(root);
        madeFiles_ = !files::entryIdentity(root_.get(), "files");
        files_ = files::openFolderAt(root_.get(), "files", filesPath, true);
        madeProject_ = !files::entryIdentity(files_.get(), projectName_);
        try {
            project_ = files::openFolderAt(files_.get(), projectName_, projectPath, true);
            if (::mkdirat(project_.get(), name_.c_str(), 0755) != 0)
                throw files::systemError(errno, path_, "cannot create");
            batch_ = files::openFolderAt(project_.get(), name_, path_, false);
        } catch (...) {
            remove();
            throw;
        }
    }
    BatchFolder(const BatchFolder&) = delete;
    BatchFolder& operator=(const BatchFolder&) = delete;
    ~BatchFolder() {
        if (!keep_) remove();
    }

    const fs::path& path() const { return path_; }
    const std::string& name() const { return name_; }
    int fd() const { return batch_.get(); }
    void keep() { keep_ = true; }

private:
    void remove() noexcept {
        if (project_ && batch_) files::removeFolderAt(project_.get(), name_, batch_.get());
        // Parents made for this batch go only while empty; another batch may have filled them.
        if (madeProject_) ::unlinkat(files_.get(), projectName_.c_str(), AT_REMOVEDIR);
        if (madeFiles_) ::unlinkat(root_.get(), "files", AT_REMOVEDIR);
    }

    std::string projectName_;
    std::string name_;
    fs::path path_;
    files::FileDescriptor root_, files_, project_, batch_;
    bool madeFiles_ = false;
    bool madeProject_ = false;
    bool keep_ = false;
};

}  // namespace

std::vector<IndexedAsset> Repository::linkFiles(const std::vector<fs::path>& urls, std::stop_token stop) const {
    if (urls.size() > AssetImport::maximumFiles) throw SorvikError::message("一次最多关联 500 个文件。");
    std::vector<IndexedAsset> assets;
    for (const fs::path& url : urls) {
        if (!isSupported(url)) continue;
        checkCancellation(stop);
        if (!isStorable(url)) throw unstorableName();
        // Date and identity are read before inspection, from the one descriptor inspection
        // reads: a change while it runs then leaves an older date behind, so the next scan
        // inspects the file again.
        struct stat st {};
        files::FileDescriptor fd;
        try {
            fd = FileInspector::open(url, st);
        } catch (const std::system_error& error) {
            // Without read permission: linked all the same, as inspection lists such a file.
            const int code = error.code().value();
            if ((code != EACCES && code != EPERM) || ::lstat(url.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) throw;
        }
        const Date modifiedAt = Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        std::optional<std::string> identity = fd ? FolderIndexer::identity(fd.get()) : FolderIndexer::identity(url);
        DeliveryFile file = fd ? FileInspector::inspect(fd.get(), st, url, "", std::nullopt, false, stop)
                               : FileInspector::inspect(url, "", std::nullopt, false, stop);
        file.reference = FileReference::make(url, modifiedAt, std::move(identity));
        assets.emplace_back(std::move(file), std::nullopt, "", std::nullopt);
    }
    return assets;
}

LinkedAssetBatch Repository::linkFilesReportingFailures(const std::vector<fs::path>& urls, std::stop_token stop) const {
    if (urls.size() > AssetImport::maximumFiles) throw SorvikError::message("一次最多关联 500 个文件。");
    LinkedAssetBatch batch;
    for (const fs::path& url : urls) {
        checkCancellation(stop);
        try {
            for (IndexedAsset& asset : linkFiles({url}, stop)) batch.assets.push_back(std::move(asset));
        } catch (const CancellationError&) {
            throw CancellationError();
        } catch (const std::exception& error) {
            batch.failures.push_back(printable(lastComponent(url)) + ": " + error.what());
        }
    }
    return batch;
}

ImportResult Repository::importFiles(const std::vector<fs::path>& urls, const UUID& deliveryID,
                                     std::stop_token stop) const {
    ImportResult result;
    std::vector<fs::path> candidates;
    FolderCollector collector(candidates, result.skipped, stop);
    for (const fs::path& url : urls) {
        checkCancellation(stop);
        struct stat st {};
        if (::lstat(url.c_str(), &st) != 0) throw files::systemError(errno, url, "cannot read");
        if (S_ISLNK(st.st_mode) || (S_ISDIR(st.st_mode) && isBundle(url))) {
            result.skipped.push_back(printable(lastComponent(url)));
        } else if (S_ISDIR(st.st_mode)) {
            collector.collect(url);
        } else if (S_ISREG(st.st_mode)) {
            candidates.push_back(url);
        } else {
            result.skipped.push_back(printable(lastComponent(url)));
        }
    }
    if (candidates.size() > AssetImport::maximumFiles) throw SorvikError::message("一次最多导入 500 个文件。");

    std::vector<fs::path> unique;
    std::unordered_set<std::string> seen;
    for (const fs::path& candidate : candidates)
        if (seen.insert(standardized(candidate).string()).second) unique.push_back(candidate);
    std::stable_sort(unique.begin(), unique.end(), [](const fs::path& a, const fs::path& b) {
        return localizedStandardLess(lastComponent(a), lastComponent(b));
    });

    // Unsupported names are known before anything is copied, so a batch without a single
    // supported file never creates its folder.
    std::vector<fs::path> supported;
    for (const fs::path& candidate : unique) {
        if (isSupported(candidate) && isStorable(candidate)) {
            supported.push_back(candidate);
        } else {
            result.skipped.push_back(printable(lastComponent(candidate)));
        }
    }
    if (supported.empty()) return result;

    BatchFolder batch(root(), deliveryID);
    const std::string batchPath = "files/" + deliveryID.string() + "/" + batch.name();
    for (const fs::path& candidate : supported) {
        checkCancellation(stop);
        const std::string copyName = UUID::make().string() + "." + lowerExtension(candidate);
        const fs::path copy = batch.path() / copyName;
        // Content only, from the regular file itself: a link or FIFO swapped in since
        // collecting is refused, never followed or read. The copy is inspected through the
        // descriptor it was written with.
        const files::FileDescriptor in = files::openRegularFile(candidate, true);
        const files::FileDescriptor out = files::createFileAt(batch.fd(), copyName, copy);
        files::copyContentInto(in.get(), out.get(), copy, stop);
        struct stat written {};
        if (::fstat(out.get(), &written) != 0) throw files::systemError(errno, copy, "cannot read");
        const std::string name = lastComponent(candidate);
        DeliveryFile file =
            FileInspector::inspect(out.get(), written, copy, batchPath + "/" + copyName, name, true, stop);
        file.name = name;
        result.files.push_back(std::move(file));
    }
    batch.keep();
    return result;
}

AssetImportPlan::AssetImportPlan(const std::vector<fs::path>& urls) {
    std::unordered_set<std::string> seen;
    for (const fs::path& url : urls) {
        const fs::path path = resolved(url);
        if (!seen.insert(path.string()).second) continue;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            skipped.push_back(printable(lastComponent(url)));
        } else if (!isStorable(path) || (S_ISDIR(st.st_mode) && isBundle(path))) {
            skipped.push_back(printable(lastComponent(url)));
        } else if (S_ISDIR(st.st_mode)) {
            folders.push_back(path);
        } else if (S_ISREG(st.st_mode) && isSupported(path)) {
            files.push_back(path);
        } else {
            skipped.push_back(printable(lastComponent(url)));
        }
    }
}

namespace {

bool sameFile(const IndexedAsset& existing, const IndexedAsset& linked) {
    const auto& a = existing.file.reference;
    const auto& b = linked.file.reference;
    if (a && b) return a->path == b->path || FolderIndexer::sameIdentity(a->identity, b->identity);
    return existing.file.id == linked.file.id;
}

bool changed(const IndexedAsset& existing, const IndexedAsset& linked) {
    if (existing.file.bytes != linked.file.bytes) return true;
    const auto& a = existing.file.reference;
    const auto& b = linked.file.reference;
    if (a.has_value() != b.has_value()) return true;
    return a && a->modifiedAt != b->modifiedAt;
}

}  // namespace

void WorkspaceState::linkAssets(const std::vector<IndexedAsset>& linked, const std::optional<UUID>& projectID,
                                std::stop_token stop) {
    std::optional<UUID> target;
    if (projectID &&
        std::any_of(projects.begin(), projects.end(), [&](const Delivery& p) { return p.id == *projectID; }))
        target = projectID;

    // Merged apart: a stopped grouping leaves the workspace as it was.
    std::vector<IndexedAsset> merged = assets;
    for (const IndexedAsset& incoming : linked) {
        auto existing =
            std::find_if(merged.begin(), merged.end(), [&](const IndexedAsset& a) { return sameFile(a, incoming); });
        IndexedAsset asset = incoming;
        if (existing != merged.end()) {
            asset.file.id = existing->file.id;
            asset.file.role = existing->file.role;
            asset.file.editedText = existing->file.editedText;
            asset.file.crop = existing->file.crop;
            asset.sourceID = existing->sourceID;
            asset.relativeFolder = existing->relativeFolder;
            asset.folderHint = existing->folderHint;
            if (changed(*existing, incoming)) {
                asset.file.sourceUpdatePending = true;
                asset.recognizedText.reset();
                asset.didAttemptOCR = false;
            } else {
                asset.file.sourceUpdatePending = existing->file.sourceUpdatePending;
                asset.recognizedText = existing->recognizedText;
                asset.didAttemptOCR = existing->didAttemptOCR;
            }
            if (!target) {
                asset.projectID = existing->projectID;
                asset.assignment = existing->assignment;
                asset.reason = existing->reason;
            }
        }
        if (target) {
            asset.projectID = target;
            asset.assignment = AssignmentMode::manual;
            asset.reason = "已确认项目关联";
        }
        if (existing != merged.end()) {
            *existing = std::move(asset);
        } else {
            merged.push_back(std::move(asset));
        }
    }

    ProjectMatcher::Grouping grouped = ProjectMatcher::group(
        std::move(merged), projects, deletedProjects.value_or(std::vector<Delivery>{}), std::move(stop));
    assets = std::move(grouped.assets);
    projects = std::move(grouped.projects);
}

}  // namespace sorvik
