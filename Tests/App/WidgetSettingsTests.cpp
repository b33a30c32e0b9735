// The settings window and the single-instance lock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/App/SingleInstance.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Settings/SettingsView.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using namespace sorvik::app;

namespace {

QStringList labelTexts(const QWidget& widget) {
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>()) texts << label->text();
    return texts;
}

}  // namespace

TEST(Settings, AFreshInstallShowsSystemDefaultsAndTheLanguageRedrawsTheWindow) {
    TempDir library;
    StoreHarness h(library.path());
    SettingsView view(h.store(), {});
    const auto combos = view.findChildren<QComboBox*>();
    ASSERT_EQ(combos.size(), 2);
    EXPECT_EQ(combos[0]->currentIndex(), 0);  // language: follows the system
    EXPECT_EQ(combos[1]->currentIndex(), 0);  // appearance: follows the system
    EXPECT_FALSE(view.revealSwitch()->isChecked());
    combos[0]->setCurrentIndex(1);
    emit combos[0]->activated(1);
    EXPECT_EQ(h.preferences().language(), "zh-Hans");
    EXPECT_TRUE(labelTexts(view).contains(QString::fromUtf8("外观")));
    // Choosing English through the picker redraws the window itself.
    combos[0]->setCurrentIndex(2);
    emit combos[0]->activated(2);
    EXPECT_EQ(h.preferences().language(), "en");
    EXPECT_TRUE(labelTexts(view).contains("Appearance"));
    EXPECT_TRUE(labelTexts(view).contains("Sorvik 0.1.0") || labelTexts(view).join(" ").contains("Sorvik "));
    view.revealSwitch()->click();
    EXPECT_TRUE(h.preferences().revealAfterExport());
}

TEST(Settings, TheSampleButtonIsOffWhileBusyAndTheLibraryButtonOpensTheFolder) {
    TempDir library, source;
    StoreHarness h(library.path());
    SettingsView view(h.store(), {});
    EXPECT_TRUE(view.sampleButton()->isEnabled());
    h.store().connectFolders({source.path()});
    ASSERT_TRUE(h.store().isBusy());
    EXPECT_FALSE(view.sampleButton()->isEnabled());
    EXPECT_TRUE(view.openLibraryButton()->isEnabled());
    view.openLibraryButton()->click();
    ASSERT_EQ(h.platform().opened.size(), 1u);
    EXPECT_EQ(h.platform().opened[0], library.path());
    h.settle();
    EXPECT_TRUE(view.sampleButton()->isEnabled());
}

TEST(SingleInstance, ASecondLaunchAsksTheFirstToShowItself) {
    TempDir library;
    SingleInstance first(library / "lib");
    ASSERT_EQ(first.acquire(), SingleInstance::Outcome::first);
    QSignalSpy shown(&first, &SingleInstance::activationRequested);
    SingleInstance second(library / "lib");
    EXPECT_EQ(second.acquire(), SingleInstance::Outcome::shown);
    EXPECT_TRUE(shown.wait(5000));
}

TEST(SingleInstance, ALockHeldBySomeoneWhoDoesNotAnswerRefusesAndAKilledHolderLeavesNone) {
    TempDir library;
    fs::create_directories(library / "lib");
    const fs::path lock = library / "lib";
    // Another process holds the lock on the folder and answers nobody.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(lock.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        (void)::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    SingleInstance blocked(library / "lib");
    EXPECT_EQ(blocked.acquire(), SingleInstance::Outcome::refused);
    // Killed: the kernel drops its lock.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    SingleInstance next(library / "lib");
    EXPECT_EQ(next.acquire(), SingleInstance::Outcome::first);
}
