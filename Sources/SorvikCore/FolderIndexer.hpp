#pragma once
// Indexing of source folders.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::FolderIndexer {

/// Entry names never entered or indexed, in this order; matched exactly.
const std::vector<std::string>& ignoredDirectories();

/// Folders whose lower-cased extension is one of these are bundles: never entered.
const std::vector<std::string>& packageExtensions();

/// Receives the progress texts; called on the thread that runs the scan.
using Progress = std::function<void(const std::string&)>;

/// Walks every enabled source in order, then re-checks the linked files of `previous`, reusing
/// unchanged records and inspecting new or changed files, and returns the new index: the assets
/// of the files found, in discovery order, then the previous records no file claimed.
///
/// - `excluded`: folders never indexed (the archive folder, the library's "files" folder).
/// - `libraryRoot`: the library folder; it and everything below it is never indexed either.
/// - `limit`: the largest number of files taken from source folders; more fail the scan with
///   SorvikError("本次扫描超过 {limit} 件，请选择更具体的来源文件夹。").
/// - `progress`: called every 20 files with "正在索引 {i} / {n} 件素材…", from the scanning thread;
///   the callee moves the text to its own thread.
/// - `stop`: checked before every folder entry and every file; a stop throws CancellationError.
/// - `threads`: files are inspected on up to this many threads (0: one per core, at most eight),
///   with exactly the result of one thread; 1 inspects each file in turn.
/// - `quietLimit`: the file system is only ever touched on threads the scan can give up on. A
///   source whose walk reads no entry for this long gets "来源文件夹没有响应，本次扫描已跳过。"
///   and is not walked; a file whose inspection takes this long is a failure of that file, and
///   the rest of its source is left as it was (not walked). Linked files and folders that do
///   not answer are left as they were. A stop ends the scan at once whatever hangs.
///
/// Throws only SorvikError for the limit and CancellationError; every other failure is a text in
/// `ScanResult::sourceErrors`. Reads the originals only.
ScanResult scan(const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous,
                const std::vector<std::filesystem::path>& excluded, const std::filesystem::path& libraryRoot,
                bool recognizeText, std::int64_t limit, const Progress& progress, std::stop_token stop = {},
                unsigned threads = 0, std::chrono::milliseconds quietLimit = std::chrono::milliseconds(10'000));

/// The file identity "<device>:<inode>" (both decimal) of the item at `path`, a final symbolic
/// link not followed. Nothing when the item cannot be examined. Never throws.
std::optional<std::string> identity(const std::filesystem::path& path) noexcept;

/// The same identity from attributes already read with lstat.
std::string identity(const struct stat& info);

}  // namespace sorvik::FolderIndexer
