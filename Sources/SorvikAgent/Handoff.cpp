// The hand-off commands: prepare a snapshot package, verify a package against its manifest.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

#include "SorvikAgent/Agent.hpp"
#include "SorvikCore/AccessScope.hpp"
#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"

namespace sorvik::agent {

namespace fs = std::filesystem;

namespace {

/// A relative path counts from the current folder; an empty one names that folder.
fs::path absolutePath(const std::string& argument) {
    return argument.empty() ? fs::current_path() : fs::absolute(fs::path(argument));
}

/// Every comma-separated piece, empty ones included, as a UUID.
std::vector<UUID> assetList(std::string_view text) {
    std::vector<UUID> ids;
    for (;;) {
        const auto comma = text.find(',');
        ids.push_back(uuid(text.substr(0, comma)));
        if (comma == std::string_view::npos) return ids;
        text.remove_prefix(comma + 1);
    }
}

/// While alive, SIGINT and SIGTERM no longer end the process at once: they ask the work to
/// stop, and it ends through its normal failure path (temporary folders removed, the error
/// object written). Made before any other thread, so that every thread leaves them blocked.
/// Where no watching thread can be made, the signals keep their usual effect.
class StopOnSignals {
public:
    StopOnSignals() {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigset_t previous;
        if (::pthread_sigmask(SIG_BLOCK, &signals, &previous) != 0) return;
        signals_ = files::FileDescriptor(::signalfd(-1, &signals, SFD_CLOEXEC));
        wake_ = files::FileDescriptor(::eventfd(0, EFD_CLOEXEC));
        if (signals_ && wake_) {
            try {
                watcher_ = std::jthread([this] { watch(); });
                return;
            } catch (const std::system_error&) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
    // The signals stay blocked: one arriving after the watcher ends would otherwise end the
    // process without its answer. The process ends right after the command anyway.
    ~StopOnSignals() {
        if (!watcher_.joinable()) return;
        const std::uint64_t one = 1;
        if (::write(wake_.get(), &one, sizeof one) == sizeof one) watcher_.join();
        else watcher_.detach();
    }

    std::stop_token token() const { return stop_.get_token(); }

private:
    void watch() {
        pollfd fds[2] = {{signals_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info{};
                if (::read(signals_.get(), &info, sizeof info) > 0) stop_.request_stop();
                return;
            }
            if (fds[1].revents) return;
        }
    }

    std::stop_source stop_;
    files::FileDescriptor signals_;
    files::FileDescriptor wake_;
    std::jthread watcher_;
};

}  // namespace

void prepare(const Repository& repository, const WorkspaceState& workspace, const std::vector<std::string>& args) {
    // Stopped on every way out, before the error object or after the answer.
    AccessScopes access;
    std::vector<fs::path> urls;
    for (const auto& source : workspace.sources) urls.push_back(source.resolve());
    for (const auto& asset : workspace.assets)
        if (asset.file.reference) urls.push_back(asset.file.reference->resolve(true));
    for (auto& url : urls) access.start(std::move(url));

    const UUID projectID = uuid(args[1]);
    const std::vector<UUID> assetIDs = assetList(args[2]);
    const fs::path destination = absolutePath(args[3]);

    const StopOnSignals signals;
    const std::stop_token stop = signals.token();
    const ExportReceipt receipt = AgentHandoff::prepare(workspace, projectID, assetIDs, repository, destination, stop);
    const fs::path manifestURL = fs::path(receipt.path) / DeliveryExporter::manifestFileName;
    // One read: the bytes checked are the bytes whose hash is reported.
    const std::string bytes = AgentHandoff::readManifest(manifestURL);
    AgentHandoff::verify(manifestURL, bytes);
    if (stop.stop_requested()) throw CancellationError();

    Json result = Json::object();
    result["status"] = "prepared_not_published";
    result["projectID"] = projectID.string();
    result["manifestPath"] = manifestURL.string();
    result["manifestSHA256"] = hashing::sha256Hex(bytes);
    emit(result);
}

void verify(const std::vector<std::string>& args) {
    const fs::path manifestURL = absolutePath(args[1]);
    // One read: the bytes compared with the expected hash are the bytes decoded and checked.
    const std::string bytes = AgentHandoff::readManifest(manifestURL);
    if (args.size() == 3 && hashing::sha256Hex(bytes) != args[2])
        throw SorvikError::message("清单与准备时的哈希不一致");
    // The manifest as the export writes it: the text emit would print, written straight.
    emitText(encodeManifestFile(AgentHandoff::verify(manifestURL, bytes)));
}

}  // namespace sorvik::agent
