#pragma once
// What the delivery workspace shows, read from the store: the check rows in their order with their
// symbols and actions, the four file cards, the rows of all files and the footer's status. Pure
// functions of the store's state; texts come back translated into the interface language.
#include <QRectF>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "Sorvik/Stores/AppStore.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// The colours the delivery views name; the widgets map them onto the theme.
enum class ViewTone { primary, secondary, tertiary, green, warning, danger };

/// What one refresh of the workspace reads: the checks run once and what follows from them.
struct DeliverySnapshot {
    std::vector<DeliveryCheck> checks;  // the engine's, in its order
    std::vector<DeliveryCheck> issues;  // warnings and errors, in the engine's order
    bool hasErrors = false;
    bool latestIsCurrent = false;
};

/// The snapshot of the store's selected delivery; empty when nothing is selected.
DeliverySnapshot deliverySnapshot(const AppStore& store);

/// The checks the list shows, from its source list: a file with problems shows only its problems,
/// a file without problems its last passing line, checks of the whole delivery all show; then
/// errors, warnings and passes, each in the source order.
std::vector<DeliveryCheck> visibleChecks(const std::vector<DeliveryCheck>& source);
/// The source of the list: the issues while only issues are shown, else every check.
const std::vector<DeliveryCheck>& checkSource(const DeliverySnapshot& snapshot, bool showOnlyIssues);
/// The sort key of a level: errors 0, warnings 1, passes 2.
int rank(CheckLevel level);

/// What a check row's button does.
enum class CheckAction { cropCover, showFile, chooseFiles };

struct CheckRowLook {
    std::string symbol;
    ViewTone tone = ViewTone::secondary;
    double opacity = 1.0;
    /// The button's text, translated; none for a passing check.
    std::optional<std::string> button;
    CheckAction action = CheckAction::chooseFiles;
};

CheckRowLook checkRowLook(const DeliveryCheck& check);
/// Whether a row's button can act now: choosing files needs an idle store outside recovery.
bool checkActionEnabled(CheckAction action, bool busy, bool recovery);

/// The list control's text: the counts, or "显示全部" while only issues show.
std::string issuesToggleText(bool showOnlyIssues, std::size_t fileCount, std::size_t issueCount);
/// Whether "所有检查已通过。" stands under the list.
bool showsAllPassed(bool showOnlyIssues, std::size_t issueCount);

/// The footer's status symbol, its colour, the title and the line under it.
struct FooterStatus {
    std::string symbol;
    ViewTone tone = ViewTone::secondary;
    std::string title;
    std::string line;
};

struct FooterInputs {
    bool filesEmpty = true;
    bool latestIsCurrent = false;
    std::size_t issueCount = 0;
    bool hasErrors = false;
    bool busy = false;
    std::string activity;  // stored in Chinese
};

FooterStatus footerStatus(const FooterInputs& inputs);

/// The control beside the export button.
enum class ExportRecordControl { none, reveal, history };
ExportRecordControl exportRecordControl(bool hasExports, bool latestIsCurrent);
/// The export button: the menu command's rule on the snapshot's checks, and never in recovery mode.
bool exportButtonEnabled(const AppStore& store, const DeliverySnapshot& snapshot);

/// One of the four cards of the main roles.
struct FileCardInfo {
    FileRole role = FileRole::video;
    std::optional<DeliveryFile> file;  // the first file of the role
    int index = 1;                     // the role's place, from 1
    int count = 0;                     // files of the role
    bool required = false;
    bool problematic = false;  // a check of this file does not pass
};

/// The cards of video, cover, subtitle and copy, in that order.
std::array<FileCardInfo, 4> fileCards(const Delivery& delivery, const std::vector<DeliveryCheck>& checks);

/// A card's texts and state symbol, translated.
struct FileCardLook {
    std::string number;                // "01"
    std::string role;                  // the role's label
    std::optional<std::string> extra;  // "+2" for three files of the role
    std::string name;                  // the file's name, or the waiting text
    std::string placeholder;           // the empty card's "添加{0}" / "可选{0}"
    std::string symbol;
    ViewTone tone = ViewTone::secondary;
    double opacity = 1.0;
    std::optional<std::string> duration;  // "01:15" for a file with a duration
    std::string accessibleName;
};

FileCardLook fileCardLook(const FileCardInfo& card);
/// A filled card opens the file and needs no idle store beyond `busy`; an empty one adds files.
bool fileCardEnabled(const FileCardInfo& card, bool busy, bool recovery);

/// "全部文件  {0}".
std::string allFilesTitle(std::size_t fileCount);
/// The rules button's label: a built-in rule set's name in the interface language, any other
/// name as it was typed.
std::string ruleSetLabel(const std::string& name);
/// "设为{0}" for a role of the file menu.
std::string useAsText(FileRole role);
/// The file with another role: what the file menu hands to editFile.
DeliveryFile withRole(const DeliveryFile& file, FileRole role);
/// Whether a file shows "已调整".
bool isEdited(const DeliveryFile& file);

/// Where the parts of a row of all files lie, for a row `width` wide and `height` high.
struct FileRowGeometry {
    QRectF symbol;
    QRectF name;    // the clickable name
    QRectF edited;  // empty when not shown
    QRectF size;
    QRectF menu;
};
/// `nameWidth`, `editedWidth` (0 when not shown) and `sizeWidth` are the measured texts.
FileRowGeometry fileRowGeometry(double width, double height, double nameWidth, double editedWidth, double sizeWidth);

/// Where the parts of a check row lie: the symbol, the texts and the button (empty without one).
struct CheckRowGeometry {
    QRectF symbol;
    QRectF text;
    QRectF button;
};
CheckRowGeometry checkRowGeometry(double width, double height, double buttonWidth);

}  // namespace sorvik::app
