// The test program's main: a Qt application object for the store's queued calls, offscreen
// for widget tests.
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("SorvikTests"));
    return RUN_ALL_TESTS();
}
