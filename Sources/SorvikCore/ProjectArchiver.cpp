#include "SorvikCore/ProjectArchiver.hpp"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileCopy.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/SourceRoots.hpp"

namespace sorvik::ProjectArchiver {

namespace fs = std::filesystem;

namespace {

Date modificationDate(const struct stat& st) { return Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec); }

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

/// The name's extension (after its last dot, not a leading one) and the rest.
std::pair<std::string, std::string> splitExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() || name[dot - 1] == '/' ||
        name.find('/', dot) != std::string::npos)
        return {name, ""};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return {name.substr(0, dot), ext};
}

/// lstat through a few open folders: files of one folder are looked up by name below it,
/// which spares the kernel the walk along the whole path for every file of a rerun.
class FolderStat {
public:
    /// Like ::lstat, errno included.
    int lstat(const std::string& path, struct stat& st) {
        const auto slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == path.size()) return ::lstat(path.c_str(), &st);
        const int fd = folder(path.substr(0, slash));
        if (fd < 0) return ::lstat(path.c_str(), &st);
        return ::fstatat(fd, path.c_str() + slash + 1, &st, AT_SYMLINK_NOFOLLOW);
    }

private:
    static constexpr std::size_t capacity = 8;

    int folder(const std::string& path) {
        for (const auto& [folderPath, fd] : folders_)
            if (folderPath == path) return fd.get();
        files::FileDescriptor fd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd) return -1;
        const int raw = fd.get();
        if (folders_.size() < capacity) {
            folders_.emplace_back(path, std::move(fd));
        } else {
            folders_[next_] = {path, std::move(fd)};
            next_ = (next_ + 1) % capacity;
        }
        return raw;
    }

    std::vector<std::pair<std::string, files::FileDescriptor>> folders_;
    std::size_t next_ = 0;
};

/// The source as it stands at its path (a link is not followed): its status, or nothing when
/// no regular file stands there.
struct SourceStatus {
    struct stat info {};
    files::Identity identity;
};

/// A source that cannot be reached (missing, or behind a folder that cannot be searched)
/// counts as no file there: it is skipped and the other files are still archived. So is a
/// link, which the scan never indexes, and a FIFO or device.
std::optional<SourceStatus> readSource(const fs::path& source, FolderStat& folders) {
    SourceStatus status;
    if (folders.lstat(source.string(), status.info) != 0 || !S_ISREG(status.info.st_mode)) return std::nullopt;
    status.identity = files::identityOf(status.info);
    return status;
}

