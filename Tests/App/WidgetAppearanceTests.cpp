// The appearance on the offscreen platform: a live switch reaches every text, every text reads
// against what is really painted behind it, and "system" gives back the platform's palette.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <map>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/WidgetsStyle.hpp"
#include "Sorvik/Views/Settings/SettingsView.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

/// The colour most of the label's own pixels have in the window's picture: what it is drawn on.
QColor backgroundBehind(const QLabel& label, const QImage& picture, const QWidget& window) {
    const QRect area = QRect(label.mapTo(&window, QPoint(0, 0)), label.size()).intersected(picture.rect());
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) ++counts[picture.pixel(x, y) | 0xff000000u];
    }
    QRgb most = 0;
    int best = -1;
    for (const auto& [colour, count] : counts) {
        if (count > best) best = count, most = colour;
    }
    return QColor::fromRgb(most);
}

/// Every visible label with text in the window whose contrast falls short, with its ratio.
QStringList unreadableLabels(QWidget& window) {
    QApplication::processEvents();
    const QImage picture = window.grab().toImage();
    QStringList faults;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().trimmed().isEmpty() || label->visibleRegion().isEmpty()) continue;
        const QFont font = label->font();
        const bool large = font.pixelSize() >= 24 || (font.pixelSize() >= 19 && font.weight() >= QFont::DemiBold);
        const QColor text = label->palette().color(QPalette::Active, label->foregroundRole());
        const double ratio = Theme::contrastRatio(text, backgroundBehind(*label, picture, window));
        if (ratio < (large ? 3.0 : 4.5)) faults << QStringLiteral("\"%1\" %2").arg(label->text()).arg(ratio, 0, 'f', 2);
    }
    return faults;
}

struct AppFixture {
    TempDir library, resources;
    std::unique_ptr<SorvikApp> app;

    explicit AppFixture(const QString& appearance) {
        std::filesystem::copy(SORVIK_SAMPLE_DIR, resources / "RudidEdevov", std::filesystem::copy_options::recursive);
        auto storage = std::make_unique<MemoryPreferenceStorage>();
        storage->setString(Preferences::languageKey, QStringLiteral("en"));
        storage->setString(Preferences::appearanceKey, appearance);
        app = std::make_unique<SorvikApp>(*qApp, LibraryChoice{library.path(), {}}, std::move(storage),
                                          AppLocations{resources.path(), {}});
        app->showMainWindow();
        QApplication::processEvents();
    }
    AppFixture(const AppFixture&) = delete;
    ~AppFixture() { app.reset(); }
    void setAppearance(const QString& appearance) {
        app->store().preferences().setAppearance(appearance);
        QApplication::processEvents();
    }
};

}  // namespace

