#pragma once
// Small value types the store and the views share: the shown sheet, the main content, the file
// filter of a project page and the flags of a store change; and where a file's original is.
#include <QFlags>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "SorvikCore/Identifier.hpp"

namespace sorvik {
struct DeliveryFile;
class Repository;
}  // namespace sorvik

namespace sorvik::app {

/// What the main content shows.
enum class WorkspaceSection { projects, inbox, project };

/// The file filter of a project page; the raw value is the Chinese label.
enum class FileFilter { all, images, videos, text };

namespace FileFilters {
inline constexpr std::array<FileFilter, 4> allCases{FileFilter::all, FileFilter::images, FileFilter::videos,
                                                    FileFilter::text};
/// "全部", "图片", "视频", "文档": the raw value and the lookup key for display.
std::string_view label(FileFilter filter);
}  // namespace FileFilters

/// The sheet shown over the main window.
class AppSheet {
public:
    enum class Kind { file, crop, rename, templ, history, sources, projectRules, delivery };

    static AppSheet file(const UUID& id) { return AppSheet(Kind::file, id); }
    static AppSheet crop(const UUID& id) { return AppSheet(Kind::crop, id); }
    static AppSheet rename() { return AppSheet(Kind::rename); }
    static AppSheet templ() { return AppSheet(Kind::templ); }
    static AppSheet history() { return AppSheet(Kind::history); }
    static AppSheet sources() { return AppSheet(Kind::sources); }
    static AppSheet projectRules() { return AppSheet(Kind::projectRules); }
    static AppSheet delivery() { return AppSheet(Kind::delivery); }

    Kind kind() const { return kind_; }
    /// The file of a file or crop sheet.
    const std::optional<UUID>& fileID() const { return fileID_; }
    /// "file-<UUID>", "crop-<UUID>", "rename", "template", "history", "sources", "projectRules",
    /// "delivery": tells sheets apart.
    std::string identifier() const;

    friend bool operator==(const AppSheet&, const AppSheet&) = default;

private:
    explicit AppSheet(Kind kind, std::optional<UUID> fileID = std::nullopt) : kind_(kind), fileID_(fileID) {}
    Kind kind_;
    std::optional<UUID> fileID_;
};

/// Whether the export command may run: the store idle, a project selected and no error among its
/// checks. The menu command and the delivery view's button decide by this one rule.
constexpr bool exportAllowed(bool busy, bool selected, bool hasErrors) { return !busy && selected && !hasErrors; }

/// The location of a file's original: the library's answer; none without a library or when the
/// library refuses the file. Path work: callers on the GUI thread ask only for files they show.
std::optional<std::filesystem::path> fileLocation(const DeliveryFile& file, const Repository* repository);

/// What an operation of the store changed; one signal carries them once the state is consistent.
enum class StoreChange : unsigned {
    projects = 1u << 0,     // deliveries
    selection = 1u << 1,    // selectedID, section, projectFilter, showOnlyIssues
    busy = 1u << 2,         // isBusy, activity, whether a scan runs
    messages = 1u << 3,     // error, notice
    sheet = 1u << 4,        // sheet, showWarnings
    search = 1u << 5,       // search
    assets = 1u << 6,       // workspace.assets
    sources = 1u << 7,      // workspace.sources
    settings = 1u << 8,     // scan and archive settings, archive folder and records, last scan, summary
    presets = 1u << 9,      // presets
    lastExport = 1u << 10,  // lastExport
    deleted = 1u << 11,     // workspace.deletedProjects
};
Q_DECLARE_FLAGS(StoreChanges, StoreChange)
Q_DECLARE_OPERATORS_FOR_FLAGS(StoreChanges)

}  // namespace sorvik::app
