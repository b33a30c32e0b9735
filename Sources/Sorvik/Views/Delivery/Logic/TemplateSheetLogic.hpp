#pragma once
// The delivery rules sheet's form: seeding from the selected delivery or a starting point, the
// required-role switches, the ratio picker's choices, whole-number fields and whether Save may
// run. Pure.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// The rules being edited, with the cover ratio held apart: 0 means no ratio check.
struct TemplateForm {
    DeliveryTemplate templ = DeliveryTemplate::video();
    double ratio = 0.75;
};

/// The form for the selected delivery's rules, or the video rules when none is selected.
TemplateForm seedTemplateForm(const Delivery* selected);
/// The form after choosing a built-in rule set or a preset.
TemplateForm startingPoint(const DeliveryTemplate& templ);
/// The three built-in rule sets in the order of their buttons.
std::array<const DeliveryTemplate*, 3> builtInTemplates();

/// Switches a role on (appended once, after the roles already there) or off (every entry removed).
void setRequired(DeliveryTemplate& templ, FileRole role, bool on);
bool isRequired(const DeliveryTemplate& templ, FileRole role);

/// One choice of the ratio picker.
struct RuleRatio {
    std::string_view label;  // "不限制" is a catalogue key; the ratios are shown as they are
    bool translated = false;
    double value = 0;
};
/// "不限制" 0, "3:4", "9:16", "16:9" (16/9), "1:1".
const std::array<RuleRatio, 5>& ruleRatioChoices();
/// The choice equal to the ratio, compared exactly; none for any other value.
std::optional<std::size_t> ruleRatioIndex(double ratio);

/// A whole number typed in the interface language's number format without digit grouping; none
/// for text that is not a whole number (grouped, fractional, out of range or empty).
std::optional<std::int64_t> parseWholeNumber(std::string_view text, std::string_view languageCode);
/// The whole number as the field shows it, without grouping.
std::string formatWholeNumber(std::int64_t value, std::string_view languageCode);

/// Whether a rule name is blank: nothing but spaces and tabs (any space separator, such as the
/// ideographic space); line breaks count as text.
bool isBlankRuleName(std::string_view name);
/// Save needs a name, no negative limit, every number field readable, an idle store and no
/// recovery mode.
bool canSaveTemplate(const DeliveryTemplate& templ, bool fieldsReadable, bool busy, bool recovery);
/// The rules Save stores: the form's with the cover ratio absent for 0; the name as typed.
DeliveryTemplate templateToSave(const TemplateForm& form);

}  // namespace sorvik::app