TEST(Appearance, ContrastRatioIsTheWcagOneAndBlendsTranslucentText) {
    EXPECT_DOUBLE_EQ(Theme::contrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(Theme::contrastRatio(Qt::white, Qt::black), 21.0);
    EXPECT_DOUBLE_EQ(Theme::contrastRatio(QColor(0x33, 0x66, 0x99), QColor(0x33, 0x66, 0x99)), 1.0);
    // #767676 is the lightest grey that still reads on white; #777777 just fails.
    EXPECT_GE(Theme::contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.5);
    EXPECT_LT(Theme::contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.5);
    // Black at half strength on white is the mid grey it blends to, not black.
    EXPECT_NEAR(Theme::contrastRatio(QColor(0, 0, 0, 128), Qt::white),
                Theme::contrastRatio(QColor(127, 127, 127), Qt::white), 0.05);
    EXPECT_DOUBLE_EQ(Theme::contrastRatio(QColor(0, 0, 0, 0), Qt::white), 1.0);
}

TEST(Appearance, TextTonesReadOnTheWindowAndTheSurfaceOfBothAppearances) {
    for (const QString& appearance : {QStringLiteral("light"), QStringLiteral("dark")}) {
        const QPalette palette = Theme::palette(appearance);
        EXPECT_EQ(Theme::isDark(palette), appearance == QLatin1String("dark"));
        for (const QColor& background : {palette.color(QPalette::Window), Theme::surface(palette)}) {
            for (Tone tone : {Tone::primary, Tone::secondary, Tone::tertiary, Tone::green}) {
                EXPECT_GE(Theme::contrastRatio(toneColor(tone, palette), background), 4.5)
                    << appearance.toStdString() << " tone " << static_cast<int>(tone);
            }
        }
    }
}

TEST(Appearance, ALiveSwitchReachesEveryLabelAndSystemGivesBackThePlatformPalette) {
    const QPalette platform = QApplication::palette();
    AppFixture f(QStringLiteral("light"));
    AppStore& store = f.app->store();
    store.loadRudidEdevov();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store.isBusy(); }, 30000));
    ASSERT_FALSE(store.deliveries().empty());
    f.app->showSettings();
    QWidget* settings = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top != &f.app->mainWindow() && top->findChild<SettingsView*>()) settings = top;
    }
    ASSERT_TRUE(settings);
    QWidget& window = f.app->mainWindow();
    const auto readable = [&](const char* step) {
        for (QWidget* shown : {&window, settings}) {
            const QStringList faults = unreadableLabels(*shown);
            EXPECT_TRUE(faults.isEmpty()) << step << ": " << faults.join(QStringLiteral("; ")).toStdString();
        }
    };
    readable("light");
    const QColor lightText = f.app->mainWindow().findChild<ToneLabel*>()->palette().color(QPalette::WindowText);
    f.setAppearance(QStringLiteral("dark"));
    EXPECT_TRUE(Theme::isDark(QApplication::palette()));
    EXPECT_NE(f.app->mainWindow().findChild<ToneLabel*>()->palette().color(QPalette::WindowText), lightText);
    readable("dark");
    f.setAppearance(QStringLiteral("system"));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), platform.color(QPalette::Window));
    EXPECT_EQ(QApplication::palette().color(QPalette::WindowText), platform.color(QPalette::WindowText));
    readable("system");
    // The project page and the inbox, after a switch made while they were not built.
    f.setAppearance(QStringLiteral("dark"));
    store.select(store.deliveries().front().id);
    QApplication::processEvents();
    readable("dark, project page");
    store.showInbox();
    QApplication::processEvents();
    f.setAppearance(QStringLiteral("light"));
    readable("light, inbox");
}

TEST(Appearance, FocusRingsFollowTheKeyboardOnly) {
    AppFixture f(QStringLiteral("light"));
    ASSERT_TRUE(dynamic_cast<AppStyle*>(QApplication::style()));
    QWidget parent;
    auto* first = new StyledButton(StyledButton::Style::quiet, QStringLiteral("A"), &parent);
    auto* second = new StyledButton(StyledButton::Style::quiet, QStringLiteral("B"), &parent);
    second->move(0, 40);
    parent.show();
    parent.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
    QTest::mouseClick(first, Qt::LeftButton);
    first->setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(first->hasFocus());
    EXPECT_FALSE(hasKeyboardFocus(first));
    // A key press elsewhere does not turn the clicked control's ring on.
    QTest::keyClick(&parent, Qt::Key_Shift);
    EXPECT_FALSE(hasKeyboardFocus(first));
    QTest::keyClick(first, Qt::Key_Tab);
    EXPECT_TRUE(second->hasFocus());
    EXPECT_TRUE(hasKeyboardFocus(second));
    // A clicked control that hides hands focus on "by Tab": no ring for that either.
    QTest::mouseClick(first, Qt::LeftButton);
    first->setFocus(Qt::MouseFocusReason);
    first->hide();
    EXPECT_TRUE(second->hasFocus());
    EXPECT_FALSE(hasKeyboardFocus(second));
    first->show();
    QTest::keyClick(second, Qt::Key_Backtab);
    EXPECT_TRUE(first->hasFocus());
    EXPECT_TRUE(hasKeyboardFocus(first));
    QTest::keyClick(first, Qt::Key_Tab);
    // Focus coming back from a popup keeps the reason it had.
    second->clearFocus();
    second->setFocus(Qt::PopupFocusReason);
    EXPECT_TRUE(hasKeyboardFocus(second));
    first->setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(hasKeyboardFocus(first));
}
