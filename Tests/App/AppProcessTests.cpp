// The real sorvik program as a process: a signal quits it as the Quit command does, with the
// library saved, and it ends within seconds even while a thread is stuck on a mount that never
// answers.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

extern char** environ;

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto quitDeadline = std::chrono::seconds(6);

/// A running sorvik on `library`, killed if the test leaves it running.
class AppProcess {
public:
    /// `mayLeaveStuckThreads`: the process may end with a thread stuck in the kernel.
    AppProcess(const fs::path& library, const fs::path& home, bool mayLeaveStuckThreads = false) {
        std::vector<std::string> args{SORVIK_APP_PATH, "--data-dir", library.string()};
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string_view entry(*e);
            if (entry.starts_with("HOME=") || entry.starts_with("XDG_") || entry.starts_with("QT_QPA_PLATFORM="))
                continue;
            // The leak check at exit stops every thread with ptrace, which waits forever for one
            // stuck on a mount that never answers: under the sanitizer the process would never end.
            if (mayLeaveStuckThreads && entry.starts_with("ASAN_OPTIONS=")) {
                env.push_back(std::string(entry) + ":detect_leaks=0");
                continue;
            }
            env.emplace_back(entry);
        }
        env.push_back("QT_QPA_PLATFORM=offscreen");
        env.push_back("HOME=" + home.string());
        env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
        env.push_back("XDG_RUNTIME_DIR=" + home.string());
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = (home / "sorvik.log").string();
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) pid_ = -1;
    }
    ~AppProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

    /// The exit status once the process ends within `limit`; none when it is still running.
    std::optional<int> waitExit(std::chrono::milliseconds limit) {
        // A pidfd turns readable when the process ends.
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (pidfd < 0) return std::nullopt;
        pollfd ended{pidfd, POLLIN, 0};
        const int ready = ::poll(&ended, 1, static_cast<int>(limit.count()));
        ::close(pidfd);
        if (ready != 1) return std::nullopt;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    /// Whether one of the process's threads waits in the FUSE driver.
    bool threadInFuse() const {
        std::error_code ignored;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ignored)) {
            std::ifstream wchan(task.path() / "wchan");
            std::string where;
            std::getline(wchan, where);
            if (where.find("fuse") != std::string::npos) return true;
        }
        return false;
    }

private:
    pid_t pid_ = -1;
};

/// Polls `condition` until it holds or `limit` passes.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

/// The saved workspace, or none while it cannot be read.
std::optional<WorkspaceState> saved(const fs::path& library) {
    try {
        return Repository(library).loadWorkspace();
    } catch (...) {
        return std::nullopt;
    }
}

bool leftoverTemporaryFiles(const fs::path& library) {
    for (const auto& entry : fs::recursive_directory_iterator(library)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".sorvik-") && name.ends_with(".tmp")) return true;
    }
    return false;
}

