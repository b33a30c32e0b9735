#include "Sorvik/Views/Delivery/Logic/TemplateSheetLogic.hpp"

#include <algorithm>
#include <memory>
#include <unicode/numfmt.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include "Sorvik/Views/Crop/Logic/CropLogic.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

namespace {

std::unique_ptr<icu::NumberFormat> wholeNumberFormat(std::string_view languageCode) {
    const icu::Locale locale(languageCode == InterfaceLanguage::english ? "en" : "zh_Hans");
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(icu::NumberFormat::createInstance(locale, status));
    if (U_FAILURE(status) || !format) return nullptr;
    format->setGroupingUsed(false);
    format->setParseIntegerOnly(true);
    format->setLenient(false);
    return format;
}

}  // namespace

TemplateForm startingPoint(const DeliveryTemplate& templ) { return TemplateForm{templ, templ.coverRatio.value_or(0)}; }

TemplateForm seedTemplateForm(const Delivery* selected) {
    return startingPoint(selected ? selected->templ : DeliveryTemplate::video());
}

std::array<const DeliveryTemplate*, 3> builtInTemplates() {
    return {&DeliveryTemplate::video(), &DeliveryTemplate::graphic(), &DeliveryTemplate::flexible()};
}

bool isRequired(const DeliveryTemplate& templ, FileRole role) {
    return std::find(templ.requiredRoles.begin(), templ.requiredRoles.end(), role) != templ.requiredRoles.end();
}

void setRequired(DeliveryTemplate& templ, FileRole role, bool on) {
    if (on) {
        if (!isRequired(templ, role)) templ.requiredRoles.push_back(role);
    } else {
        std::erase(templ.requiredRoles, role);
    }
}

const std::array<RuleRatio, 5>& ruleRatioChoices() {
    static const std::array<RuleRatio, 5> choices{{
        {"不限制", true, 0.0},
        {coverRatios[0].label, false, coverRatios[0].ratio},
        {coverRatios[1].label, false, coverRatios[1].ratio},
        {coverRatios[2].label, false, coverRatios[2].ratio},
        {coverRatios[3].label, false, coverRatios[3].ratio},
    }};
    return choices;
}

std::optional<std::size_t> ruleRatioIndex(double ratio) {
    const auto& choices = ruleRatioChoices();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].value == ratio) return i;
    }
    return std::nullopt;
}

std::optional<std::int64_t> parseWholeNumber(std::string_view text, std::string_view languageCode) {
    const icu::UnicodeString whole = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    icu::UnicodeString trimmed = whole;
    trimmed.trim();
    if (trimmed.isEmpty()) return std::nullopt;
    const auto format = wholeNumberFormat(languageCode);
    if (!format) return std::nullopt;
    icu::Formattable result;
    icu::ParsePosition position(0);
    format->parse(trimmed, result, position);
    // The whole text must be the number: "1,000" or "12.5" stop early and are refused.
    if (position.getErrorIndex() >= 0 || position.getIndex() != trimmed.length()) return std::nullopt;
    if (result.getType() != icu::Formattable::kLong && result.getType() != icu::Formattable::kInt64) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    const std::int64_t value = result.getInt64(status);
    if (U_FAILURE(status)) return std::nullopt;
    return value;
}

std::string formatWholeNumber(std::int64_t value, std::string_view languageCode) {
    const auto format = wholeNumberFormat(languageCode);
    if (!format) return std::to_string(value);
    icu::UnicodeString text;
    format->format(static_cast<int64_t>(value), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isBlankRuleName(std::string_view name) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(name.size(), INT32_MAX));
    std::int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c == '\t' || (c >= 0 && u_charType(c) == U_SPACE_SEPARATOR)) continue;
        return false;
    }
    return true;
}

bool canSaveTemplate(const DeliveryTemplate& templ, bool fieldsReadable, bool busy, bool recovery) {
    if (busy || recovery || !fieldsReadable) return false;
    if (isBlankRuleName(templ.name)) return false;
    return templ.maxVideoMB >= 0 && templ.maxTitleCharacters >= 0 && templ.maxBodyCharacters >= 0;
}

DeliveryTemplate templateToSave(const TemplateForm& form) {
    DeliveryTemplate templ = form.templ;
    if (form.ratio == 0) {
        templ.coverRatio.reset();
    } else {
        templ.coverRatio = form.ratio;
    }
    return templ;
}

}  // namespace sorvik::app
