#include "Sorvik/App/QuitSignals.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace sorvik::app {

namespace {

constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler writes to: a signal handler can reach nothing but a global.
std::atomic<int> signalPipe{-1};

extern "C" void onQuitSignal(int signal) {
    const int saved = errno;
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
    // SA_RESETHAND: the next signal of the kind ends the process at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
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