/// A FUSE file system that is mounted and never served: every access waits for an answer until
/// the connection is closed, which aborts it.
class HungMount {
public:
    explicit HungMount(const fs::path& at) : at_(at) {
        fd_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fd_ < 0) {
            why_ = "/dev/fuse cannot be opened: " + std::string(std::strerror(errno));
            return;
        }
        const std::string options = "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0";
        if (::mount("hung", at.c_str(), "fuse.hung", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            why_ = "no FUSE mount (needs root): " + std::string(std::strerror(errno));
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HungMount() {
        if (fd_ < 0) return;
        ::close(fd_);  // aborts the connection: waiting calls fail
        ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return fd_ >= 0; }
    const std::string& why() const { return why_; }

private:
    fs::path at_;
    int fd_ = -1;
    std::string why_;
};

/// A library whose sources are `folders`, saved with automatic scanning on.
void makeLibrary(const fs::path& library, const std::vector<fs::path>& folders) {
    WorkspaceState state;
    for (const fs::path& folder : folders) state.sources.push_back(SourceFolder::make(folder));
    state.recognizeImageText = false;
    Repository(library).saveWorkspace(state);
}

}  // namespace

class AppSignals : public ::testing::TestWithParam<int> {};

TEST_P(AppSignals, QuitAsTheQuitCommandDoesWithTheLibrarySaved) {
    TempDir library, source, home;
    for (int i = 0; i < 5; ++i) writeFile(source / ("Comet Tour " + std::to_string(i) + ".txt"), "Comet Tour");
    makeLibrary(library.path(), {source.path()});
    AppProcess app(library.path(), home.path());
    ASSERT_GT(app.pid(), 0);
    // The first scan runs at start and is saved.
    ASSERT_TRUE(eventually(
        [&] {
            const auto state = saved(library.path());
            return state && state->lastScan && state->assets.size() == 5;
        },
        std::chrono::seconds(30)))
        << readFile(home / "sorvik.log");
    ASSERT_EQ(::kill(app.pid(), GetParam()), 0);
    const auto status = app.waitExit(quitDeadline);
    ASSERT_TRUE(status) << "still running after a signal";
    EXPECT_EQ(*status, 0);
    const auto state = saved(library.path());
    ASSERT_TRUE(state);
    EXPECT_EQ(state->assets.size(), 5u);
    EXPECT_FALSE(leftoverTemporaryFiles(library.path()));
}

TEST(AppQuitSignals, ASignalSentTwiceAtOnceQuitsOnceAndCleanly) {
    // As `timeout` does: the process, then its group.
    TempDir library, home;
    makeLibrary(library.path(), {});
    AppProcess app(library.path(), home.path());
    ASSERT_GT(app.pid(), 0);
    // The signals must find the handler installed; one arriving earlier ends the process as usual.
    ASSERT_TRUE(eventually(
        [&] {
            std::ifstream status("/proc/" + std::to_string(app.pid()) + "/status");
            for (std::string line; std::getline(status, line);) {
                if (!line.starts_with("SigCgt:")) continue;
                return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
            }
            return false;
        },
        std::chrono::seconds(30)));
    ASSERT_EQ(::kill(app.pid(), SIGTERM), 0);
    ASSERT_EQ(::kill(app.pid(), SIGTERM), 0);
    const auto status = app.waitExit(quitDeadline);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, AppSignals, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(AppHungSource, SigtermEndsTheProcessWithinSecondsWhileTheScanIsStuckInTheKernel) {
    TempDir library, hung, healthy, home;
    writeFile(healthy / "Nova Drop.txt", "Nova Drop");
    makeLibrary(library.path(), {hung.path(), healthy.path()});
    HungMount mount(hung.path());
    if (!mount.mounted()) GTEST_SKIP() << mount.why();
    AppProcess app(library.path(), home.path(), true);
    ASSERT_GT(app.pid(), 0);
    ASSERT_TRUE(eventually([&] { return app.threadInFuse(); }, std::chrono::seconds(30)))
        << readFile(home / "sorvik.log");
    const auto start = Clock::now();
    ASSERT_EQ(::kill(app.pid(), SIGTERM), 0);
    const auto status = app.waitExit(quitDeadline);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    ASSERT_TRUE(status) << "still running " << quitDeadline.count() << " s after SIGTERM";
    EXPECT_EQ(*status, 0);
    std::printf("quit while stuck on a hung mount: %lld ms\n", static_cast<long long>(took.count()));
    const auto state = saved(library.path());
    ASSERT_TRUE(state);
    EXPECT_EQ(state->sources.size(), 2u);
    EXPECT_FALSE(leftoverTemporaryFiles(library.path()));
}

// Needs the indexer to give up on a source that makes no progress for 10 s.
TEST(AppHungSource, TheHealthySourceIsIndexedAndSavedBesideAHungOne) {
    TempDir library, hung, healthy, home;
    writeFile(healthy / "Nova Drop.txt", "Nova Drop");
    makeLibrary(library.path(), {hung.path(), healthy.path()});
    HungMount mount(hung.path());
    if (!mount.mounted()) GTEST_SKIP() << mount.why();
    AppProcess app(library.path(), home.path(), true);
    ASSERT_GT(app.pid(), 0);
    const auto start = Clock::now();
    ASSERT_TRUE(eventually(
        [&] {
            const auto state = saved(library.path());
            return state && state->assets.size() == 1;
        },
        std::chrono::seconds(40)))
        << readFile(home / "sorvik.log");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("healthy source indexed beside a hung one: %lld ms\n", static_cast<long long>(took.count()));
    const auto state = saved(library.path());
    ASSERT_TRUE(state);
    ASSERT_EQ(state->sources.size(), 2u);
    EXPECT_TRUE(state->sources[0].lastError);
    EXPECT_FALSE(state->sources[1].lastError);
    ASSERT_EQ(::kill(app.pid(), SIGTERM), 0);
    const auto status = app.waitExit(quitDeadline);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
}
