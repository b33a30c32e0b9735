// The desktop seams: revealing an item asks the file manager over D-Bus (a private session bus
// with a stand-in file manager here) and never waits for it; opening goes through xdg-open, whose
// failure is told; the question before quitting unsaved.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "Sorvik/App/QtPlatform.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;
using namespace sorvik::test;

namespace {

/// Answers ShowItems like a file manager and remembers what it was asked to show.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

}  // namespace

TEST(Platform, RevealAsksTheFileManagerForTheItemsURI) {
    const ProcessResult bus = runProcess("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"});
    ASSERT_EQ(bus.status, 0) << bus.err;
    const auto lines = QString::fromStdString(bus.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    const QString address = lines[0].trimmed();
    const pid_t pid = lines[1].trimmed().toInt();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    {
        QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("file-manager"));
        ASSERT_TRUE(connection.isConnected());
        FileManager manager;
        ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.FileManager1")));

        TempDir dir;
        const std::filesystem::path item = dir / "交付 包";
        writeFile(item, "x");
        app::QtPlatform platform;
        bool unopened = false;
        platform.reveal(item, [&] { unopened = true; });
        // Asked without waiting: the call returns before the file manager has answered.
        EXPECT_TRUE(manager.shown.isEmpty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }, 10000));
        EXPECT_EQ(manager.shown.front(), QUrl::fromLocalFile(app::pathText(item)).toString(QUrl::FullyEncoded));
        EXPECT_FALSE(unopened);
        QDBusConnection::disconnectFromBus(QStringLiteral("file-manager"));
    }
    ::kill(pid, SIGTERM);
}

TEST(Platform, CopiedTextIsOnTheClipboardAndPathsRoundTrip) {
    app::QtPlatform platform;
    platform.copyText("Sorvik项目：x\nproject_id: y");
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("Sorvik项目：x\nproject_id: y"));
    const std::filesystem::path named("/tmp/交付 包/it's ~ name.mp4");
    EXPECT_EQ(app::pathFromText(app::pathText(named)), named);
}

TEST(Platform, OpeningTellsWhenXdgOpenFails) {
    // A stand-in xdg-open: it notes what it was given and fails for names with "nowhere" in them.
    TempDir bin;
    const std::filesystem::path log = bin / "opened";
    writeFile(bin / "xdg-open",
              "#!/bin/sh\necho \"$1\" >> '" + log.string() + "'\ncase \"$1\" in *nowhere*) exit 3 ;; esac\nexit 0\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.path().string()) + ":" + path);
    TempDir dir;
    app::QtPlatform platform;
    bool openedFailed = false;
    bool nowhereFailed = false;
    platform.open(dir / "交付 包", [&] { openedFailed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(log); }, 10000));
    platform.open(dir / "nowhere", [&] { nowhereFailed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return nowhereFailed; }, 10000));
    EXPECT_FALSE(openedFailed);
    const std::string seen = readFile(log);
    EXPECT_NE(seen.find(QUrl::fromLocalFile(app::pathText(dir / "交付 包")).toString(QUrl::FullyEncoded).toStdString()),
              std::string::npos)
        << seen;
    // No xdg-open at all and nothing else that opens it: told too.
    qputenv("PATH", QByteArray::fromStdString(bin.path().string()));
    std::filesystem::remove(bin / "xdg-open");
    bool missingFailed = false;
    platform.open(dir / "交付 包", [&] { missingFailed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return missingFailed; }, 10000));
    qputenv("PATH", path);
}

#include "WidgetPlatformTests.moc"

TEST(Platform, TheQuestionAtQuitDropsChangesOnlyWhenToldTo) {
    app::QtPlatform platform;
    const app::UnsavedQuitRequest request{
        "/lib",  "Changes not saved",  "Changes to the library “/lib” are not saved.", "No space left on device",
        "Retry", "Quit without saving"};
    // Answers the box once it is open: by the button with `label`, or by Escape without one.
    auto answer = [&](const QString& label) {
        QMessageBox* seen = nullptr;
        QTimer::singleShot(0, [&] {
            seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!seen) return;
            for (QAbstractButton* button : seen->buttons()) {
                if (button->text() == label) return button->click();
            }
            QTest::keyClick(seen, Qt::Key_Escape);
        });
        const app::UnsavedQuitChoice choice = platform.askUnsavedQuit(request);
        EXPECT_NE(seen, nullptr);
        return choice;
    };
    EXPECT_EQ(answer("Quit without saving"), app::UnsavedQuitChoice::quitWithoutSaving);
    EXPECT_EQ(answer("Retry"), app::UnsavedQuitChoice::retry);
    EXPECT_EQ(answer({}), app::UnsavedQuitChoice::retry);
}
