#include "SorvikCore/Repository.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/JsonPieces.hpp"
#include "SorvikCore/LibraryGuard.hpp"

namespace sorvik {

namespace fs = std::filesystem;

namespace {
constexpr const char* workspaceFile = "workspace.json";
constexpr const char* presetsFile = "templates.json";
constexpr const char* libraryFile = "library.json";

using files::resolvedPath;

/// Removes temporary files that a save killed midway left in the library folder.
void removeStaleTemporaries(const fs::path& root) {
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (files::isTemporaryFileName(name) && it->is_regular_file(ec) && !it->is_symlink(ec))
            fs::remove(it->path(), ec);
    }
}

/// Far beyond any real library; a larger file is damaged or not a library file at all.
constexpr std::uint64_t maxLibraryFileBytes = std::uint64_t{1} << 30;

/// Decodes the library file at `path` in bounded pieces, as it is read.
template <typename Decode>
auto readLibraryDocument(const fs::path& path, std::string_view root, Decode decode) {
    struct stat status {};
    const files::FileDescriptor fd = files::openRegularFile(path, false, &status);
    const auto tooLarge = [&] {
        throw SorvikError::message("“" + path.filename().string() + "”超过 1 GB，不是可以读取的资料库文件。");
    };
    if (static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0)) > maxLibraryFileBytes) tooLarge();
    std::uint64_t total = 0;
    const auto read = [&](char* into, std::size_t room) -> std::size_t {
        for (;;) {
            const ssize_t n = ::read(fd.get(), into, room);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw files::systemError(errno, path, "cannot read");
            total += static_cast<std::uint64_t>(n);
            if (total > maxLibraryFileBytes) tooLarge();
            return static_cast<std::size_t>(n);
        }
    };
    return json::readDocumentInPieces(read, root, decode);
}

std::vector<Delivery> readDeliveries(const fs::path& path) {
    return readLibraryDocument(path, libraryFile, json::arrayOf<coding::decodeDelivery>);
}

/// The projects of the library file loadWorkspace would read, as decodeProject reads them.
template <auto decodeProject, auto decodeWorkspaceProjects>
auto loadProjectsAs(const fs::path& root) {
    using Projects = decltype(json::arrayOf<decodeProject>(std::declval<json::Value&>(), std::declval<json::Path&>()));
    const fs::path workspace = root / workspaceFile;
    if (files::itemExists(workspace)) return readLibraryDocument(workspace, workspaceFile, decodeWorkspaceProjects);
    const fs::path library = root / libraryFile;
    if (files::itemExists(library)) return readLibraryDocument(library, libraryFile, json::arrayOf<decodeProject>);
    return Projects{};
}
}  // namespace

const char* const Repository::workspaceFileName = workspaceFile;
const char* const Repository::presetsFileName = presetsFile;

Repository::Repository(fs::path root) : root_(std::move(root)) { fs::create_directories(root_); }

void Repository::guardWrites(std::shared_ptr<LibraryGuard> guard) {
    guard_ = std::move(guard);
    epoch_ = guard_ ? guard_->epoch() : 0;
}

WorkspaceState Repository::loadWorkspace() const {
    // lstat: a dangling link counts as present and then fails to read, so it is never
    // mistaken for a new library and replaced by the next save.
    const fs::path workspace = root_ / workspaceFile;
    if (files::itemExists(workspace))
        return readLibraryDocument(workspace, workspaceFile, coding::decodeWorkspaceState);
    const fs::path library = root_ / libraryFile;
    if (files::itemExists(library)) return WorkspaceState(readDeliveries(library));
    return WorkspaceState(std::vector<Delivery>{});
}

std::vector<Delivery> Repository::loadProjects() const {
    return loadProjectsAs<coding::decodeDelivery, coding::decodeWorkspaceProjects>(root_);
}

std::vector<ProjectSummary> Repository::loadProjectSummaries() const {
    return loadProjectsAs<coding::decodeProjectSummary, coding::decodeWorkspaceProjectSummaries>(root_);
}

