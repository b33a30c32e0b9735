#pragma once
// What the rename, warning and history sheets show and store: the name to edit and the one to
// save, the warning sheet's title and the history's rows with their dates. Pure.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// The most user-perceived characters a delivery's name keeps.
inline constexpr std::size_t maximumNameLength = 70;

/// The field's text when the rename sheet opens: the selected delivery's name, empty for none and
/// for the untitled name.
std::string renamePrefill(const Delivery* selected);
/// The name to store for the typed text: trimmed of white space and line breaks and cut to its
/// first 70 user-perceived characters; none when nothing is left.
std::optional<std::string> committedName(std::string_view typed);
/// Save and Return act only with a name, an idle store and outside recovery mode.
bool canSaveName(std::string_view typed, bool busy, bool recovery);

/// "还有 {0} 项提醒" with the number of issues, translated.
std::string warningTitle(std::size_t issueCount);

/// One export of the history.
struct HistoryRow {
    UUID id;
    std::string date;    // medium date and short time in the interface language
    std::string detail;  // "{0} 件文件 · {1}": the file count and the package folder's name
    std::string path;
};

/// The exports of the delivery, newest first; none without a delivery. `timeZone` names an ICU
/// time zone; empty means the system's.
std::vector<HistoryRow> historyRows(const Delivery* delivery, std::string_view languageCode,
                                    const std::string& timeZone = {});
/// A date as medium date and short time for "zh-Hans" or "en" ("Jan 5, 2024, 3:04 PM" with a
/// narrow no-break space before PM; "2024年1月5日 15:04").
std::string historyDate(Date date, std::string_view languageCode, const std::string& timeZone = {});

}  // namespace sorvik::app
