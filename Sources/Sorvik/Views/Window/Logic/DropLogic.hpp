#pragma once
// The main window's drop target: which drags it takes, what it answers, and the local paths of
// the dropped items with their bytes kept. Pure.
#include <QByteArray>
#include <Qt>
#include <filesystem>
#include <optional>
#include <vector>

namespace sorvik::app {

class AppStore;

/// The local paths of a "text/uri-list" in order: file URLs with no host, "localhost" or
/// `localHost`, percent-decoded to bytes (names that are not UTF-8 stay as they are). Other
/// schemes, other hosts, comments and malformed lines are left out.
std::vector<std::filesystem::path> localFilePaths(const QByteArray& uriList, const QByteArray& localHost = {});

/// The action to answer a drag with: copy, else link. Never move: originals stay where they are.
std::optional<Qt::DropAction> dropAction(Qt::DropActions offered);

/// Whether a drop must be refused now: a job runs, the library is in recovery mode, or a sheet,
/// the warnings or the alert is up.
bool dropRefused(const AppStore& store);

}  // namespace sorvik::app