Repository::FilesStamp Repository::workspaceStamp() const {
    FilesStamp stamp{};
    std::size_t at = 0;
    for (const char* name : {workspaceFile, libraryFile}) {
        const std::optional<struct stat> status = files::linkStatus(root_ / name);
        if (status) {
            stamp[at] = static_cast<std::int64_t>(status->st_dev);
            stamp[at + 1] = static_cast<std::int64_t>(status->st_ino);
            stamp[at + 2] = static_cast<std::int64_t>(status->st_size);
            stamp[at + 3] = status->st_mtim.tv_sec * 1'000'000'000 + status->st_mtim.tv_nsec;
            stamp[at + 4] = status->st_ctim.tv_sec * 1'000'000'000 + status->st_ctim.tv_nsec;
            stamp[at + 5] = 1;
        }
        at += 6;
    }
    return stamp;
}

void Repository::saveWorkspace(const WorkspaceState& state) const { saveWorkspace(state, state.projects); }

void Repository::saveWorkspace(const WorkspaceState& state, const std::vector<Delivery>& projects) const {
    saveWorkspaceText(workspaceText(state, projects));
}

std::string Repository::workspaceText(const WorkspaceState& state, const std::vector<Delivery>& projects,
                                      std::stop_token stop) const {
    // The text is written into one buffer, made the size the file had plus some room.
    const auto before = files::linkStatus(root_ / workspaceFile);
    const std::size_t expected =
        before && S_ISREG(before->st_mode) ? static_cast<std::size_t>(before->st_size) / 8 * 9 + 4096 : 0;
    return coding::text(WorkspaceWithProjects{state, projects}, json::Style::compact, expected, std::move(stop));
}

void Repository::saveWorkspaceText(const std::string& text) const {
    if (guard_) {
        guard_->replace(workspaceFile, text, epoch_);
        guard_->removeStaleTemporaries();
        return;
    }
    files::writeFileAtomically(root_ / workspaceFile, text);
    removeStaleTemporaries(root_);
}

std::vector<TemplatePreset> Repository::loadPresets() const {
    const fs::path presets = root_ / presetsFile;
    if (!files::itemExists(presets)) return {};
    return readLibraryDocument(presets, presetsFile, json::arrayOf<coding::decodeTemplatePreset>);
}

std::string Repository::presetsText(const std::vector<TemplatePreset>& presets) {
    return coding::text(presets, json::Style::pretty);
}

void Repository::savePresets(const std::vector<TemplatePreset>& presets) const {
    const std::string text = presetsText(presets);
    if (guard_) {
        guard_->replace(presetsFile, text, epoch_);
        guard_->removeStaleTemporaries();
        return;
    }
    files::writeFileAtomically(root_ / presetsFile, text);
    removeStaleTemporaries(root_);
}

std::vector<Delivery> Repository::load() const {
    const fs::path library = root_ / libraryFile;
    if (!files::itemExists(library)) return {};
    return readDeliveries(library);
}

void Repository::save(const std::vector<Delivery>& deliveries) const {
    files::writeFileAtomically(root_ / libraryFile, coding::text(deliveries, json::Style::pretty));
}

bool Repository::contains(const fs::path& folder, const fs::path& path) {
    std::string base = resolvedPath(folder);
    if (base != "/") base += "/";
    const std::string candidate = resolvedPath(path);
    return candidate.size() > base.size() && candidate.starts_with(base);
}

fs::path Repository::fileURL(const DeliveryFile& file) const {
    if (file.reference) return file.reference->resolve(false);
    // Appended as text: an absolute relative path must not replace the root.
    if (file.relativePath.find('\0') == std::string::npos) {
        const fs::path candidate = fs::path(root_.string() + "/" + file.relativePath);
        if (contains(root_, candidate)) return fs::path(resolvedPath(candidate));
    }
    throw SorvikError::message("文件路径不属于Sorvik资料库");
}

fs::path defaultLibraryFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute())
        return fs::path(xdg) / "Sorvik";
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home ? home : "";
    if (homeDir.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) homeDir = pw->pw_dir;
    }
    if (homeDir.empty()) homeDir = "/";
    return fs::path(homeDir) / ".local" / "share" / "Sorvik";
}

}  // namespace sorvik
