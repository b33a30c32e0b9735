#include "Sorvik/Views/Window/Logic/DropLogic.hpp"

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

namespace {

/// The path of one URI line, or none when it names no local file.
std::optional<QByteArray> localPath(QByteArray line, const QByteArray& localHost) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#')) return std::nullopt;
    const int colon = line.indexOf(':');
    if (colon <= 0 || line.left(colon).toLower() != "file") return std::nullopt;
    QByteArray rest = line.mid(colon + 1);
    if (rest.startsWith("//")) {
        rest = rest.mid(2);
        const int slash = rest.indexOf('/');
        if (slash < 0) return std::nullopt;
        const QByteArray host = rest.left(slash).toLower();
        if (!host.isEmpty() && host != "localhost" && (localHost.isEmpty() || host != localHost.toLower())) {
            return std::nullopt;
        }
        rest = rest.mid(slash);
    }
    if (!rest.startsWith('/')) return std::nullopt;
    // A query or fragment is no part of a file's path ("#" and "?" in names arrive encoded).
    for (int i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#') {
            rest.truncate(i);
            break;
        }
    }
    QByteArray path = QByteArray::fromPercentEncoding(rest);
    // A NUL byte cannot be part of a path.
    if (path.contains('\0')) return std::nullopt;
    return path;
}

}  // namespace

std::vector<std::filesystem::path> localFilePaths(const QByteArray& uriList, const QByteArray& localHost) {
    std::vector<std::filesystem::path> paths;
    for (const QByteArray& line : uriList.split('\n')) {
        if (const std::optional<QByteArray> path = localPath(line, localHost)) {
            paths.emplace_back(path->toStdString());
        }
    }
    return paths;
}

std::optional<Qt::DropAction> dropAction(Qt::DropActions offered) {
    if (offered & Qt::CopyAction) return Qt::CopyAction;
    if (offered & Qt::LinkAction) return Qt::LinkAction;
    return std::nullopt;
}

bool dropRefused(const AppStore& store) {
    return store.isBusy() || store.recoveryMode() || store.sheet().has_value() || store.showWarnings() ||
           store.error().has_value();
}

}  // namespace sorvik::app
