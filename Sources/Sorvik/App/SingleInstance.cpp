#include "Sorvik/App/SingleInstance.hpp"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace sorvik::app {

namespace {
constexpr char lockName[] = ".sorvik.lock";
constexpr char showRequest[] = "show\n";
}  // namespace

SingleInstance::SingleInstance(std::filesystem::path library, QObject* parent)
    : QObject(parent), library_(std::move(library)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const std::filesystem::path& library) {
    return serverNameOf(files::resolvedPath(library));
}

QString SingleInstance::serverNameOf(const std::string& resolved) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(resolved), QCryptographicHash::Sha256).toHex().left(20);
    return QStringLiteral("sorvik-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

struct SingleInstance::Attempt {
    enum class Kind { locked, held, unavailable } kind = Kind::unavailable;
    files::FileDescriptor lock;
    files::FileDescriptor folder;  // the library folder, when the lock is on a file in it
    int error = 0;
    std::filesystem::path errorPath;
    std::string resolved;
};

SingleInstance::Attempt SingleInstance::lockFolder(const std::filesystem::path& library) {
    Attempt attempt;
    const auto unavailable = [&attempt](int error, const std::filesystem::path& path) {
        attempt.kind = Attempt::Kind::unavailable;
        attempt.error = error;
        attempt.errorPath = path;
        return std::move(attempt);
    };
    const auto found = [&attempt, &library](Attempt::Kind kind, files::FileDescriptor lock,
                                            files::FileDescriptor folder = {}) {
        attempt.kind = kind;
        attempt.lock = std::move(lock);
        attempt.folder = std::move(folder);
        attempt.resolved = files::resolvedPath(library);
        return std::move(attempt);
    };
    std::error_code ignored;
    std::filesystem::create_directories(library, ignored);
    // The lock is held on the library folder itself: unlike a file in it, the open folder cannot be
    // deleted, replaced by a link or a folder, or belong to another user while this process runs.
    files::FileDescriptor folder(::open(library.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return unavailable(errno, library);
    if (::flock(folder.get(), LOCK_EX | LOCK_NB) == 0) return found(Attempt::Kind::locked, std::move(folder));
    if (errno == EWOULDBLOCK) return found(Attempt::Kind::held, {});
    // Network file systems may lock only files open for writing: a lock file in the folder, opened
    // through the folder and only when it is a plain file.
    const int folderError = errno;
    files::FileDescriptor file(
        ::openat(folder.get(), lockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!file) return unavailable(folderError, library);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return unavailable(folderError, library);
    if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
        return found(Attempt::Kind::locked, std::move(file), std::move(folder));
    if (errno == EWOULDBLOCK) return found(Attempt::Kind::held, {});
    return unavailable(errno, library / lockName);
}

SingleInstance::Outcome SingleInstance::unavailable(int error, const std::filesystem::path& path) {
    failure_ = files::systemError(error, path).what();
    return Outcome::unavailable;
}

SingleInstance::Outcome SingleInstance::acquire(std::chrono::milliseconds deadline) {
    // A library on a mount that stopped answering (a NAS that is down) keeps the thread in the
    // kernel: it is left there, and drops what it finds late.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Attempt> attempt;
        bool abandoned = false;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, library = library_] {
        Attempt attempt = lockFolder(library);
        std::lock_guard lock(shared->mutex);
        if (shared->abandoned) return;  // the lock, if any, goes with the attempt
        shared->attempt = std::move(attempt);
        shared->done.notify_all();
    }).detach();
    std::optional<Attempt> attempt;
    {
        std::unique_lock lock(shared->mutex);
        if (!shared->done.wait_for(lock, deadline, [&] { return shared->attempt.has_value(); })) {
            shared->abandoned = true;
            return Outcome::notAnswering;
        }
        attempt = std::move(shared->attempt);
    }
    resolved_ = attempt->resolved;
    switch (attempt->kind) {
        case Attempt::Kind::locked: {
            const int folder = attempt->folder ? attempt->folder.get() : attempt->lock.get();
            return hold(std::move(attempt->lock), folder);
        }
        case Attempt::Kind::held: return askHolder();
        case Attempt::Kind::unavailable: break;
    }
    return unavailable(attempt->error, attempt->errorPath);
}

SingleInstance::Outcome SingleInstance::askHolder() {
    QLocalSocket socket;
    socket.connectToServer(serverNameOf(resolved_));
    if (!socket.waitForConnected(3000)) return Outcome::refused;
    socket.write(showRequest);
    socket.waitForBytesWritten(3000);
    socket.disconnectFromServer();
    return Outcome::shown;
}

SingleInstance::Outcome SingleInstance::hold(files::FileDescriptor lock, int folder) {
    // The library is written through the folder the lock is on, never by its path alone.
    try {
        guard_ = std::make_shared<LibraryGuard>(folder, library_);
    } catch (const std::system_error& error) {
        return unavailable(error.code().value(), library_);
    }
    lock_ = std::move(lock);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a killed instance is stale: this process holds the lock now.
    QLocalServer::removeServer(serverNameOf(resolved_));
    if (server_->listen(serverNameOf(resolved_))) {
        connect(server_.get(), &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = server_->nextPendingConnection()) {
                connect(client, &QLocalSocket::readyRead, this, [this, client] {
                    if (client->readAll().contains("show")) emit activationRequested();
                    client->disconnectFromServer();
                });
                connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    return Outcome::first;
}

}  // namespace sorvik::app
