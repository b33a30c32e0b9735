#include "Sorvik/Views/Project/Logic/ProjectDetailLogic.hpp"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "Sorvik/Support/Formatting.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

bool passesFilter(const DeliveryFile& file, FileFilter filter) {
    switch (filter) {
        case FileFilter::all: return true;
        case FileFilter::images: return file.isImage();
        case FileFilter::videos: return file.isVideo();
        case FileFilter::text: {
            if (file.text) return true;
            const std::string extension = file.fileExtension();
            return extension == "pdf" || extension == "docx" || extension == "pptx" || extension == "xlsx";
        }
    }
    return true;
}

std::vector<std::size_t> visibleFiles(const Delivery& project, const std::vector<char>& searchMatches,
                                      FileFilter filter) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < project.files.size() && i < searchMatches.size(); ++i) {
        if (searchMatches[i] && passesFilter(project.files[i], filter)) out.push_back(i);
    }
    return out;
}

ProjectCounts projectCounts(const Delivery& project, const Repository* repository) {
    ProjectCounts counts;
    counts.assets = project.files.size();
    std::unordered_set<std::string> folders;
    for (const DeliveryFile& file : project.files) {
        if (const std::optional<fs::path> location = fileLocation(file, repository)) {
            folders.insert(location->parent_path().string());
        }
    }
    counts.folders = folders.size();
    return counts;
}

std::string folderLabel(std::string_view storedPath) {
    const fs::path parent = fs::path(std::string(storedPath)).parent_path();
    return lastPathComponent(parent.string());
}

AssetCardTexts assetCardTexts(const DeliveryFile& file, std::string_view language) {
    AssetCardTexts texts;
    texts.attention = file.inspectionError.has_value();
    if (texts.attention) {
        texts.sizeLine = "原文件需要检查";
    } else {
        std::string extension = file.fileExtension();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        texts.sizeLine = extension + " · " + fileSizeText(file.bytes, language);
    }
    if (file.reference) texts.folderLabel = folderLabel(file.reference->path);
    return texts;
}

std::vector<AssetMenuEntry> assetMenu(bool projectSelected, bool busy, bool recovery) {
    std::vector<AssetMenuEntry> entries;
    if (projectSelected) entries.push_back({AssetAction::copyReference, "复制 AI 内容引用", true});
    entries.push_back({AssetAction::reveal, "查看原文件位置", true});
    entries.push_back({AssetAction::open, "使用默认应用打开", true});
    entries.push_back({AssetAction::unlink, "从项目解除关联", !busy && !recovery});
    return entries;
}

ProjectPageStates projectPageStates(bool busy, bool recovery) {
    ProjectPageStates states;
    states.menu = !busy;
    states.deleteProject = !busy && !recovery;
    states.rules = !busy;
    states.delivery = !busy;
    states.linkFiles = !busy && !recovery;
    states.findAssets = !busy;
    return states;
}

GridColumns assetGridColumns(int availableWidth) {
    constexpr int minimum = 200, maximum = 300, spacing = assetGridColumnSpacing;
    GridColumns columns;
    const int width = std::max(availableWidth, minimum);
    columns.count = std::max(1, (width + spacing) / (minimum + spacing));
    columns.width = std::min(maximum, (width - spacing * (columns.count - 1)) / columns.count);
    const int used = columns.count * columns.width + spacing * (columns.count - 1);
    columns.inset = std::max(0, (availableWidth - used) / 2);
    return columns;
}

namespace {
constexpr qreal padding = 11, previewHeight = 150, gap = 10, nameHeight = 17, lineGap = 6, sizeHeight = 14,
                folderHeight = 15, badgeSide = 24, badgeInset = 8, menuWidth = 18;
}  // namespace

qreal assetCardHeight() {
    return padding + previewHeight + gap + nameHeight + lineGap + sizeHeight + gap + folderHeight + padding;
}

AssetCardGeometry assetCardGeometry(qreal width) {
    AssetCardGeometry g;
    g.card = QRectF(0, 0, width, assetCardHeight());
    const qreal inner = std::max<qreal>(0, width - 2 * padding);
    g.preview = QRectF(padding, padding, inner, previewHeight);
    g.badge = QRectF(g.preview.right() - badgeInset - badgeSide, g.preview.top() + badgeInset, badgeSide, badgeSide);
    const qreal rowTop = g.preview.bottom() + gap;
    const qreal textWidth = std::max<qreal>(0, inner - menuWidth - 3);
    g.name = QRectF(padding, rowTop, textWidth, nameHeight);
    g.sizeLine = QRectF(padding, rowTop + nameHeight + lineGap, textWidth, sizeHeight);
    g.menu = QRectF(padding + inner - menuWidth, rowTop, menuWidth, nameHeight);
    g.folder = QRectF(padding, g.sizeLine.bottom() + gap, inner, folderHeight);
    return g;
}

}  // namespace sorvik::app
