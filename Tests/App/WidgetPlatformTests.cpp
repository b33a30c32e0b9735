// The desktop seams: revealing an item asks the file manager over D-Bus (a private session bus
// with a stand-in file manager here) and never waits for it; the question before quitting unsaved.
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
        platform.reveal(item);
        // Asked without waiting: the call returns before the file manager has answered.
        EXPECT_TRUE(manager.shown.isEmpty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }, 10000));
        EXPECT_EQ(manager.shown.front(), QUrl::fromLocalFile(app::pathText(item)).toString(QUrl::FullyEncoded));
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

#include "WidgetPlatformTests.moc"

TEST(Platform, TheQuestionAtQuitDropsChangesOnlyWhenToldTo) {
    app::QtPlatform platform;
    const app::UnsavedQuitRequest request{"/lib", "Changes not saved", "Changes to the library “/lib” are not saved.",
                                          "No space left on device", "Retry", "Quit without saving"};
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
