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
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Inspector.hpp"

namespace sorvik::ProjectArchiver {

namespace fs = std::filesystem;

namespace {

/// Standardized with the links of its existing part resolved, without a trailing slash.
std::string resolvedPath(const fs::path& path) {
    const fs::path absolute = (path.is_absolute() ? path : fs::absolute(path)).lexically_normal();
    std::error_code ec;
    fs::path out = fs::weakly_canonical(absolute, ec);
    std::string s = (ec ? absolute : out).string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string identityOf(const struct stat& st) { return FolderIndexer::identity(st); }

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

/// The source as a regular file: its status, or nothing when no regular file stands there.
/// A source behind a link is read through it; its identity stays the link's own, as
/// FolderIndexer::identity reads it.
struct SourceStatus {
    struct stat info {};
    std::optional<std::string> identity;
};

/// A source that cannot be reached (missing, or behind a folder that cannot be searched)
/// counts as no file there: it is skipped and the other files are still archived.
std::optional<SourceStatus> readSource(const fs::path& source, FolderStat& folders) {
    SourceStatus status;
    struct stat own {};
    if (folders.lstat(source.string(), own) != 0) return std::nullopt;
    status.identity = identityOf(own);
    status.info = own;
    if (S_ISLNK(own.st_mode) && ::stat(source.c_str(), &status.info) != 0) return std::nullopt;
    // FIFOs and devices are never read: a project file replaced by one is left alone.
    if (!S_ISREG(status.info.st_mode)) return std::nullopt;
    return status;
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
    if (source.identity && identityOf(st) == *source.identity) return false;
    return st.st_size == source.info.st_size && sameTime(st.st_mtim, source.info.st_mtim);
}

/// Sets the modification time of the item itself (a final link is not followed).
void setModificationTime(const fs::path& path, const struct timespec& time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, time};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw files::systemError(errno, path, "cannot stamp");
}

/// Moves without ever replacing; where the file system has no RENAME_NOREPLACE (some
/// network shares) a hard link refuses a taken name just the same.
void moveNoReplace(const fs::path& from, const fs::path& to) {
    try {
        files::moveNoReplace(from, to);
    } catch (const std::system_error& error) {
        if (error.code().value() != EINVAL && error.code().value() != ENOSYS) throw;
        if (::link(from.c_str(), to.c_str()) != 0) throw files::systemError(errno, to, "cannot move into place");
        ::unlink(from.c_str());
    }
}

std::string hashOrEmpty(const fs::path& path, const std::stop_token& stop) {
    try {
        return FileInspector::hash(path, stop);
    } catch (const CancellationError&) {
        throw;
    } catch (const std::exception&) {
        return {};
    }
}

/// Copies the source to a hidden temporary file, checks the copy and the source against the
/// first hash and moves the copy to the free target. The temporary file never stays.
void copyVerified(const fs::path& source, const fs::path& roleFolder, const fs::path& target,
                  const std::string& sourceHash, const struct timespec& modificationTime,
                  const std::stop_token& stop) {
    const fs::path temp = roleFolder / (".sorvik-" + UUID::make().string());
    try {
        {
            const files::FileDescriptor in = files::openRegularFile(source);
            files::copyContent(in.get(), temp);
        }
        setModificationTime(temp, modificationTime);
        const std::string copyHash = FileInspector::hash(temp, stop);
        const std::string sourceAgain = FileInspector::hash(source, stop);
        if (copyHash != sourceHash || sourceAgain != sourceHash)
            throw SorvikError::message("归档时源文件发生变化，将在下次扫描后重试。");
        moveNoReplace(temp, target);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

}  // namespace

std::vector<ArchiveRecord> archive(const std::vector<Delivery>& projects, const Repository& repository,
                                   const fs::path& destination, const std::vector<ArchiveRecord>& previous,
                                   const Progress& progress, std::stop_token stop) {
    const fs::path root(resolvedPath(destination));
    fs::create_directories(root);
    const std::string rootPrefix = root.string() == "/" ? "/" : root.string() + "/";

    RecordIndex index(previous, projects);
    FolderStat sources;
    FolderStat copies;
    for (const Delivery& project : projects) {
        const fs::path projectFolder =
            root / (DeliveryExporter::safeName(project.name) + "__" + project.id.string().substr(0, 6));
        const std::string projectPrefix = projectFolder.string() + "/";
        for (const DeliveryFile& file : project.files) {
            if (stop.stop_requested()) throw CancellationError();
            if (file.inspectionError) continue;
            const fs::path source = repository.fileURL(file);
            const std::optional<SourceStatus> status = readSource(source, sources);
            if (!status) continue;
            const std::int64_t size = static_cast<std::int64_t>(status->info.st_size);
            const Date modifiedAt = modificationDate(status->info);

            if (const ArchiveRecord* last = index.lastArchived(file.id, modifiedAt, size, projectPrefix);
                last && stillArchived(*last, *status, copies))
                continue;

            if (progress) progress("正在归档：" + project.name + " / " + file.name);

            const fs::path roleFolder = projectFolder / std::string(FileRoles::folder(file.role));
            if (!resolvedPath(roleFolder).starts_with(rootPrefix))
                throw SorvikError::message("归档路径包含指向其他位置的链接，请更换归档目录。");
            fs::create_directories(roleFolder);

            const auto [base, ext] = splitExtension(file.name);
            const std::string dotExt = ext.empty() ? "" : "." + ext;
            const std::string stem = DeliveryExporter::safeName(base) + "__" + file.id.string().substr(0, 6);
            const fs::path candidate = roleFolder / (stem + dotExt);
            const std::string sourceHash = FileInspector::hash(source, stop);

            fs::path target;
            bool adopted = false;
            struct stat existing {};
            if (::lstat(candidate.c_str(), &existing) != 0) {
                target = candidate;
            } else {
                const bool blocked = S_ISLNK(existing.st_mode) ||
                                     (status->identity && identityOf(existing) == *status->identity);
                if (!blocked && S_ISREG(existing.st_mode) && hashOrEmpty(candidate, stop) == sourceHash) {
                    target = candidate;
                    adopted = true;
                }
            }
            while (target.empty()) {
                const fs::path suffixed = roleFolder / (stem + "_" + UUID::make().string().substr(0, 8) + dotExt);
                if (!files::itemExists(suffixed)) target = suffixed;
            }

            if (adopted) {
                // An adopted copy takes the source's time, so the next run's skip test passes
                // (a touched source, or a copy written where time stamps are coarse).
                if (!sameTime(existing.st_mtim, status->info.st_mtim)) {
                    try {
                        setModificationTime(target, status->info.st_mtim);
                    } catch (const std::system_error&) {
                        // The record check below still keeps the list from growing.
                    }
                }
            } else {
                copyVerified(source, roleFolder, target, sourceHash, status->info.st_mtim, stop);
            }

            struct stat after {};
            if (::stat(source.c_str(), &after) != 0) throw files::systemError(errno, source, "cannot read");
            if (after.st_size != status->info.st_size || !sameTime(after.st_mtim, status->info.st_mtim))
                throw SorvikError::message("源文件仍在生成，归档将在下次扫描后重试。");

            ArchiveRecord record;
            record.id = UUID::make();
            record.assetID = file.id;
            record.sourceModifiedAt = modifiedAt;
            record.sourceBytes = size;
            record.path = target.string();
            record.sha256 = sourceHash;
            record.date = Date::now();
            if (!index.holdsEqual(record)) index.append(std::move(record));
        }
    }
    return std::move(index).result();
}

}  // namespace sorvik::ProjectArchiver
