#pragma once
// One scan's decision, per candidate file, between reusing the previous index record and
// inspecting the file again; and the keeping of previous records no file claimed.
#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "SorvikCore/AbandonableWork.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/StallMemory.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::LocalTextRecognizer {
class Recognizer;
}

namespace sorvik::AssetReuse {

/// Where a walk listed a file: below its source's open root, in the folder of this identity.
struct Listed {
    files::SharedFolder root;
    files::Identity folder;
};

/// A file to index: its path, its source (none for a linked file) and its folder below the source.
struct Candidate {
    std::string path;
    std::optional<UUID> sourceID;
    std::string relativeFolder;
    std::optional<struct statx> status;  // files::statusAt while listing its folder; read by path when absent
    // Its identity, read with the status on the thread that listed it (an identity may need the
    // file opened, which the scan's own thread never does on a file system that may hang).
    std::optional<std::string> identity;
    bool identityRead = false;
    // Set for a file a walk listed: it is read only through its folder opened again below the
    // source's root, and only while that is still the folder listed. Else it is opened by path.
    std::optional<Listed> listed = std::nullopt;
};

/// The folder of the candidate opened for reading its file: below the source's root without
/// following a link, for a listed file; by path for another. Throws std::system_error naming the file, or
/// SorvikError("扫描时文件夹被替换：" and the quoted folder) when another folder now stands at the
/// place of the one listed.
files::FileDescriptor openFolderOf(const Candidate& candidate);

/// At most this many text recognitions run in one scan.
inline constexpr std::int64_t recognitionLimit = 20;

/// The working state of one scan for reuse: lookup maps of the previous index, the claimed
/// identifiers, the produced assets and the counters.
///
/// Files are inspected and recognised only on threads it can give up on: a file that gives no
/// answer for the quiet limit is a failure of that file, whose previous record is kept as it
/// was; the other files go on. With a memory, such a file is remembered, and a later scan that
/// finds it unchanged and still stuck fails it at once instead of waiting again.
class Reuser {
public:
    Reuser(const std::vector<IndexedAsset>& previous, bool recognizeText,
           std::chrono::nanoseconds quietLimit = abandonable::defaultQuietLimit, StallMemory* memory = nullptr);
    ~Reuser();
    Reuser(const Reuser&) = delete;
    Reuser& operator=(const Reuser&) = delete;

    /// Tells the reuser every candidate of the scan: a previous record that an unchanged file at
    /// its path is going to reuse is never taken by another file of its identity (a hard link).
    /// The span must outlive the reuser's use: its candidates, when passed to process and
    /// inspectAhead, are not looked up by path again.
    void expect(std::span<const Candidate> candidates);

    /// Indexes one candidate: appends at most one asset, may set its source's error.
    /// Throws CancellationError only; every other failure is the source's error.
    void process(const Candidate& candidate, std::map<UUID, std::string>& sourceErrors, std::stop_token stop);

    /// Inspects, on up to `threads` threads (0: one per core), the candidates among these that
    /// process is going to inspect when they come next in order, judged from the claims so far
    /// as if every inspection succeeds; process takes each result instead of inspecting. A
    /// wrong guess costs an unused result or an inspection in order, never a different outcome.
    /// Throws CancellationError when stopped; inspection failures wait for process.
    void inspectAhead(std::span<const Candidate> candidates, unsigned threads, std::stop_token stop);

    /// Appends every previous record not claimed, marked missing where its original vanished:
    /// in a walked source, or a linked file whose path is among `missingLinked`. The record of a
    /// file that did not answer is kept as it was.
    void keepUnclaimed(const std::set<UUID>& walkedSources, const std::unordered_set<std::string>& missingLinked);

    std::vector<IndexedAsset>& results() { return results_; }
    /// The result: produced assets (then kept records, once keepUnclaimed ran) and the counters.
    ScanResult finish(std::map<UUID, std::string> sourceErrors) &&;

private:
    struct Inspection {
        DeliveryFile file;
        std::exception_ptr failure;
        bool hung = false;
        StallMemory::Answer answer;  // set once the inspection's work is gone
    };

