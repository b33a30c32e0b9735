// Every control a person can reach in the main window, each sheet and the settings window has a
// name that assistive technology reads out; sheets take the keyboard when they open and Escape
// closes them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "App/Support/SheetFixture.hpp"
#include "Sorvik/Views/Settings/SettingsView.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::AppSheet;

namespace {

bool interactive(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

/// A path of object names and classes, to find a widget the test names.
QString describe(const QWidget* widget) {
    QStringList parts;
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        parts.prepend(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
        if (w->isWindow()) break;
    }
    return parts.join(QLatin1Char('/'));
}

/// The controls shown in `window` that a screen reader would read without a name.
QStringList unnamed(const QWidget* window) {
    QStringList out;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // A scroll bar of a scrolling area is named by the area; a combo box's list by the combo box.
        if (!widget->isVisibleTo(window) || !interactive(widget) || widget->focusPolicy() == Qt::NoFocus) continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            out << describe(widget) + QStringLiteral(" (") + QString::fromLatin1(widget->metaObject()->className()) +
                       QLatin1Char(')');
    }
    return out;
}

class Accessibility : public MediaSuite {
protected:
    static void SetUpTestSuite() {
        makeMedia("vips gaussnoise cover.png 480 600 && vips copy cover.png cover.jpg && printf 'Comet' > notes.txt");
    }
};

}  // namespace

TEST_F(Accessibility, EveryControlOfEveryWindowAndSheetHasAName) {
    TempDir originals;
    SheetFixture f({copyMedia("cover.jpg", originals), copyMedia("notes.txt", originals)}, DeliveryTemplate::flexible(),
                   [](DeliveryFile& file) {
                       if (file.name.ends_with(".jpg")) file.role = FileRole::cover;
                   });
    app::AppStore& store = f.store();
    ASSERT_TRUE(store.selected());
    for (const char* language : {"en", "zh-Hans"}) {
        SCOPED_TRACE(language);
        store.preferences().setLanguage(QString::fromUtf8(language));
        store.setSheet(std::nullopt);
        // The three pages.
        for (const auto& show :
             std::vector<std::function<void()>>{[&] { store.showProjects(); }, [&] { store.showInbox(); },
                                                [&] { store.select(store.deliveries().front().id); }}) {
            show();
            QApplication::processEvents();
            EXPECT_EQ(unnamed(f.view.get()).join(QLatin1Char('\n')).toStdString(), "");
        }
        for (const AppSheet& sheet :
             {AppSheet::sources(), AppSheet::delivery(), AppSheet::projectRules(), AppSheet::rename(),
              AppSheet::templ(), AppSheet::history(), AppSheet::file(f.files[0].id), AppSheet::file(f.files[1].id),
              AppSheet::crop(f.files[0].id)}) {
            SCOPED_TRACE(sheet.identifier());
            store.setSheet(sheet);
            QApplication::processEvents();
            app::SheetDialog* dialog = f.view->sheetDialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(unnamed(dialog).join(QLatin1Char('\n')).toStdString(), "");
            // The sheet has the keyboard: Escape reaches it and closes it.
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog, Qt::Key_Escape);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !store.sheet(); }, 2000));
        }
        app::SettingsView settings(store, {});
        settings.show();
        QApplication::processEvents();
        EXPECT_EQ(unnamed(&settings).join(QLatin1Char('\n')).toStdString(), "");
    }
}
