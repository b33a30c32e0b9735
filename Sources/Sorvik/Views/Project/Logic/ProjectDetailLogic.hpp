#pragma once
// What the project page shows: the files that pass the search text and the type filter, the
// header's counts, the texts of an asset card, its menu, the grid's columns and the parts of a
// card. Pure functions of the store's state; no widgets.
#include <QRectF>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

/// Whether a file passes the type filter: images and videos by extension, documents by their
/// extracted text or a pdf, docx, pptx or xlsx extension.
bool passesFilter(const DeliveryFile& file, FileFilter filter);

/// Positions in `project.files` of the files the page shows, in order: those the search finds
/// (`searchMatches`, one flag per file) that pass the type filter.
std::vector<std::size_t> visibleFiles(const Delivery& project, const std::vector<char>& searchMatches,
                                      FileFilter filter);

struct ProjectCounts {
    std::size_t assets = 0;
    /// Distinct folders holding the files' locations, compared as text.
    std::size_t folders = 0;
    friend bool operator==(const ProjectCounts&, const ProjectCounts&) = default;
};
ProjectCounts projectCounts(const Delivery& project, const Repository* repository);

/// The texts of one asset card.
struct AssetCardTexts {
    /// The original needs attention: its inspection failed.
    bool attention = false;
    /// "PNG · 1.2 MB", or the key "原文件需要检查" when `attention` is set (translate it).
    std::string sizeLine;
    /// The name of the folder holding the stored path; none without a reference.
    std::optional<std::string> folderLabel;
    friend bool operator==(const AssetCardTexts&, const AssetCardTexts&) = default;
};
AssetCardTexts assetCardTexts(const DeliveryFile& file, std::string_view language);

/// The name of the folder that holds a stored file path ("/a/Day 1/x.jpg" gives "Day 1").
std::string folderLabel(std::string_view storedPath);

/// The items of an asset card's menu, in order.
enum class AssetAction { copyReference, reveal, open, unlink };
struct AssetMenuEntry {
    AssetAction action;
    const char* title;  // catalogue key
    bool enabled = true;
    friend bool operator==(const AssetMenuEntry&, const AssetMenuEntry&) = default;
};
std::vector<AssetMenuEntry> assetMenu(bool projectSelected, bool busy, bool recovery);

/// What the page's controls allow now.
struct ProjectPageStates {
    bool menu = false;  // the header menu (copy reference, delete)
    bool deleteProject = false;
    bool rules = false;
    bool delivery = false;
    bool linkFiles = false;
    bool findAssets = false;
    friend bool operator==(const ProjectPageStates&, const ProjectPageStates&) = default;
};
ProjectPageStates projectPageStates(bool busy, bool recovery);

/// The columns of the asset grid in a width: as many as fit at 200 or more with 16 between, each
/// at most 300; `inset` centres them.
struct GridColumns {
    int count = 1;
    int width = 200;
    int inset = 0;
    friend bool operator==(const GridColumns&, const GridColumns&) = default;
};
GridColumns assetGridColumns(int availableWidth);

inline constexpr int assetGridColumnSpacing = 16;
inline constexpr int assetGridRowSpacing = 22;

/// The parts of an asset card of a given width, relative to its top-left corner.
struct AssetCardGeometry {
    QRectF card;
    QRectF preview;
    QRectF badge;
    QRectF name;  // the line of the name (the clickable part is the text's width)
    QRectF sizeLine;
    QRectF menu;
    QRectF folder;  // the folder line (the clickable part is the symbol and text)
};
AssetCardGeometry assetCardGeometry(qreal width);
/// The card's height: padding, preview, name, size and folder lines.
qreal assetCardHeight();

}  // namespace sorvik::app
