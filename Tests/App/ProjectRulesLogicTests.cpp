// The name and aliases sheet's form: prefill, alias parsing, the saved name and the save button.
#include <gtest/gtest.h>

#include "App/Support/LibrarySupport.hpp"
#include "Support/TestSupport.hpp"
#include "Sorvik/Views/Project/Logic/ProjectRulesLogic.hpp"
#include "SorvikCore/Localization.hpp"

using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

TEST(ProjectRulesLogic, AnUntitledProjectOpensEmptyInEitherLanguage) {
    Delivery project = projectNamed("未命名项目");
    EXPECT_TRUE(prefillName(&project).isEmpty());
    project.name = L(InLanguage{"en"}, "未命名项目");
    EXPECT_NE(project.name, "未命名项目");
    EXPECT_TRUE(prefillName(&project).isEmpty());
    project.name = "未命名项目 2";
    EXPECT_EQ(prefillName(&project), QString::fromUtf8("未命名项目 2"));
    EXPECT_TRUE(prefillName(nullptr).isEmpty());
    EXPECT_TRUE(prefillAliases(&project).isEmpty());
    project.keywords = std::vector<std::string>{"周末山行", "Mountain Weekend"};
    EXPECT_EQ(prefillAliases(&project), QString::fromUtf8("周末山行, Mountain Weekend"));
    project.keywords = std::vector<std::string>{};
    EXPECT_TRUE(prefillAliases(&project).isEmpty());
}

TEST(ProjectRulesLogic, AliasesSplitAtBothCommasAndLineBreaks) {
    const QString typed = QString::fromUtf8("周末山行，Mountain Weekend ,  ,hike\n\u3000Hike \nhike");
    EXPECT_EQ(parseAliases(typed), (std::vector<std::string>{"周末山行", "Mountain Weekend", "hike", "Hike", "hike"}));
    EXPECT_TRUE(parseAliases(QStringLiteral(" , \n")).empty());
    EXPECT_TRUE(parseAliases(QString()).empty());
}

TEST(ProjectRulesLogic, TheNameIsTrimmedAndCutToSeventyCharacters) {
    EXPECT_EQ(savedName(QStringLiteral("  Spring  \n")), "Spring");
    QString long_;
    for (int i = 0; i < 75; ++i) long_ += QString::fromUtf8("山");
    EXPECT_EQ(QString::fromStdString(savedName(long_)).size(), 70);
    // A flag is one character of two code points each.
    QString flags;
    for (int i = 0; i < 71; ++i) flags += QString::fromUtf8("🇨🇳");
    EXPECT_EQ(QString::fromStdString(savedName(flags)), flags.left(280));
    EXPECT_FALSE(canSaveNameAndAliases(QStringLiteral(" \t\n"), false, false));
    EXPECT_TRUE(canSaveNameAndAliases(QStringLiteral("x"), false, false));
    EXPECT_FALSE(canSaveNameAndAliases(QStringLiteral("x"), true, false));
    EXPECT_FALSE(canSaveNameAndAliases(QStringLiteral("x"), false, true));
}

TEST(ProjectRulesLogic, OnlyFieldsEditedSinceOpeningAreSaved) {
    const QString name = QStringLiteral(" Harbor "), aliases = QStringLiteral("a, b");
    EXPECT_TRUE(nameAndAliasesChange(name, name, aliases, aliases).empty());
    const NameAndAliasesChange renamed = nameAndAliasesChange(name, QStringLiteral("Harbor 2 "), aliases, aliases);
    EXPECT_EQ(renamed.name, "Harbor 2");
    EXPECT_FALSE(renamed.keywords);
    const NameAndAliasesChange cleared = nameAndAliasesChange(name, name, aliases, QString());
    EXPECT_FALSE(cleared.name);
    EXPECT_EQ(cleared.keywords, std::vector<std::string>{});
}
