#include "Sorvik/Views/Inbox/Logic/InboxLogic.hpp"

#include <algorithm>

#include "Sorvik/Views/Project/Logic/ProjectDetailLogic.hpp"

namespace sorvik::app {

std::vector<InboxRowItem> inboxRows(const AppStore& store) {
    std::vector<InboxRowItem> rows;
    const std::vector<const IndexedAsset*> assets = store.matchingUnassigned();
    rows.reserve(assets.size());
    for (const IndexedAsset* asset : assets) {
        InboxRowItem row;
        row.file = asset->file;
        row.file.text.reset();
        row.file.editedText.reset();
        row.location = fileLocation(asset->file, store.repository());
        row.reason = asset->reason;
        if (asset->file.reference) row.path = asset->file.reference->path;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<InboxMenuEntry> inboxMenu(const std::vector<Delivery>& projects) {
    std::vector<InboxMenuEntry> entries;
    entries.reserve(projects.size() + 2);
    for (const Delivery& project : projects) {
        entries.push_back({InboxMenuEntry::Kind::project, project.id, project.name});
    }
    entries.push_back({InboxMenuEntry::Kind::divider, {}, {}});
    entries.push_back({InboxMenuEntry::Kind::createProject, {}, "建立新项目…"});
    return entries;
}

bool inboxMenuEnabled(bool busy, bool recovery) { return !busy && !recovery; }

std::string menuItemText(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        if (c == '&') {
            out += "&&";
        } else if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

namespace {
constexpr qreal padding = 14, thumbWidth = 90, thumbHeight = 70, spacing = 16, menuWidth = 125, menuHeight = 26,
                nameHeight = 18, reasonHeight = 15, pathHeight = 12, lineGap = 6;
}  // namespace

qreal inboxRowHeight() { return padding * 2 + thumbHeight; }

InboxRowGeometry inboxRowGeometry(qreal width) {
    InboxRowGeometry g;
    g.row = QRectF(0, 0, width, inboxRowHeight());
    g.thumbnail = QRectF(padding, padding, thumbWidth, thumbHeight);
    g.menu = QRectF(width - padding - menuWidth, (g.row.height() - menuHeight) / 2, menuWidth, menuHeight);
    const qreal textLeft = g.thumbnail.right() + spacing;
    const qreal textWidth = std::max<qreal>(0, g.menu.left() - spacing - textLeft);
    const qreal block = nameHeight + lineGap + reasonHeight + lineGap + pathHeight;
    const qreal top = (g.row.height() - block) / 2;
    g.name = QRectF(textLeft, top, textWidth, nameHeight);
    g.reason = QRectF(textLeft, g.name.bottom() + lineGap, textWidth, reasonHeight);
    g.path = QRectF(textLeft, g.reason.bottom() + lineGap, textWidth, pathHeight);
    return g;
}

}  // namespace sorvik::app
