// Sheets and the main window on a screen smaller than they were drawn for (the test screen
// "Small", 1093 by 577 at x 1920): a sheet whose layout gives way is made smaller, one that cannot
// scrolls in a frame cut to the screen, and both are drawn as they were on the large screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Views/Kit/SheetDialog.hpp"

using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

const QPoint onSmallScreen(1930, 0);

/// Content drawn at a fixed size: a header of `rigidHeight` over a list that scrolls.
QWidget* sheetContent(QSize size, int rigidHeight) {
    auto* content = new QWidget;
    content->setFixedSize(size);
    auto* layout = new QVBoxLayout(content);
    auto* header = new QLabel(QStringLiteral("Header"), content);
    header->setFixedHeight(rigidHeight);
    layout->addWidget(header);
    layout->addWidget(new QListView(content), 1);
    return content;
}

void settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

/// A window on the small screen or the large one.
struct Parent {
    QWidget window;
    explicit Parent(bool small) {
        window.setGeometry(QRect(small ? onSmallScreen : QPoint(0, 0), QSize(900, 500)));
        window.show();
        settle();
    }
};

/// The room inside the frame the offscreen platform gives a window on the small screen.
QSize smallRoom() {
    Parent small(true);
    EXPECT_EQ(small.window.screen()->availableGeometry().size(), QSize(1093, 577));
    const QSize room = roomOnScreen(&small.window).value_or(QSize());
    EXPECT_GT(room.height(), 500);
    return room;
}

}  // namespace

TEST(SheetFit, ASheetWhoseListGivesWayIsMadeSmallerAndIsDrawnAsItWasOnALargeScreen) {
    for (const bool small : {true, false}) {
        Parent parent(small);
        SheetDialog dialog(&parent.window, sheetContent(QSize(980, 720), 100), [] {});
        dialog.show();
        settle();
        const QSize expected = small ? QSize(980, smallRoom().height()) : QSize(980, 720);
        EXPECT_EQ(dialog.scrollFrame(), nullptr) << small;
        EXPECT_EQ(dialog.content()->size(), expected) << small;
        EXPECT_EQ(dialog.size(), expected) << small;
    }
}

TEST(SheetFit, ARigidSheetScrollsInAFrameCutToTheScreenAndLeavesItOnALargerOne) {
    Parent small(true), large(false);
    SheetDialog dialog(&small.window, sheetContent(QSize(650, 720), 690), [] {});
    dialog.show();
    settle();
    QScrollArea* frame = dialog.scrollFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->widget(), dialog.content());
    EXPECT_EQ(dialog.content()->size(), QSize(650, 720));  // drawn as it was, scrolled
    EXPECT_EQ(dialog.height(), smallRoom().height());
    EXPECT_GE(frame->viewport()->width(), 650);  // only the height scrolls
    EXPECT_EQ(frame->verticalScrollBar()->maximum(), 720 - frame->viewport()->height());
    EXPECT_GT(frame->verticalScrollBar()->maximum(), 0);
    // Shown again over a window on a large screen, it leaves the frame.
    dialog.hide();
    dialog.setParent(&large.window, dialog.windowFlags());
    dialog.show();
    settle();
    EXPECT_EQ(dialog.scrollFrame(), nullptr);
    EXPECT_EQ(dialog.content()->parentWidget(), &dialog);
    EXPECT_TRUE(dialog.content()->isVisible());
    EXPECT_EQ(dialog.size(), QSize(650, 720));
}

TEST(SheetFit, TheMainWindowOpensWithinASmallScreenAndFollowsItToALargeOne) {
    TempDir library;
    StoreHarness harness(library.path());
    MainWindow window(harness.store());
    window.move(onSmallScreen);
    window.show();
    settle();
    EXPECT_EQ(window.size(), smallRoom());
    EXPECT_EQ(window.minimumSize(), QSize(980, smallRoom().height()));
    window.move(0, 0);
    settle();
    EXPECT_EQ(window.minimumSize(), QSize(980, 660));
    EXPECT_GE(window.height(), 660);
}
