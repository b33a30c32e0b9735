#pragma once
// The name and aliases sheet's form: what it opens with, how the alias text is read, the name it
// saves and when saving is possible. Pure.
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// Whether a name is the one every new project starts with, in either language.
bool isUntitledName(std::string_view name);

/// The name field's first text: the project's name, empty for an untitled or absent project.
QString prefillName(const Delivery* project);
/// The alias field's first text: the keywords joined with ", ".
QString prefillAliases(const Delivery* project);

/// The aliases typed: split at ",", "，" and line breaks, each trimmed, empty ones dropped; order,
/// repeats and letter case kept.
std::vector<std::string> parseAliases(const QString& text);

/// The name saved: trimmed of white space and line breaks and cut to its first 70 characters.
std::string savedName(const QString& name);

/// What saving writes into the project: only the fields changed since the sheet opened. A
/// field left as it opened keeps the stored value exactly, even one the field could not give
/// back (a name over 70 characters, an alias holding a comma, no alias list at all).
struct NameAndAliasesChange {
    std::optional<std::string> name;
    std::optional<std::vector<std::string>> keywords;
    bool empty() const { return !name && !keywords; }
};
NameAndAliasesChange nameAndAliasesChange(const QString& openedName, const QString& name, const QString& openedAliases,
                                          const QString& aliases);

/// Whether "保存并关联" may be pressed.
bool canSaveNameAndAliases(const QString& name, bool busy, bool recovery);

}  // namespace sorvik::app
