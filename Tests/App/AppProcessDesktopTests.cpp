// The real sorvik program under a real window manager (Xvfb and openbox): what blocks the window
// is the active window on top, also while another process takes the app's CPU, and Escape closes
// it and the settings window; a logout while the quit asks about unsaved changes ends the app.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "Support/TestSupport.hpp"

extern char** environ;

namespace fs = std::filesystem;
using namespace sorvik::test;
using Clock = std::chrono::steady_clock;

namespace {

/// A child process killed and reaped when the test leaves.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment, const fs::path& log,
          int passFd = -1) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string_view entry(*e);
            if (entry.starts_with("HOME=") || entry.starts_with("XDG_") || entry.starts_with("QT_QPA_PLATFORM=") ||
                entry.starts_with("DISPLAY=") || entry.starts_with("DBUS_SESSION_BUS_ADDRESS="))
                continue;
            env.emplace_back(entry);
        }
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<std::string> argsCopy = args;
        std::vector<char*> argv, envp;
        for (auto& a : argsCopy) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (passFd >= 0) posix_spawn_file_actions_adddup2(&actions, passFd, 3);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
    Child& operator=(Child&& other) noexcept {
        std::swap(pid_, other.pid_);
        return *this;
    }
    ~Child() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool running() const { return pid_ > 0; }
    void signal(int number) const { ::kill(pid_, number); }
    /// The exit status once the process ended within `limit`; nothing while it still runs.
    std::optional<int> ended(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (Clock::now() < end);
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
};

/// A process that keeps CPU 0 busy for `limit`, or until the test ends.
class CpuHog {
public:
    explicit CpuHog(std::chrono::seconds limit) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        cpu_set_t cpus;
        CPU_ZERO(&cpus);
        CPU_SET(0, &cpus);
        ::sched_setaffinity(0, sizeof cpus, &cpus);
        const auto end = Clock::now() + limit;
        volatile unsigned long spin = 0;
        while (Clock::now() < end) spin = spin + 1;
        ::_exit(0);
    }
    ~CpuHog() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

bool installed(const std::string& program) {
    return runProcess("/bin/sh", {"-c", "command -v " + program}).status == 0;
}

/// A virtual display with openbox managing it.
class Desktop {
public:
    explicit Desktop(const fs::path& home) : home_(home) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        // Xvfb picks a free display and writes its number to descriptor 3.
        xvfb_ = Child({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x900x24", "-nolisten", "tcp"}, {},
                      home / "xvfb.log", fds[1]);
        ::close(fds[1]);
        std::string number;
        pollfd readable{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&readable, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) return;
        display_ = ":" + number;
        openbox_ = Child({"openbox", "--sm-disable"}, environment(), home / "openbox.log");
        // The window manager is up once it has announced itself on the root window.
        if (!eventually([&] { return root("_NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; },
                        std::chrono::seconds(20)))
            display_.clear();
    }
    bool ready() const { return !display_.empty(); }
    std::vector<std::string> environment() const { return {"DISPLAY=" + display_, "HOME=" + home_.string()}; }

    /// A property of the root window as xprop prints it.
    std::string root(const std::string& property) const {
        return runProcess("xprop", {"-root", property}, environment()).out;
    }
    /// The active window's id, or empty.
    std::string activeWindow() const {
        const std::string line = root("_NET_ACTIVE_WINDOW");
        const size_t at = line.find("0x");
        return at == std::string::npos ? std::string() : line.substr(at, line.find_first_of(",\n", at) - at);
    }
    /// The window on top of the stack of managed windows.
    std::string topWindow() const {
        const std::string line = root("_NET_CLIENT_LIST_STACKING");
        const size_t at = line.rfind("0x");
        return at == std::string::npos ? std::string() : line.substr(at, line.find_first_of(",\n", at) - at);
    }
    std::string title(const std::string& window) const {
        if (window.empty()) return {};
        const std::string line = runProcess("xprop", {"-id", window, "_NET_WM_NAME"}, environment()).out;
        const size_t open = line.find('"'), close = line.rfind('"');
        return open == std::string::npos || close <= open ? std::string() : line.substr(open + 1, close - open - 1);
    }
    std::string activeTitle() const { return title(activeWindow()); }
    /// Whether the active window's title begins with `wanted` (the app's name may follow) and the
    /// window stands on top of every other.
    bool inFront(const std::string& wanted) const {
        const std::string active = activeWindow();
        return !active.empty() && active == topWindow() && title(active).starts_with(wanted);
    }
    void key(const std::string& keys) const { runProcess("xdotool", {"key", "--clearmodifiers", keys}, environment()); }

private:
    fs::path home_;
    Child xvfb_;
    Child openbox_;
    std::string display_;
};

class WindowManager : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        for (const char* program : {"Xvfb", "openbox", "xprop", "xdotool"}) {
            if (!installed(program))
                GTEST_SKIP() << program << " is not installed (scripts/install-deps.sh installs it)";
        }
    }
};

