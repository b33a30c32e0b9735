// The notice line and the status line of the library pages, read from a store.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Kit/Logic/WorkspaceNoticeLogic.hpp"

using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

TEST(WorkspaceNoticeLogic, UndoShowsForTheRemovalOfTheSelectedProjectAndWaitsWhileBusy) {
    TempDir library, folder;
    Delivery project = projectNamed("P");
    IndexedAsset asset = indexedAsset(originalAt("/o/a.png"), project.id);
    writeLibrary(library.path(), libraryOf({project}, {asset}));
    StoreHarness h(library.path());
    auto& store = h.store();
    EXPECT_FALSE(noticeLineState(store).shown);
    store.select(project.id);
    store.removeFile(store.selected()->files.front());
    NoticeLineState state = noticeLineState(store);
    EXPECT_TRUE(state.shown);
    EXPECT_EQ(state.text, "已从交付中移除“a.png”。原文件仍在。");
    EXPECT_TRUE(state.undoShown);
    EXPECT_TRUE(state.undoEnabled);
    store.connectFolders({folder.path()});
    EXPECT_TRUE(noticeLineState(store).undoShown);
    EXPECT_FALSE(noticeLineState(store).undoEnabled);
    ASSERT_TRUE(h.settle());
    // The scan's summary replaced the notice; undo is still offered with it.
    EXPECT_TRUE(noticeLineState(store).undoEnabled);
    store.clearNotice();
    EXPECT_EQ(noticeLineState(store), NoticeLineState{});
}

TEST(WorkspaceNoticeLogic, TheStatusLineTellsTheJobTheIntervalAndTheLastIndexTime) {
    TempDir library, folder;
    StoreHarness h(library.path());
    h.preferences().setLanguage("en");
    auto& store = h.store();
    StatusLineState state = statusLineState(store, 30.9, "en");
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.text, "Auto-update · Every 30s");
    EXPECT_FALSE(state.lastIndexed);
    store.connectFolders({folder.path()});
    state = statusLineState(store, 30, "en");
    EXPECT_TRUE(state.busy);
    EXPECT_EQ(state.text, "Connecting source folders…");
    ASSERT_TRUE(h.settle());
    store.setAutomaticScan(false);
    state = statusLineState(store, 30, "en");
    EXPECT_EQ(state.text, "Auto-update paused");
    ASSERT_TRUE(state.lastIndexed);
    EXPECT_TRUE(QString::fromStdString(*state.lastIndexed)
                    .contains(QRegularExpression(QStringLiteral("^Last indexed  \\d{1,2}:\\d\\d\u202F[AP]M$"))))
        << *state.lastIndexed;
    EXPECT_TRUE(QString::fromStdString(shortTimeOfDay(Date{800000000}, "zh-Hans"))
                    .contains(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d$"))));
}

TEST(WorkspaceNoticeLogic, InRecoveryModeTheStatusLineSaysWhyNothingIsSavedAfterTheAlertIsGone) {
    StoreHarness h(app::LibraryChoice{std::nullopt, "资料库位置为空"});
    h.preferences().setLanguage("en");
    ASSERT_TRUE(h.store().recoveryMode());
    ASSERT_TRUE(h.store().workspace().automaticScan);
    EXPECT_FALSE(h.store().isTimerScheduled());
    h.store().clearError();
    const StatusLineState state = statusLineState(h.store(), 30, "en");
    EXPECT_TRUE(state.warning);
    // The first line of the reason, in the interface language.
    EXPECT_TRUE(state.text.starts_with("Changes are not saved · Could not load the library: ")) << state.text;
    EXPECT_EQ(state.text.find('\n'), std::string::npos) << state.text;
}

TEST(WorkspaceNoticeLogic, TimesOfDayAreWrittenAsTheDateFormatterWritesThem) {
    const Date date = Date::fromUnix(1767225600 + 13 * 3600 + 5 * 60);
    // English: a narrow no-break space before AM or PM; Chinese: 24 hours, two digits.
    EXPECT_TRUE(QString::fromStdString(shortTimeOfDay(date, "en"))
                    .contains(QRegularExpression(QStringLiteral("^\\d{1,2}:05\u202F(AM|PM)$"))))
        << shortTimeOfDay(date, "en");
    EXPECT_TRUE(QString::fromStdString(shortTimeOfDay(date, "zh-Hans"))
                    .contains(QRegularExpression(QStringLiteral("^\\d\\d:05$"))))
        << shortTimeOfDay(date, "zh-Hans");
}
