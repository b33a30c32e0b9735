#include "Sorvik/Views/Delivery/Logic/DeliverySheetsLogic.hpp"

#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "Sorvik/Support/Formatting.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::app {

std::string renamePrefill(const Delivery* selected) {
    if (!selected || selected->name == "未命名交付") return {};
    return selected->name;
}

std::optional<std::string> committedName(std::string_view typed) {
    const std::string_view trimmed = unicode::trimWhitespaceAndNewlines(typed);
    if (trimmed.empty()) return std::nullopt;
    return unicode::graphemePrefix(trimmed, maximumNameLength);
}

bool canSaveName(std::string_view typed, bool busy, bool recovery) {
    return !busy && !recovery && !unicode::trimWhitespaceAndNewlines(typed).empty();
}

std::string warningTitle(std::size_t issueCount) { return L("还有 {0} 项提醒", issueCount); }

std::string historyDate(Date date, std::string_view languageCode, const std::string& timeZone) {
    const icu::Locale locale(languageCode == InterfaceLanguage::english ? "en" : "zh_Hans");
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kShort, locale));
    if (!format) return iso8601(date);
    if (!timeZone.empty()) format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone)));
    icu::UnicodeString text;
    format->format(static_cast<UDate>(date.unixSeconds() * 1000.0), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::vector<HistoryRow> historyRows(const Delivery* delivery, std::string_view languageCode,
                                    const std::string& timeZone) {
    std::vector<HistoryRow> rows;
    if (!delivery) return rows;
    rows.reserve(delivery->exports.size());
    for (auto it = delivery->exports.rbegin(); it != delivery->exports.rend(); ++it) {
        HistoryRow row;
        row.id = it->id;
        row.date = historyDate(it->date, languageCode, timeZone);
        row.detail = L("{0} 件文件 · {1}", it->fileCount, lastPathComponent(it->path));
        row.path = it->path;
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace sorvik::app
