// One writer per library, through the real `sorvik` program: whatever stands in the library folder,
// a second launch never runs beside the first, a library no lock can be had on is only read, and a
// library folder replaced under a running app is never written by it.
#include <gtest/gtest.h>

#include <csignal>
#include <grp.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QProcess>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "App/Support/LibrarySupport.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

constexpr int deadline = 15000;

/// Whether the process holds a whole-file lock, as the kernel lists them.
bool holdsLock(qint64 pid) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, mode, holder;
        fields >> number >> kind >> advisory >> mode >> holder;
        if (kind == "FLOCK" && holder == std::to_string(pid)) return true;
    }
    return false;
}

/// One run of the app on a library, with its own home folder, ended with the test.
class Launch {
public:
    Launch(const fs::path& library, const fs::path& home, std::function<void()> inChild = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", QString::fromStdString(home.string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
        environment.insert("LANG", "C.UTF-8");
        environment.remove("SORVIK_DATA_DIR");
        process_.setProcessEnvironment(environment);
        if (inChild) process_.setChildProcessModifier(std::move(inChild));
        process_.start(QStringLiteral(SORVIK_APP_PATH), {"--data-dir", QString::fromStdString(library.string())});
    }
    ~Launch() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(deadline);
        }
    }
    QProcess& process() { return process_; }
    bool running() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

/// A 1 MiB tmpfs over a temporary folder, for a library on a read-only file system.
struct SmallDisk {
    TempDir dir;
    bool mounted = ::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=1m") == 0;
    ~SmallDisk() {
        if (mounted) ::umount2(dir.path().c_str(), MNT_DETACH);
    }
};

/// A first app on `library`; after `meanwhile`, a second launch must leave at once, the first
/// still running.
void expectOneInstance(const fs::path& library, const std::function<void()>& meanwhile = {}) {
    TempDir home;
    Launch first(library, home.path());
    ASSERT_TRUE(first.process().waitForStarted(deadline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return holdsLock(first.process().processId()) || !first.running(); }, deadline));
    ASSERT_TRUE(first.running()) << first.process().readAllStandardError().toStdString();
    if (meanwhile) meanwhile();
    Launch second(library, home.path());
    ASSERT_TRUE(second.process().waitForFinished(deadline)) << "a second app runs on the library";
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    // Asked the first to show itself and left.
    EXPECT_EQ(second.process().exitCode(), 0) << second.process().readAllStandardError().toStdString();
    EXPECT_TRUE(first.running());
}

}  // namespace

TEST(AppLock, AForeignUnwritableLockFileKeepsNoSecondAppOut) {
    TempDir folder;
    const fs::path library = folder / "lib";
    writeFile(library / ".sorvik.lock", "");
    // As after one run as another user; root opens it anyway, so a folder stands beside it too.
    ASSERT_EQ(::chown((library / ".sorvik.lock").c_str(), 65534, 65534), 0);
    fs::permissions(library / ".sorvik.lock", fs::perms::none);
    expectOneInstance(library);
    fs::remove(library / ".sorvik.lock");
    fs::create_directory(library / ".sorvik.lock");
    expectOneInstance(library);
    EXPECT_TRUE(fs::is_directory(library / ".sorvik.lock"));
}

TEST(AppLock, ALinkInPlaceOfTheLockIsNeitherFollowedNorTrusted) {
    TempDir folder, outside;
    const fs::path library = folder / "lib";
    fs::create_directories(library);
    writeFile(outside / "keep.txt", "keep");
    fs::create_symlink(outside / "keep.txt", library / ".sorvik.lock");
    expectOneInstance(library);
    EXPECT_TRUE(fs::is_symlink(library / ".sorvik.lock"));
    EXPECT_EQ(readFile(outside / "keep.txt"), "keep");
}

TEST(AppLock, TheLockFileDeletedWhileTheFirstRunsChangesNothing) {
    TempDir folder;
    const fs::path library = folder / "lib";
    writeFile(library / ".sorvik.lock", "");
    expectOneInstance(library, [&] {
        // A cleanup tool or a sync client takes the file away, another puts a folder there.
        fs::remove(library / ".sorvik.lock");
        fs::create_directory(library / ".sorvik.lock");
    });
}

