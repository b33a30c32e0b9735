// The package export: each original opened once, everything written below the opened
// destination, the package moved into place whole.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <future>
#include <map>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileCopy.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/OrderedWork.hpp"
#include "SorvikCore/SourceRoots.hpp"

namespace sorvik::DeliveryExporter {

namespace fs = std::filesystem;
using files::SourceRoot;

namespace {

/// Files at least this large hash and copy on two threads at once.
constexpr std::int64_t overlapBytes = 16 << 20;

std::string quoted(const std::string& name) { return "“" + name + "”"; }

std::string twoDigits(int number) {
    std::string s = std::to_string(number);
    return s.size() < 2 ? "0" + s : s;
}

Date nowInWholeSeconds() { return Date::fromUnix(std::floor(Date::now().unixSeconds())); }

std::system_error movedAway(const fs::path& folder) {
    return files::systemError(ENOENT, folder, "moved or replaced while exporting:");
}

constexpr std::string_view temporaryPrefix = ".sorvik-";

bool isTemporaryFolderName(std::string_view name) {
    return name.size() == temporaryPrefix.size() + 36 && name.starts_with(temporaryPrefix) &&
           UUID::parse(name.substr(temporaryPrefix.size())).has_value();
}

/// flock, retried when a signal interrupts it. False when the lock is held elsewhere or the
/// file system has no locks.
bool lock(int fd, int operation) {
    while (::flock(fd, operation) != 0)
        if (errno != EINTR) return false;
    return true;
}

/// The destination opened once more, for a lock of its own: exports hold it shared while
/// they create and lock their temporary folders, the clean-up alone while it picks folders,
/// so no folder is ever taken between its creation and its lock. Waits up to `patience` for
/// a clean-up to finish picking (one stopped midway must not hold exports up for good);
/// without the lock, a clean-up that could take the new folder makes the export fail.
files::FileDescriptor destinationLock(int destination, int operation, std::chrono::milliseconds patience = {}) {
    files::FileDescriptor fd(::openat(destination, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return {};
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!lock(fd.get(), operation | LOCK_NB)) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return fd;
}

/// Removes the temporary folders that exports into this destination left behind when they
/// were killed: those whose lock nobody holds any longer. A running export's folder is held
/// and never touched; links, files and folders of other names are left alone. Where the file
/// system has no locks nothing is removed. Errors are ignored.
void removeAbandonedFolders(int destination) noexcept {
    std::vector<std::pair<std::string, files::FileDescriptor>> abandoned;
    {
        const files::FileDescriptor guard = destinationLock(destination, LOCK_EX);
        struct stat here {};
        if (!guard || ::fstat(destination, &here) != 0) return;
        const int listed = ::openat(destination, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listed < 0) return;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listed), ::closedir);
        if (!dir) {
            ::close(listed);
            return;
        }
        while (const dirent* entry = ::readdir(dir.get())) {
            if (!isTemporaryFolderName(entry->d_name)) continue;
            files::FileDescriptor folder(
                ::openat(destination, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            // Something mounted there is not an export's folder.
            struct stat info {};
            if (folder && ::fstat(folder.get(), &info) == 0 && info.st_dev == here.st_dev &&
                lock(folder.get(), LOCK_EX | LOCK_NB))
                abandoned.emplace_back(entry->d_name, std::move(folder));
        }
    }
    // Held while they are removed, so another export's clean-up passes them by.
    for (const auto& [name, folder] : abandoned) files::removeFolderAt(destination, name, folder.get());
}

/// The hidden folder the package is built in, inside the opened destination. Removed with
/// its content unless moved into place; only ever written through its own descriptor, and
/// locked for as long as it is open, so that only a folder no export holds is taken for an
/// abandoned one.
class TemporaryFolder {
public:
    TemporaryFolder(int destination, const fs::path& shownDestination)
        : destination_(destination), name_(std::string(temporaryPrefix) + UUID::make().string()),
          shown_(shownDestination / name_) {
        const files::FileDescriptor creating = destinationLock(destination_, LOCK_SH, std::chrono::seconds(2));
        if (::mkdirat(destination_, name_.c_str(), 0755) != 0) throw files::systemError(errno, shown_, "cannot create");
        fd_ = files::FileDescriptor(
            ::openat(destination_, name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd_) throw movedAway(shown_);
        identity_ = files::identityOf(fd_.get(), shown_);
        lock(fd_.get(), LOCK_EX | LOCK_NB);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        if (!placed_) files::removeFolderAt(destination_, name_, fd_.get());
    }

    int fd() const { return fd_.get(); }
    const fs::path& path() const { return shown_; }

    /// Renames the folder to `name` beside it. Fails, leaving everything as found, when its
    /// own name no longer holds this folder, before or after the rename.
    void moveTo(const std::string& name, const fs::path& shownPackage) {
        if (files::entryIdentity(destination_, name_) != identity_) throw movedAway(shown_);
        files::moveNoReplaceAt(destination_, name_, destination_, name, shownPackage);
        if (files::entryIdentity(destination_, name) != identity_) {
            // Someone else's item was moved: it goes back under the name it had.
            ::renameat2(destination_, name.c_str(), destination_, name_.c_str(), RENAME_NOREPLACE);
            throw movedAway(shown_);
        }
        placed_ = true;
    }

private:
    int destination_;
    std::string name_;
    fs::path shown_;
    files::FileDescriptor fd_;
    files::Identity identity_;
    bool placed_ = false;
};

/// One delivery file's place in the package.
struct Planned {
    const DeliveryFile* file;
    std::string folder;  // the role folder's name
    std::string name;    // the file name inside it
    std::string relativePath() const { return folder + "/" + name; }
};

/// Runs `work` on another thread, or later on the calling thread (at get()) where no thread
/// can be created.
template <typename F>
auto alongside(F&& work) {
    try {
        return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, work);
    }
}

SorvikError leadsOutside(const DeliveryFile& file) {
    return SorvikError::message(quoted(file.name) + "现在指向来源文件夹以外，已拒绝导出。");
}

/// Opens the original once: never through a link in its place, never blocking; an original in
/// a source below its folder, never through a link on the way. A library copy's path was just
/// resolved, so no link may stand anywhere along it.
files::FileDescriptor openSource(const DeliveryFile& file, const fs::path& source, const SourceRoot* root,
                                 const std::string& relative, struct stat& info) {
    constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
    files::FileDescriptor fd = root ? files::openBeneath(root->fd.get(), relative, flags)
                               : file.reference
                                   ? files::FileDescriptor(::open(source.c_str(), flags | O_NOFOLLOW | O_CLOEXEC))
                                   : files::openWithoutLinks(source.string());
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw SorvikError::message(quoted(file.name) + "已丢失，请重新扫描来源文件夹。");
        // A link on the way out of its source.
        if (root && (errno == ELOOP || errno == EXDEV)) throw leadsOutside(file);
        // A link or a socket in the file's place: not the file that was indexed.
        if (errno == ELOOP || errno == ENXIO)
            throw SorvikError::message(quoted(file.name) + "已更新，请重新扫描后再交付。");
        throw files::systemError(errno, source, "cannot open");
    }
    if (::fstat(fd.get(), &info) != 0) throw files::systemError(errno, source, "cannot read");
    if (!S_ISREG(info.st_mode)) {
        if (file.reference) throw SorvikError::message(quoted(file.name) + "已更新，请重新扫描后再交付。");
        throw files::systemError(EINVAL, source, "not a regular file:");
    }
    // Regular files never block; clear the flag so reads behave normally.
    if (const int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

ManifestEntry exportFile(const Repository& repository, const std::vector<SourceRoot>& roots, const Planned& planned,
                         int roleFolder, const fs::path& shownOutput, const std::stop_token& stop) {
    const DeliveryFile& file = *planned.file;
    const fs::path source = repository.fileURL(file);
    std::string relative;
    const SourceRoot* root = file.reference ? files::sourceRootOf(roots, source.string(), relative) : nullptr;
    struct stat info {};
    const files::FileDescriptor in = openSource(file, source, root, relative, info);
    if (file.reference) {
        const Date modified = Date::fromTimespec(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        if (static_cast<std::int64_t>(info.st_size) != file.bytes ||
            !(std::fabs(modified.seconds - file.reference->modifiedAt.seconds) < 0.001))
            throw SorvikError::message(quoted(file.name) + "已更新，请重新扫描后再交付。");
    }

    const files::FileDescriptor out = files::createFileAt(roleFolder, planned.name, shownOutput);
    const bool plainCopy = !file.crop && !file.editedText;
    const bool large = info.st_size >= overlapBytes;
    const auto hashSource = [&] { return hashing::sha256Descriptor(in.get(), source, stop); };
    const auto checkStored = [&](const std::string& sourceHash) {
        if (!file.sha256.empty() && file.sha256 != sourceHash)
            throw SorvikError::message(quoted(file.name) + "已变更，请重新读取。");
    };

    // The source hash, the copy, the crop and the second hash all read the one descriptor.
    std::string sourceHash;
    if (plainCopy && large) {
        auto hashing = alongside(hashSource);
        std::exception_ptr copyFailure;
        try {
            files::copyContentInto(in.get(), out.get(), shownOutput, stop);
        } catch (...) {
            copyFailure = std::current_exception();
        }
        sourceHash = hashing.get();
        checkStored(sourceHash);
        if (copyFailure) std::rethrow_exception(copyFailure);
    } else {
        sourceHash = hashSource();
        checkStored(sourceHash);
        if (file.crop) {
            writeCrop(out.get(), croppedJPEG(in.get(), *file.crop));
        } else if (file.editedText) {
            files::writeAll(out.get(), *file.editedText, shownOutput);
        } else {
            files::copyContentInto(in.get(), out.get(), shownOutput, stop);
        }
    }

    struct stat written {};
    if (::fstat(out.get(), &written) != 0) throw files::systemError(errno, shownOutput, "cannot read");

    // Failures are reported in the sequential order: the copy's hash, its comparison, then the
    // source's second hash.
    std::string outputHash, sourceAgain;
    std::exception_ptr againFailure;
    const auto hashOutput = [&] { return hashing::sha256Descriptor(out.get(), shownOutput, stop); };
    if (large) {
        auto again = alongside(hashSource);
        std::exception_ptr outputFailure;
        try {
            outputHash = hashOutput();
        } catch (...) {
            outputFailure = std::current_exception();
        }
        try {
            sourceAgain = again.get();
        } catch (...) {
            againFailure = std::current_exception();
        }
        if (outputFailure) std::rethrow_exception(outputFailure);
    } else {
        outputHash = hashOutput();
    }
    if (plainCopy && outputHash != sourceHash) throw SorvikError::message("文件复制校验失败：" + file.name);
    if (againFailure) std::rethrow_exception(againFailure);
    if (sourceAgain.empty()) sourceAgain = hashSource();
    // Changed in place, or no longer the file at its path (replaced since it was opened).
    struct stat now {};
    const files::FileDescriptor there =
        root ? files::openBeneath(root->fd.get(), relative, O_PATH) : files::FileDescriptor();
    const bool samePlace = (root ? there && ::fstat(there.get(), &now) == 0 : ::lstat(source.c_str(), &now) == 0) &&
                           files::identityOf(now) == files::identityOf(info);
    if (sourceAgain != sourceHash || !samePlace)
        throw SorvikError::message(quoted(file.name) + "在导出时发生变化，请重试。");

    ManifestEntry entry;
    entry.assetID = file.id;
    entry.sourceName = file.name;
    entry.outputPath = planned.relativePath();
    entry.role = file.role;
    entry.bytes = static_cast<std::int64_t>(written.st_size);
    entry.sha256 = std::move(outputHash);
    entry.sourceSHA256 = std::move(sourceHash);
    entry.modified = !plainCopy;
    return entry;
}

/// Whether the opened destination is the library folder or lies inside it, as the kernel
/// sees both (links, "..", bind mounts); the paths are compared first, for a destination
/// that does not exist.
bool insideLibrary(const fs::path& root, const fs::path& destination, int destinationFd) {
    if (files::isInsideOrEqual(destination, root)) return true;
    const files::FileDescriptor library(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return destinationFd >= 0 && library && files::folderWithin(destinationFd, library.get());
}

}  // namespace

void removeAbandonedExports(const fs::path& destination) noexcept {
    const files::FileDescriptor folder(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    if (folder) removeAbandonedFolders(folder.get());
}

ExportReceipt exportDelivery(const Delivery& delivery, const Repository& repository, const fs::path& destinationIn,
                             bool allowWarnings, std::stop_token stop, const FileWritten& fileWritten,
                             const std::vector<fs::path>& sourceFolders) {
    const std::vector<DeliveryCheck> checks = CheckEngine::checks(delivery);
    const auto has = [&](CheckLevel level) {
        return std::any_of(checks.begin(), checks.end(), [&](const DeliveryCheck& c) { return c.level == level; });
    };
    if (has(CheckLevel::error)) throw SorvikError::message("仍有缺失或无法读取的文件，请先修正。");
    if (!allowWarnings && has(CheckLevel::warning)) throw SorvikError::message("请先检查并确认提醒事项。");

    const fs::path destination = destinationIn.is_absolute() ? destinationIn : fs::absolute(destinationIn);
    const auto refuse = [] { return SorvikError::message("请将交付包导出到Sorvik资料库以外的文件夹。"); };
    if (insideLibrary(repository.root(), destination, -1)) throw refuse();
    const files::FileDescriptor folder = files::openFolder(destination);
    if (insideLibrary(repository.root(), destination, folder.get())) throw refuse();

    // lstat: a dangling link or any other item takes the name.
    const std::string safe = safeName(delivery.name);
    std::string packageName = safe;
    for (int number = 2; files::entryIdentity(folder.get(), packageName); ++number)
        packageName = safe + " " + std::to_string(number);

    removeAbandonedFolders(folder.get());
    TemporaryFolder temp(folder.get(), destination);

    std::map<FileRole, int> counters;
    std::vector<Planned> plan;
    plan.reserve(delivery.files.size());
    for (const auto& file : delivery.files) {
        const int number = ++counters[file.role];
        const std::string extension = file.crop ? "jpg" : safeExtension(file.fileExtension());
        plan.push_back(
            {&file, std::string(FileRoles::folder(file.role)),
             safe + "_" + std::string(FileRoles::label(file.role)) + "_" + twoDigits(number) + "." + extension});
    }
    std::map<FileRole, files::FileDescriptor> roleFolders;
    for (const auto& [role, count] : counters) {
        const std::string name(FileRoles::folder(role));
        roleFolders.emplace(role, files::openFolderAt(temp.fd(), name, temp.path() / name, true));
    }

    const std::vector<SourceRoot> roots = files::openSourceRoots(sourceFolders);
    ExportManifest manifest;
    manifest.projectID = delivery.id;
    manifest.title = delivery.name;
    manifest.templ = delivery.templ;
    manifest.files.resize(plan.size());
    ordered::forEach(
        plan.size(), 0,
        [&](std::size_t i, std::stop_token token) {
            const Planned& planned = plan[i];
            manifest.files[i] = exportFile(repository, roots, planned, roleFolders.at(planned.file->role).get(),
                                           temp.path() / planned.relativePath(), token);
            if (fileWritten) fileWritten(temp.path(), i);
        },
        stop);
    if (stop.stop_requested()) throw CancellationError();
    manifest.checks = checks;
    manifest.acknowledgedWarnings = allowWarnings;
    manifest.exportedAt = nowInWholeSeconds();

    files::writeFileAtomicallyAt(temp.fd(), manifestFileName, encodeManifestFile(manifest),
                                 temp.path() / manifestFileName);
    files::writeFileAtomicallyAt(temp.fd(), reportFileName, reportText(manifest), temp.path() / reportFileName);

    const fs::path package = destination / packageName;
    temp.moveTo(packageName, package);
    ::fsync(folder.get());

    return ExportReceipt::make(manifest.exportedAt, package.string(), static_cast<std::int64_t>(manifest.files.size()),
                               signature(delivery));
}

}  // namespace sorvik::DeliveryExporter
