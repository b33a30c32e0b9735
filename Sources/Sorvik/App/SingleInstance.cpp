#include "Sorvik/App/SingleInstance.hpp"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <cerrno>
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
    const QByteArray resolved = QByteArray::fromStdString(files::resolvedPath(library));
    const QByteArray digest = QCryptographicHash::hash(resolved, QCryptographicHash::Sha256).toHex().left(20);
    return QStringLiteral("sorvik-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

SingleInstance::Outcome SingleInstance::unavailable(int error, const std::filesystem::path& path) {
    failure_ = files::systemError(error, path).what();
    return Outcome::unavailable;
}

SingleInstance::Outcome SingleInstance::acquire() {
    std::error_code ignored;
    std::filesystem::create_directories(library_, ignored);
    // The lock is held on the library folder itself: unlike a file in it, the open folder cannot be
    // deleted, replaced by a link or a folder, or belong to another user while this process runs.
    files::FileDescriptor folder(::open(library_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return unavailable(errno, library_);
    if (::flock(folder.get(), LOCK_EX | LOCK_NB) == 0) {
        const int held = folder.get();
        return hold(std::move(folder), held);
    }
    if (errno == EWOULDBLOCK) return askHolder();
    // Network file systems may lock only files open for writing: a lock file in the folder, opened
    // through the folder and only when it is a plain file.
    const int folderError = errno;
    files::FileDescriptor file(
        ::openat(folder.get(), lockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!file) return unavailable(folderError, library_);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return unavailable(folderError, library_);
    if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) return hold(std::move(file), folder.get());
    if (errno == EWOULDBLOCK) return askHolder();
    return unavailable(errno, library_ / lockName);
}

SingleInstance::Outcome SingleInstance::askHolder() {
    QLocalSocket socket;
    socket.connectToServer(serverName(library_));
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
    QLocalServer::removeServer(serverName(library_));
    if (server_->listen(serverName(library_))) {
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
