#include "Sorvik/App/QuitSignals.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace sorvik::app {

namespace {

constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A signal repeated this long after the first one ends the process: that quit did not end.
constexpr std::int64_t forceAfterNanoseconds = 3'000'000'000;

// What the handler uses: a signal handler can reach nothing but globals.
std::atomic<int> signalPipe{-1};
std::atomic<std::int64_t> firstSignalAt{0};

std::int64_t monotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

extern "C" void onQuitSignal(int signal) {
    const int saved = errno;
    const std::int64_t now = monotonicNow();
    std::int64_t first = 0;
    if (!firstSignalAt.compare_exchange_strong(first, now) && now - first > forceAfterNanoseconds)
        ::_exit(128 + signal);
    const int fd = signalPipe.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    readEnd_ = files::FileDescriptor(ends[0]);
    writeEnd_ = files::FileDescriptor(ends[1]);
    signalPipe.store(writeEnd_.get());
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[16];
        for (;;) {
            const auto count = ::read(readEnd_.get(), bytes, sizeof bytes);
            if (count <= 0) break;
            for (ssize_t i = 0; i < count; ++i) emit quitRequested(bytes[i]);
        }
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : quitSignals) {
        // A signal ignored from the start (nohup) stays ignored.
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        if (::sigaction(signal, &action, nullptr) == 0) installed_.push_back(signal);
    }
}

QuitSignals::~QuitSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : installed_) ::sigaction(signal, &action, nullptr);
    signalPipe.store(-1);
}

}  // namespace sorvik::app
