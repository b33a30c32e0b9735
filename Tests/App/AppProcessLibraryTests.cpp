// The real sorvik program on libraries that do not answer or that another holds: a window comes,
// and a signal ends the app at once, whatever box is open.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "Support/FuseMount.hpp"
#include "Support/TestSupport.hpp"
#include "SorvikCore/FileSystem.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

constexpr int deadline = 15000;

/// One run of the app on a library with its own home folder, killed if the test leaves it running.
class Launch {
public:
    Launch(const fs::path& library, const fs::path& home) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", QString::fromStdString(home.string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(home.string()));
        environment.insert("LANG", "C.UTF-8");
        environment.remove("SORVIK_DATA_DIR");
        // Threads stay stuck on the mount: the leak check at exit would wait for them for ever.
        const QString asan = environment.value("ASAN_OPTIONS");
        if (!asan.isEmpty()) environment.insert("ASAN_OPTIONS", asan + ":detect_leaks=0");
        process_.setProcessEnvironment(environment);
        clock_.start();
        process_.start(QStringLiteral(SORVIK_APP_PATH), {"--data-dir", QString::fromStdString(library.string())});
    }
    ~Launch() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(deadline);
        }
    }
    /// Waits until the app said one of `texts` on its error output (in either language); the
    /// time since the launch, or -1.
    qint64 waitToSay(std::initializer_list<QByteArray> texts) {
        const auto saidOne = [&] {
            return std::any_of(texts.begin(), texts.end(),
                               [&](const QByteArray& text) { return said_.contains(text); });
        };
        [[maybe_unused]] const bool ended = QTest::qWaitFor(
            [&] {
                said_ += process_.readAllStandardError();
                return saidOne() || process_.state() == QProcess::NotRunning;
            },
            deadline);
        return saidOne() ? clock_.elapsed() : -1;
    }
    /// Sends `signal`; the time the app took to end, or -1 when it runs on after `limit` ms.
    qint64 endOn(int signal, int limit) {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(process_.processId()), signal);
        return process_.waitForFinished(limit) ? clock.elapsed() : -1;
    }
    QProcess& process() { return process_; }
    const QByteArray& said() const { return said_; }

private:
    QProcess process_;
    QElapsedTimer clock_;
    QByteArray said_;
};

}  // namespace

TEST(AppLibrary, ALibraryThatDoesNotAnswerGetsAWindowAndQuitsAtOnce) {
    FuseMount dead(FuseMount::Hold::everything);
    if (!dead.skipReason().empty()) GTEST_SKIP() << dead.skipReason();
    TempDir home;
    Launch app(dead.path(), home.path());
    // Said as the window is built: the library does not answer, and where it is.
    const qint64 shown = app.waitToSay({"does not respond", "没有响应"});
    ASSERT_GE(shown, 0) << app.said().toStdString();
    EXPECT_TRUE(app.said().contains(QByteArray::fromStdString(dead.path().string()))) << app.said().toStdString();
    ASSERT_EQ(app.process().state(), QProcess::Running);
    EXPECT_LT(shown, 6000);
    const qint64 ended = app.endOn(SIGTERM, 3000);
    ASSERT_GE(ended, 0) << "SIGTERM did not end the app";
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 0);
    std::printf("time to a window on a library that does not answer: %lld ms; SIGTERM ended it in %lld ms\n",
                static_cast<long long>(shown), static_cast<long long>(ended));
}

TEST(AppLibrary, TheAlreadyInUseBoxEndsOnTheFirstSignal) {
    TempDir folder, home;
    const fs::path library = folder / "lib";
    fs::create_directories(library);
    // Held by a holder that never answers the second launch.
    const files::FileDescriptor held(::open(library.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);
    Launch app(library, home.path());
    ASSERT_GE(app.waitToSay({"already using this library", "已在使用这个资料库"}), 0) << app.said().toStdString();
    ASSERT_EQ(app.process().state(), QProcess::Running);
    ASSERT_GE(app.endOn(SIGTERM, 2500), 0) << "the box swallowed SIGTERM";
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 1);
}
