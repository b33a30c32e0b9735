#include "Sorvik/Views/Project/Logic/ProjectRulesLogic.hpp"

#include <QRegularExpression>
#include <QStringList>

#include "Sorvik/Support/Strings.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::app {

namespace {
constexpr std::string_view untitled = "未命名项目";
constexpr std::size_t nameLimit = 70;
}  // namespace

bool isUntitledName(std::string_view name) {
    return name == untitled || name == L(InLanguage{InterfaceLanguage::english}, untitled);
}

QString prefillName(const Delivery* project) {
    if (!project || isUntitledName(project->name)) return {};
    return qs(project->name);
}

QString prefillAliases(const Delivery* project) {
    if (!project || !project->keywords) return {};
    QStringList parts;
    for (const std::string& keyword : *project->keywords) parts << qs(keyword);
    return parts.join(QStringLiteral(", "));
}

std::vector<std::string> parseAliases(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[,\\x{FF0C}\\n]"));
    std::vector<std::string> aliases;
    for (const QString& piece : text.split(separators)) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty()) aliases.push_back(utf8(trimmed));
    }
    return aliases;
}

std::string savedName(const QString& name) { return unicode::graphemePrefix(utf8(name.trimmed()), nameLimit); }

NameAndAliasesChange nameAndAliasesChange(const QString& openedName, const QString& name, const QString& openedAliases,
                                          const QString& aliases) {
    NameAndAliasesChange change;
    if (name != openedName) change.name = savedName(name);
    if (aliases != openedAliases) change.keywords = parseAliases(aliases);
    return change;
}

bool canSaveNameAndAliases(const QString& name, bool busy, bool recovery) {
    return !name.trimmed().isEmpty() && !busy && !recovery;
}

}  // namespace sorvik::app
