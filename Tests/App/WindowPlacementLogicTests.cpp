// The main window's place kept across launches: read back only while a screen still shows it.
#include <gtest/gtest.h>

#include "Sorvik/Views/Window/Logic/WindowPlacement.hpp"

using namespace sorvik::app;

TEST(WindowPlacementLogic, ASavedPlaceComesBackWhileAScreenShowsItsTitleBar) {
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const WindowPlacement normal{QRect(100, 80, 1180, 800), false};
    const WindowPlacement maximized{QRect(2000, 40, 1000, 700), true};
    EXPECT_EQ(restoredPlacement(placementText(normal), screens), normal);
    EXPECT_EQ(restoredPlacement(placementText(maximized), screens), maximized);
    // Partly off a screen's edge, with enough of the top left to grab it.
    const WindowPlacement hanging{QRect(-900, 500, 1180, 800), false};
    EXPECT_EQ(restoredPlacement(placementText(hanging), screens), hanging);
}

TEST(WindowPlacementLogic, APlaceNoScreenShowsOrThatDoesNotReadFallsBackToTheFirstPlace) {
    // The second screen is gone.
    EXPECT_EQ(restoredPlacement(QStringLiteral("2000,40,1000,700"), {QRect(0, 0, 1920, 1080)}), std::nullopt);
    // The title bar above the screen, or a sliver of it only.
    EXPECT_EQ(restoredPlacement(QStringLiteral("100,-300,1180,800"), {QRect(0, 0, 1920, 1080)}), std::nullopt);
    EXPECT_EQ(restoredPlacement(QStringLiteral("1880,100,1180,800"), {QRect(0, 0, 1920, 1080)}), std::nullopt);
    for (const char* text : {"", "1,2,3", "a,b,c,d", "1,2,0,5", "1,2,3,4,fullscreen", "1,2,3,4,maximized,x"})
        EXPECT_EQ(restoredPlacement(QString::fromLatin1(text), {QRect(0, 0, 1920, 1080)}), std::nullopt) << text;
}