TEST_P(WindowManager, TheStartUpAlertIsInFrontWithTheKeyboardAndEscapeReachesEveryWindow) {
    const bool hog = GetParam();
    TempDir home, library;
    // A library that cannot be read: the app starts in recovery mode with an alert.
    writeFile(library / "workspace.json", "not json");
    fs::create_directories(home / "config/Sorvik");
    writeFile(home / "config/Sorvik/Sorvik.conf", "[General]\nsorvikLanguage=en\nappearance=light\n");
    Desktop desktop(home.path());
    ASSERT_TRUE(desktop.ready()) << readFile(home / "xvfb.log") << readFile(home / "openbox.log");
    std::optional<CpuHog> busy;
    std::vector<std::string> args{SORVIK_APP_PATH, "--data-dir", library.path().string()};
    if (hog) {
        // The app shares its one CPU with a process that never yields.
        busy.emplace(std::chrono::seconds(60));
        args.insert(args.begin(), {"taskset", "-c", "0"});
    }
    std::vector<std::string> env = desktop.environment();
    env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + (home / "config").string(),
                           "XDG_DATA_HOME=" + (home / "data").string(), "XDG_RUNTIME_DIR=" + home.path().string()});
    Child app(args, env, home / "sorvik.log");
    ASSERT_TRUE(app.running());
    const auto log = [&] { return readFile(home / "sorvik.log"); };
    ASSERT_TRUE(eventually([&] { return desktop.inFront("Unable to complete"); }, std::chrono::seconds(60)))
        << "active: " << desktop.activeTitle() << "\n"
        << log();
    // Once the window has settled, the alert is still the one in front.
    ASSERT_TRUE(eventually([&] { return !desktop.title(desktop.topWindow()).empty(); }, std::chrono::seconds(5)));
    EXPECT_TRUE(desktop.inFront("Unable to complete")) << "active: " << desktop.activeTitle();
    busy.reset();

    desktop.key("Escape");
    ASSERT_TRUE(eventually([&] { return desktop.inFront("Sorvik"); }, std::chrono::seconds(20)))
        << "active: " << desktop.activeTitle();
    // The settings window opens in front and Escape closes it.
    desktop.key("ctrl+comma");
    ASSERT_TRUE(eventually([&] { return desktop.inFront("Settings"); }, std::chrono::seconds(20)))
        << "active: " << desktop.activeTitle();
    desktop.key("Escape");
    EXPECT_TRUE(eventually([&] { return desktop.inFront("Sorvik"); }, std::chrono::seconds(20)))
        << "active: " << desktop.activeTitle();
}

/// A small memory file system mounted for the test (root only).
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& at) : at_(at) {
        mounted_ = ::mount("sorvik-test", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m") == 0;
        if (!mounted_) why_ = "a file system of its own needs root to mount: " + std::string(std::strerror(errno));
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    const std::string& skipReason() const { return why_; }
    /// Takes every free byte.
    void fill() const {
        const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
        }
        if (fd >= 0) ::close(fd);
    }

private:
    fs::path at_;
    bool mounted_ = false;
    std::string why_;
};

TEST_F(WindowManager, ALogoutWhileTheQuitAsksAboutUnsavedChangesEndsTheAppAtOnce) {
    TempDir home, disk;
    SmallDisk small(disk.path());
    if (!small.skipReason().empty()) GTEST_SKIP() << small.skipReason();
    const fs::path library = disk / "library";
    fs::create_directories(home / "config/Sorvik");
    writeFile(home / "config/Sorvik/Sorvik.conf", "[General]\nsorvikLanguage=en\nappearance=light\n");
    Desktop desktop(home.path());
    ASSERT_TRUE(desktop.ready()) << readFile(home / "xvfb.log") << readFile(home / "openbox.log");
    std::vector<std::string> env = desktop.environment();
    env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + (home / "config").string(),
                           "XDG_DATA_HOME=" + (home / "data").string(), "XDG_RUNTIME_DIR=" + home.path().string()});
    Child app({SORVIK_APP_PATH, "--data-dir", library.string()}, env, home / "sorvik.log");
    ASSERT_TRUE(app.running());
    ASSERT_TRUE(eventually([&] { return desktop.inFront("Sorvik"); }, std::chrono::seconds(60)))
        << "active: " << desktop.activeTitle() << "\n"
        << readFile(home / "sorvik.log");
    // The disk fills up; the new project cannot be saved, and the quit asks about it.
    small.fill();
    desktop.key("ctrl+n");
    // The failed save is said in an alert over the new project's sheet; both are closed first.
    ASSERT_TRUE(eventually([&] { return desktop.inFront("Unable to complete"); }, std::chrono::seconds(60)))
        << "active: " << desktop.activeTitle();
    const std::string alert = desktop.activeWindow();
    desktop.key("Escape");
    ASSERT_TRUE(eventually([&] { return desktop.activeWindow() != alert; }, std::chrono::seconds(20)));
    const std::string sheet = desktop.activeWindow();
    desktop.key("Escape");
    ASSERT_TRUE(eventually([&] { return desktop.activeWindow() != sheet; }, std::chrono::seconds(20)));
    desktop.key("ctrl+q");
    ASSERT_TRUE(eventually([&] { return desktop.inFront("Changes not saved"); }, std::chrono::seconds(60)))
        << "active: " << desktop.activeTitle() << "\n"
        << readFile(home / "sorvik.log");

    // The session ends: one signal is enough, and nobody answers the question.
    const auto sent = Clock::now();
    app.signal(SIGTERM);
    const std::optional<int> status = app.ended(std::chrono::seconds(20));
    ASSERT_TRUE(status) << "still running 20 s after the signal\n" << readFile(home / "sorvik.log");
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "status " << *status << "\n"
                                                                 << readFile(home / "sorvik.log");
    std::printf(
        "ended %lld ms after the signal\n",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count()));
}

INSTANTIATE_TEST_SUITE_P(Desktop, WindowManager, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "BesideACpuHog" : "Alone"; });

}  // namespace
