#pragma once
// What the inbox shows: a row per waiting asset that the search text finds, the menu that assigns
// it, and the parts of a row. Pure functions of the store's state; no widgets.
#include <QRectF>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

/// What one inbox row draws.
struct InboxRowItem {
    /// The asset's file without its long texts.
    DeliveryFile file;
    std::optional<std::filesystem::path> location;
    /// The matcher's reason, a Chinese text to translate when shown.
    std::string reason;
    /// The original's stored path; empty without a reference.
    std::string path;
    friend bool operator==(const InboxRowItem&, const InboxRowItem&) = default;
};

/// The rows of `store.matchingUnassigned()`, in order.
std::vector<InboxRowItem> inboxRows(const AppStore& store);

/// The assign menu: every project in the store's order (names as stored), a divider, then
/// "建立新项目…".
struct InboxMenuEntry {
    enum class Kind { project, divider, createProject };
    Kind kind = Kind::project;
    UUID projectID;
    std::string title;  // the project's name, or the catalogue key of the last item
};
std::vector<InboxMenuEntry> inboxMenu(const std::vector<Delivery>& projects);

/// The menu may be used now: nothing long runs and the library can be saved.
bool inboxMenuEnabled(bool busy, bool recovery);

/// A project name as a menu item's text: "&" doubled so it is not taken for a mnemonic, tabs and
/// line breaks written as spaces.
std::string menuItemText(std::string_view name);

/// The parts of a row of a given width, relative to its top-left corner.
struct InboxRowGeometry {
    QRectF row;
    QRectF thumbnail;
    QRectF name;
    QRectF reason;
    QRectF path;
    QRectF menu;
};
InboxRowGeometry inboxRowGeometry(qreal width);
qreal inboxRowHeight();
inline constexpr int inboxRowSpacing = 24;

}  // namespace sorvik::app
