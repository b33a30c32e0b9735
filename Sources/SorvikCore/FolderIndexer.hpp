#pragma once
// Indexing of source folders.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik {
class StallMemory;
}

namespace sorvik::FolderIndexer {

/// Entry names never entered or indexed, in this order; matched exactly.
const std::vector<std::string>& ignoredDirectories();

/// Folders whose lower-cased extension is one of these are bundles: never entered.
const std::vector<std::string>& bundleExtensions();

/// Receives the progress texts; called on the thread that runs the scan.
using Progress = std::function<void(const std::string&)>;

/// Keeps a scan's large arrays (candidates, records) in the heap when freed, so that the next
/// scan reuses their pages instead of faulting in fresh ones: past 32 MiB the allocator would map
/// and unmap each anew, and a rescan's cost per file would grow with the index. Changes the
/// process's allocator (up to half a gigabyte freed stays with the process), so only a program
/// that rescans large indexes again and again calls it, once: the app.
void keepLargeBlocksInHeap();

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
///   and is not walked; a file whose inspection takes this long is a failure of that file
///   (its record kept as it was) and the other files go on. Linked files and folders that do
///   not answer are left as they were. A stop ends the scan at once whatever hangs.
/// - `memory`: what did not answer in the caller's earlier scans; a source or file remembered
///   there and still silent fails at once, with the same text, instead of being waited for.
///
/// Throws only SorvikError for the limit and CancellationError; every other failure is a text in
/// `ScanResult::sourceErrors`. Reads the originals only.
ScanResult scan(const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous,
                const std::vector<std::filesystem::path>& excluded, const std::filesystem::path& libraryRoot,
                bool recognizeText, std::int64_t limit, const Progress& progress, std::stop_token stop = {},
                unsigned threads = 0, std::chrono::milliseconds quietLimit = std::chrono::milliseconds(10'000),
                StallMemory* memory = nullptr);

/// The file identity of the item at `path`, a final symbolic link not followed: device, inode
/// number and the inode's birth time, "<device>:<inode>:b<seconds>.<nanoseconds>" (nanoseconds
/// in nine digits); where the file system keeps no birth time, a regular file's generation,
/// "<device>:<inode>:g<generation>". Nothing when the item cannot be examined or its file system
/// gives neither. Never throws.
std::optional<std::string> identity(const std::filesystem::path& path) noexcept;

/// The identity of an open file.
std::optional<std::string> identity(int fd) noexcept;

/// Whether two stored identities name one file: both present, equal and of the form above.
/// An identity of the older form "<device>:<inode>" names no file: its number may be reused.
bool sameIdentity(const std::optional<std::string>& a, const std::optional<std::string>& b);
/// Whether the text is an identity of the form above.
bool isLifetimeIdentity(std::string_view identity);

/// Identities of many files in a row, from attributes files::statusAt read. A file is opened
/// only when its attributes hold no birth time, and no more once its file system has shown it
/// keeps no generation either; never on a file system that may not answer (FUSE, a network).
class IdentityReader {
public:
    std::optional<std::string> operator()(const struct statx& info, const std::string& path);
    /// The same for the entry `name` of the open `folder`, opened there without following a link.
    std::optional<std::string> operator()(const struct statx& info, int folder, const std::string& name);

private:
    std::vector<std::uint64_t> withoutGeneration_;  // devices, few
    std::vector<std::uint64_t> localDisks_;         // devices, few
};

}  // namespace sorvik::FolderIndexer
