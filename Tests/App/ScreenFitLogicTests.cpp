// How a window and a sheet's content fit a screen smaller than they were drawn for.
#include <gtest/gtest.h>

#include "Sorvik/Views/Kit/Logic/ScreenFit.hpp"

using namespace sorvik::app;

TEST(ScreenFit, TheRoomIsTheFreeAreaLessTheFrameAndNeverNegative) {
    EXPECT_EQ(windowRoom(QRect(0, 27, 1366, 741), QMargins(1, 37, 1, 1)), QSize(1364, 703));
    EXPECT_EQ(windowRoom(QRect(0, 0, 20, 30), QMargins(15, 40, 15, 0)), QSize(0, 0));
}

TEST(ScreenFit, ContentScrollsOnlyAlongWhatIsCutAndMakesRoomForItsBars) {
    const int bar = 10;
    // Fits, even exactly: as drawn.
    EXPECT_EQ(fitIntoRoom(QSize(980, 720), QSize(1366, 741), bar), (FittedFrame{QSize(980, 720), false}));
    EXPECT_EQ(fitIntoRoom(QSize(980, 720), QSize(980, 720), bar), (FittedFrame{QSize(980, 720), false}));
    // Too high: cut to the room's height, and wider by the vertical bar.
    EXPECT_EQ(fitIntoRoom(QSize(650, 720), QSize(1093, 577), bar), (FittedFrame{QSize(660, 577), true}));
    // Too high, and the vertical bar no longer fits across: both axes scroll.
    EXPECT_EQ(fitIntoRoom(QSize(980, 720), QSize(985, 577), bar), (FittedFrame{QSize(985, 577), true}));
    // Too wide, and the horizontal bar then cuts the height as well.
    EXPECT_EQ(fitIntoRoom(QSize(980, 572), QSize(900, 577), bar), (FittedFrame{QSize(900, 577), true}));
    // Too wide only.
    EXPECT_EQ(fitIntoRoom(QSize(980, 400), QSize(900, 577), bar), (FittedFrame{QSize(900, 410), true}));
}
