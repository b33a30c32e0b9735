// Quitting the real app while the library's disk holds every write: the window keeps answering
// while the quit waits, the question comes as before, and a signal (a logout) while it is open
// ends the app without a second one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "Sorvik/App/SorvikApp.hpp"
#include "Support/FuseMount.hpp"

using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

class NoTrayPlatform : public QtPlatform {
public:
    bool hasSystemTray() override { return false; }
};

}  // namespace

TEST(QuitOnAStalledLibrary, TheWindowAnswersAndASignalEndsTheOpenQuestion) {
    FuseMount disk(FuseMount::Hold::writes);
    if (!disk.skipReason().empty()) GTEST_SKIP() << disk.skipReason();
    auto storage = std::make_unique<MemoryPreferenceStorage>();
    storage->setString(Preferences::languageKey, "en");
    SorvikApp app(*qApp, LibraryChoice{disk.path(), {}}, std::move(storage), AppLocations{},
                  std::make_unique<NoTrayPlatform>());
    app.showMainWindow();
    QApplication::processEvents();
    app.store().savePreset(DeliveryTemplate::video());  // its write never ends

    // The longest time the GUI thread did not answer, until the question opens.
    QElapsedTimer sinceBeat;
    qint64 longest = 0;
    bool asked = false;
    QElapsedTimer sinceSignal;
    QTimer beat;
    beat.setInterval(10);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        if (!asked) longest = std::max(longest, sinceBeat.restart());
        if (!asked && qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = true;
            sinceSignal.start();
            app.quitOnSignal();  // what SIGTERM or SIGHUP calls
        }
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    deadline.start(30000);
    sinceBeat.start();
    beat.start();
    QTimer::singleShot(0, &app, &SorvikApp::quit);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    deadline.stop();
    beat.stop();
    EXPECT_TRUE(asked) << "the question never opened";
    EXPECT_TRUE(app.isQuitting());
    EXPECT_LT(longest, 250);
    // The shutdown tried to write for its bounded time, then the app ended.
    EXPECT_LT(sinceSignal.elapsed(), 8000);
    std::printf("longest GUI stall while quitting on a stalled library: %lld ms; ended %lld ms after the signal\n",
                static_cast<long long>(longest), static_cast<long long>(sinceSignal.elapsed()));
}