/// The source opened once for hashing and copying, never through a link and never blocking;
/// an original in a source folder below that folder, never through a link on the way out of
/// it. Nothing when no regular file stands there any more. `info` receives its status.
std::optional<files::FileDescriptor> openSource(const fs::path& source, const std::vector<files::SourceRoot>& roots,
                                                struct stat& info) {
    std::string relative;
    const files::SourceRoot* root = files::sourceRootOf(roots, source.string(), relative);
    files::FileDescriptor fd =
        root ? files::openBeneath(root->fd.get(), relative, O_RDONLY | O_NONBLOCK | O_NOCTTY)
             : files::FileDescriptor(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENXIO || errno == EXDEV)
            return std::nullopt;
        throw files::systemError(errno, source, "cannot open");
    }
    if (::fstat(fd.get(), &info) != 0) throw files::systemError(errno, source, "cannot read");
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    if (const int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

/// Records by asset identifier, built once per run for the assets of the projects, each
/// asset's records chained from its newest; new records join the chains as they are made.
class RecordIndex {
public:
    RecordIndex(const std::vector<ArchiveRecord>& previous, const std::vector<Delivery>& projects)
        : previous_(previous), earlier_(previous.size(), none) {
        std::size_t fileCount = 0;
        for (const Delivery& project : projects) fileCount += project.files.size();
        newest_.reserve(fileCount);
        for (const Delivery& project : projects)
            for (const DeliveryFile& file : project.files) newest_.emplace(file.id, none);
        for (std::size_t i = 0; i < previous.size(); ++i) {
            auto found = newest_.find(previous[i].assetID);
            if (found == newest_.end()) continue;
            earlier_[i] = found->second;
            found->second = i;
        }
    }

    /// The last record of the asset with this source date and size inside the project folder.
    const ArchiveRecord* lastArchived(const UUID& assetID, Date modifiedAt, std::int64_t size,
                                      const std::string& projectPrefix) const {
        for (std::size_t i = newestOf(assetID); i != none; i = earlier_[i]) {
            const ArchiveRecord& r = record(i);
            if (r.sourceModifiedAt == modifiedAt && r.sourceBytes == size && r.path.starts_with(projectPrefix))
                return &r;
        }
        return nullptr;
    }

    /// Whether a record equal in asset, path, source date, size and hash exists already.
    bool holdsEqual(const ArchiveRecord& candidate) const {
        for (std::size_t i = newestOf(candidate.assetID); i != none; i = earlier_[i]) {
            const ArchiveRecord& r = record(i);
            if (r.path == candidate.path && r.sourceModifiedAt == candidate.sourceModifiedAt &&
                r.sourceBytes == candidate.sourceBytes && r.sha256 == candidate.sha256)
                return true;
        }
        return false;
    }

    void append(ArchiveRecord record) {
        auto& newest = newest_[record.assetID];
        earlier_.push_back(newest);
        newest = previous_.size() + added_.size();
        added_.push_back(std::move(record));
    }

    /// The previous records followed by the new ones.
    std::vector<ArchiveRecord> result() && {
        std::vector<ArchiveRecord> out;
        out.reserve(previous_.size() + added_.size());
        out.insert(out.end(), previous_.begin(), previous_.end());
        std::move(added_.begin(), added_.end(), std::back_inserter(out));
        return out;
    }

private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    std::size_t newestOf(const UUID& assetID) const {
        auto found = newest_.find(assetID);
        return found == newest_.end() ? none : found->second;
    }
    const ArchiveRecord& record(std::size_t i) const {
        return i < previous_.size() ? previous_[i] : added_[i - previous_.size()];
    }

    const std::vector<ArchiveRecord>& previous_;
    std::vector<ArchiveRecord> added_;
    std::unordered_map<UUID, std::size_t> newest_;
    std::vector<std::size_t> earlier_;  // per record: the asset's record before it, or none
};

/// Whether the recorded copy still holds this version: a regular file (not the source
/// itself) with the source's size and modification time.
bool stillArchived(const ArchiveRecord& record, const SourceStatus& source, FolderStat& folders) {
    struct stat st {};
    if (folders.lstat(record.path, st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return false;
    if (files::identityOf(st) == source.identity) return false;
    return st.st_size == source.info.st_size && sameTime(st.st_mtim, source.info.st_mtim);
}

/// The role folders of one project, opened below the archive root as they are needed. Each
/// must lie inside the root as the kernel resolves it, links included.
class ProjectFolders {
public:
    ProjectFolders(int root, fs::path folder, std::string name)
        : root_(root), folder_(std::move(folder)), name_(std::move(name)) {}

    /// The role folder, created when missing. Throws the archive's link message when it, or
    /// the project folder, leads out of the root.
    int roleFolder(const std::string& role) {
        for (const auto& [name, fd] : roles_)
            if (name == role) return fd.get();
        if (!project_) project_ = openInside(root_, name_, folder_);
        roles_.emplace_back(role, openInside(project_.get(), role, folder_ / role));
        return roles_.back().second.get();
    }

private:
    files::FileDescriptor openInside(int parent, const std::string& name, const fs::path& shown) const {
        if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST)
            throw files::systemError(errno, shown, "cannot create");
        files::FileDescriptor fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd) throw files::systemError(errno, shown, "cannot open");
        struct stat own {
        }, root{};
        if (::fstat(fd.get(), &own) != 0 || ::fstat(root_, &root) != 0)
            throw files::systemError(errno, shown, "cannot read");
        if (files::identityOf(own) == files::identityOf(root) || !files::folderWithin(fd.get(), root_))
            throw SorvikError::message("归档路径包含指向其他位置的链接，请更换归档目录。");
        return fd;
    }

    int root_;
    fs::path folder_;
    std::string name_;
    files::FileDescriptor project_;
    std::vector<std::pair<std::string, files::FileDescriptor>> roles_;
};

/// Sets the modification time of the entry itself (a final link is not followed).
void setModificationTime(int folder, const std::string& name, const fs::path& shown, const struct timespec& time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, time};
    if (::utimensat(folder, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw files::systemError(errno, shown, "cannot stamp");
}

/// The SHA-256 of the regular file `name` in `folder`, or empty when it cannot be read.
std::string hashOrEmpty(int folder, const std::string& name, const std::stop_token& stop) {
    files::FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    try {
        return hashing::sha256Descriptor(fd.get(), name, stop);
    } catch (const CancellationError&) {
        throw;
    } catch (const std::exception&) {
        return {};
    }
}

/// Copies the open source to a hidden temporary file in the role folder, checks the copy and
/// the source against the first hash and moves the copy to the free target. The temporary
/// file never stays.
void copyVerified(int source, const fs::path& shownSource, int roleFolder, const fs::path& shownFolder,
                  const std::string& target, const std::string& sourceHash, const struct timespec& modificationTime,
                  const std::stop_token& stop) {
    const std::string temp = ".sorvik-" + UUID::make().string();
    const fs::path shownTemp = shownFolder / temp;
    files::FileDescriptor out = files::createFileAt(roleFolder, temp, shownTemp);
    try {
        files::copyContentInto(source, out.get(), shownTemp, stop);
        const struct timespec times[2] = {{0, UTIME_OMIT}, modificationTime};
        if (::futimens(out.get(), times) != 0) throw files::systemError(errno, shownTemp, "cannot stamp");
        const std::string copyHash = hashing::sha256Descriptor(out.get(), shownTemp, stop);
        const std::string sourceAgain = hashing::sha256Descriptor(source, shownSource, stop);
        if (copyHash != sourceHash || sourceAgain != sourceHash)
            throw SorvikError::message("归档时源文件发生变化，将在下次扫描后重试。");
        if (::close(out.release()) != 0) throw files::systemError(errno, shownTemp, "cannot close");
        files::moveNoReplaceAt(roleFolder, temp, roleFolder, target, shownFolder / target);
    } catch (...) {
        ::unlinkat(roleFolder, temp.c_str(), 0);
        throw;
    }
}

}  // namespace

std::vector<ArchiveRecord> archive(const std::vector<Delivery>& projects, const Repository& repository,
                                   const fs::path& destination, const std::vector<ArchiveRecord>& previous,
                                   const Progress& progress, std::stop_token stop,
                                   const std::vector<fs::path>& sourceFolders) {
    const fs::path root(files::resolvedPath(destination));
    fs::create_directories(root);
    // Everything is created below this descriptor: a folder renamed or replaced by a link
    // meanwhile is never written through.
    const files::FileDescriptor rootFolder = files::openFolder(root);

    const std::vector<files::SourceRoot> sourceRoots = files::openSourceRoots(sourceFolders);
    RecordIndex index(previous, projects);
    FolderStat sources;
    FolderStat copies;
    for (const Delivery& project : projects) {
        const std::string projectName =
            DeliveryExporter::safeName(project.name) + "__" + project.id.string().substr(0, 6);
        const fs::path projectFolder = root / projectName;
        const std::string projectPrefix = projectFolder.string() + "/";
        ProjectFolders folders(rootFolder.get(), projectFolder, projectName);
        for (const DeliveryFile& file : project.files) {
            if (stop.stop_requested()) throw CancellationError();
            if (file.inspectionError) continue;
            const fs::path source = repository.fileURL(file);
            const std::optional<SourceStatus> status = readSource(source, sources);
            if (!status) continue;
            if (const ArchiveRecord* last =
                    index.lastArchived(file.id, modificationDate(status->info),
                                       static_cast<std::int64_t>(status->info.st_size), projectPrefix);
                last && stillArchived(*last, *status, copies))
                continue;

            // From here on the source is read only through this descriptor: its size and date,
            // both hashes and the copy all describe one file.
            struct stat info {};
            const std::optional<files::FileDescriptor> in = openSource(source, sourceRoots, info);
            if (!in) continue;
            const std::int64_t size = static_cast<std::int64_t>(info.st_size);
            const Date modifiedAt = modificationDate(info);
            // Both stand now: device and inode number tell whether they are one file.
            const files::Identity identity = files::identityOf(info);

            if (progress) progress("正在归档：" + project.name + " / " + file.name);

            const std::string roleName(FileRoles::folder(file.role));
            const int roleFolder = folders.roleFolder(roleName);
            const fs::path shownFolder = projectFolder / roleName;

            const auto [base, ext] = splitExtension(file.name);
            const std::string dotExt = ext.empty() ? "" : "." + DeliveryExporter::safeExtension(ext);
            const std::string stem = DeliveryExporter::safeName(base) + "__" + file.id.string().substr(0, 6);
            const std::string candidate = stem + dotExt;
            const std::string sourceHash = hashing::sha256Descriptor(in->get(), source, stop);

            std::string target;
            bool adopted = false;
            struct stat existing {};
            if (::fstatat(roleFolder, candidate.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
                target = candidate;
            } else {
                const bool blocked = S_ISLNK(existing.st_mode) || files::identityOf(existing) == identity;
                if (!blocked && S_ISREG(existing.st_mode) && hashOrEmpty(roleFolder, candidate, stop) == sourceHash) {
                    target = candidate;
                    adopted = true;
                }
            }
            while (target.empty()) {
                const std::string suffixed = stem + "_" + UUID::make().string().substr(0, 8) + dotExt;
                if (!files::entryIdentity(roleFolder, suffixed)) target = suffixed;
            }

            if (adopted) {
                // An adopted copy takes the source's time, so the next run's skip test passes
                // (a touched source, or a copy written where time stamps are coarse).
                if (!sameTime(existing.st_mtim, info.st_mtim)) {
                    try {
                        setModificationTime(roleFolder, target, shownFolder / target, info.st_mtim);
                    } catch (const std::system_error&) {
                        // The record check below still keeps the list from growing.
                    }
                }
            } else {
                copyVerified(in->get(), source, roleFolder, shownFolder, target, sourceHash, info.st_mtim, stop);
            }

            struct stat after {};
            if (::fstat(in->get(), &after) != 0) throw files::systemError(errno, source, "cannot read");
            if (after.st_size != info.st_size || !sameTime(after.st_mtim, info.st_mtim))
                throw SorvikError::message("源文件仍在生成，归档将在下次扫描后重试。");

            ArchiveRecord record;
            record.id = UUID::make();
            record.assetID = file.id;
            record.sourceModifiedAt = modifiedAt;
            record.sourceBytes = size;
            record.path = (shownFolder / target).string();
            record.sha256 = sourceHash;
            record.date = Date::now();
            if (!index.holdsEqual(record)) index.append(std::move(record));
        }
    }
    return std::move(index).result();
}

}  // namespace sorvik::ProjectArchiver