TEST(AppLock, AReadOnlyLibraryStillHasOneApp) {
    SmallDisk disk;
    if (!disk.mounted) GTEST_SKIP() << "a read-only file system needs root to mount: " << std::strerror(errno);
    const fs::path library = disk.dir / "lib";
    writeLibrary(library, libraryOf({projectNamed("Harbor Launch")}, {}));
    ASSERT_EQ(::mount(nullptr, disk.dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0)
        << std::strerror(errno);
    expectOneInstance(library);
}

TEST(AppLock, ALibraryNoLockCanBeHadOnIsOpenedOnlyToRead) {
    // A library folder this user may enter but not open: no lock on it can be taken.
    TempDir folder, home;
    const fs::path library = folder / "lib";
    writeLibrary(library, libraryOf({projectNamed("Harbor Launch")}, {}));
    const std::string before = readFile(library / "workspace.json");
    std::function<void()> asOtherUser;
    if (::geteuid() == 0) {
        // Root opens any folder: the app runs as nobody on a library of root's.
        fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
        fs::permissions(library, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
        fs::permissions(library / "workspace.json", fs::perms::owner_all | fs::perms::others_read);
        fs::permissions(home.path(), fs::perms::all);
        asOtherUser = [] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        };
    } else {
        fs::permissions(library, fs::perms::owner_write | fs::perms::owner_exec);
    }
    Launch app(library, home.path(), asOtherUser);
    ASSERT_TRUE(app.process().waitForStarted(deadline));
    QByteArray said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            said += app.process().readAllStandardError();
            return said.contains(QByteArray::fromStdString(library.string())) || !app.running();
        },
        deadline));
    ASSERT_TRUE(app.running()) << "exit " << app.process().exitCode() << ": " << said.toStdString();
    EXPECT_TRUE(said.contains("Permission denied")) << said.toStdString();
    EXPECT_FALSE(holdsLock(app.process().processId()));
    fs::permissions(library, fs::perms::owner_all);
    EXPECT_EQ(readFile(library / "workspace.json"), before);
}

TEST(AppLock, AnAppWhoseLibraryFolderWasReplacedNeverWritesTheNewOne) {
    // App A runs; the folder is moved away and made again with a copy of the library (a restore,
    // a sync tool); app B starts on it and saves. A's next save must not land in B's folder.
    TempDir folder, home, source;
    const fs::path library = folder / "lib";
    writeFile(source / "Harbor Launch cover.txt", "cover");
    WorkspaceState state = libraryOf({projectNamed("Harbor Launch")}, {});
    state.sources.push_back(SourceFolder::make(source.path()));
    writeLibrary(library, state);
    const auto scanned = [](const fs::path& root) {
        return fs::exists(root / "workspace.json") && Repository(root).loadWorkspace().lastScan.has_value();
    };
    Launch first(library, home.path());
    ASSERT_TRUE(first.process().waitForStarted(deadline));
    // Its scan at start has saved.
    ASSERT_TRUE(QTest::qWaitFor([&] { return scanned(library) || !first.running(); }, deadline));
    ASSERT_TRUE(first.running()) << first.process().readAllStandardError().toStdString();

    fs::rename(library, folder / "lib.old");
    fs::create_directory(library);
    writeLibrary(library, state);  // the copy restored, as it was before the first scan
    TempDir otherHome;
    Launch second(library, otherHome.path());
    ASSERT_TRUE(second.process().waitForStarted(deadline));
    ASSERT_TRUE(QTest::qWaitFor([&] { return scanned(library) || !second.running(); }, deadline));
    ASSERT_TRUE(second.running()) << second.process().readAllStandardError().toStdString();
    const std::string written = readFile(library / "workspace.json");
    // The second app keeps its folder but is held still: its own timer saves cannot change the
    // file meanwhile, so any change is the first app's.
    const auto secondPid = static_cast<pid_t>(second.process().processId());
    ASSERT_EQ(::kill(secondPid, SIGSTOP), 0);

    // The first app's next timer scan saves, or tries to.
    QByteArray said;
    const QByteArray expected = QByteArray::fromStdString(library.string());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            said += first.process().readAllStandardError();
            return said.contains(expected) || !first.running();
        },
        90000))
        << said.toStdString();
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(said.contains("moved or replaced") || said.contains("已被移走或替换")) << said.toStdString();
    EXPECT_EQ(readFile(library / "workspace.json"), written);
    ASSERT_EQ(::kill(secondPid, SIGCONT), 0);
    EXPECT_TRUE(second.running());
}