    /// Valid until the next call.
    const std::optional<std::string>& identityOf(const Candidate& candidate, const struct statx& info);
    bool isClaimed(std::size_t record, const std::unordered_set<UUID>* alsoClaimed) const;
    void claim(std::size_t record);
    /// The previous record at the candidate's path; npos when none.
    std::size_t atPath(const Candidate& candidate) const;
    /// The previous record for a file: the one at its path, else an unclaimed one of its identity
    /// that no file is expected at; npos when none.
    std::size_t match(std::size_t atPath, const std::optional<std::string>& identity,
                      const std::unordered_set<UUID>* alsoClaimed = nullptr) const;
    Inspection inspected(const Candidate& candidate, std::stop_token stop);
    abandonable::Pool& pool(unsigned threads);
    /// Runs the inspection of one file on the pool; the handle's result is filled when it ends.
    abandonable::Pool::Handle submitInspection(const Candidate& candidate, const std::shared_ptr<Inspection>& into);
    /// Whether the file is remembered as stuck; such a file is not inspected.
    bool isHung(const struct statx& info);
    /// Fails a file that did not answer; its previous record is kept as it was.
    void markHung(const Candidate& candidate, const struct statx& info, const IndexedAsset* previous,
                  const StallMemory::Answer& answer, std::map<UUID, std::string>& sourceErrors);
    void fail(const Candidate& candidate, const std::exception& failure, std::map<UUID, std::string>& sourceErrors);
    const std::optional<std::string>& folderTopic(const std::string& relativeFolder);
    void recognize(IndexedAsset& asset, const Candidate& candidate, std::stop_token stop);

    const std::vector<IndexedAsset>& previous_;
    bool recognizeText_;
    // Keys view the paths and identities of `previous_`, which outlives the maps.
    std::unordered_map<std::string_view, std::size_t> byPath_;  // the first record of each path
    struct Chain {
        std::size_t first;
        std::size_t last;
    };
    std::unordered_map<std::string_view, Chain> byIdentity_;  // records of one identity, in order
    std::vector<std::size_t> nextOfIdentity_;                 // by record; npos ends a chain
    std::vector<bool> expectedAtPath_;                        // by record
    std::span<const Candidate> expected_;                     // as told to expect
    std::vector<std::size_t> atPathOf_;                       // by candidate of `expected_`; npos: none
    std::optional<std::string> identityRead_;
    std::vector<std::size_t> sameID_;   // by record: the first record of its identifier
    std::vector<bool> claimedRecords_;  // by first record of an identifier
    std::size_t claimedCount_ = 0;
    std::unordered_map<std::string, std::optional<std::string>> folderTopics_;
    const std::pair<const std::string, std::optional<std::string>>* lastTopic_ = nullptr;
    std::chrono::nanoseconds quietLimit_;
    std::unique_ptr<abandonable::Pool> pool_;  // made on first use
    StallMemory* memory_;
    std::unordered_set<UUID> hungRecords_;           // previous records of files that did not answer
    std::map<UUID, std::int64_t> unreadableCounts_;  // by source
    bool recognitionHung_ = false;
    // Made on first use, kept for the scan; shared with the recognition running.
    std::shared_ptr<LocalTextRecognizer::Recognizer> recognizer_;
    bool recognitionUnavailable_ = false;  // the media module could not be loaded
    std::vector<IndexedAsset> results_;
    std::unordered_map<std::string, Inspection> ahead_;  // by candidate path
    FolderIndexer::IdentityReader readIdentity_;
    std::int64_t inspected_ = 0;
    std::int64_t reused_ = 0;
    std::int64_t moved_ = 0;
    std::int64_t recognized_ = 0;
};

/// Whether a file stands at the path of a linked record, a final link followed: a link
/// pointing nowhere is no file.
bool linkedFileExists(const std::string& path);

/// The description of a file that did not answer: "文件没有响应：" and the quoted path.
std::string unresponsiveFileMessage(const std::string& path);

/// "部分文件暂时无法读取：" followed by the failure's description; with more than one file, their
/// count too: "部分文件暂时无法读取（共 {count} 件）：" and the description of the last.
std::string unreadableFileMessage(const std::exception& failure, std::int64_t count = 1);

}  // namespace sorvik::AssetReuse
