// The test program's main: a Qt application object for the store's queued calls, offscreen
// for widget tests: on a screen large enough for every window and sheet as drawn, beside a small
// one (1093 by 577 at x 1920) for the tests of windows on small screens.
#include <gtest/gtest.h>

#include <QtGlobal>
#ifdef SORVIK_WIDGET_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" SORVIK_TEST_SCREEN_CONFIG);
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("SorvikTests"));
    return RUN_ALL_TESTS();
}
