#include "Sorvik/App/SingleInstance.hpp"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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

SingleInstance::Outcome SingleInstance::acquire() {
    std::error_code ignored;
    std::filesystem::create_directories(library_, ignored);
    files::FileDescriptor fd(::open((library_ / lockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) return Outcome::unlocked;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return Outcome::unlocked;
        QLocalSocket socket;
        socket.connectToServer(serverName(library_));
        if (!socket.waitForConnected(3000)) return Outcome::refused;
        socket.write(showRequest);
        socket.waitForBytesWritten(3000);
        socket.disconnectFromServer();
        return Outcome::shown;
    }
    lock_ = std::move(fd);
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
