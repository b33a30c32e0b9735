#include "SorvikCore/AssetReuse.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/LocalTextRecognizer.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/OrderedWork.hpp"
#include "SorvikCore/ProjectMatcher.hpp"

namespace sorvik::AssetReuse {

namespace {

constexpr const char* movedOutMessage = "原文件已移出来源或被删除；重新连接来源后可恢复。";
constexpr const char* unavailableMessage = "原文件暂时不可用。";

std::string_view lastComponentOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string lastComponent(const std::string& path) { return std::string(lastComponentOf(path)); }

std::string stemOf(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

/// The attributes taken while listing, else read by path; false with errno set when unreadable.
bool readStatus(const Candidate& candidate, struct statx& info) {
    if (candidate.status) {
        info = *candidate.status;
        return true;
    }
    return files::statusAt(AT_FDCWD, candidate.path.c_str(), info) == 0;
}

Date modificationDate(const struct statx& info) {
    return Date::fromTimespec(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool isUnchanged(const IndexedAsset* previous, std::int64_t bytes, const Date& modifiedAt) {
    return previous && previous->file.bytes == bytes && previous->file.reference &&
           previous->file.reference->modifiedAt == modifiedAt && !previous->isMissing;
}

/// The candidate's file opened for reading through its folder, never through a link in its
/// place, never blocking on a FIFO or device. Throws as openFolderOf does.
files::FileDescriptor openListedFile(const Candidate& candidate) {
    const files::FileDescriptor folder = openFolderOf(candidate);
    files::FileDescriptor fd(::openat(folder.get(), lastComponent(candidate.path).c_str(),
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) throw files::systemError(errno, candidate.path, "cannot read");
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw files::systemError(errno, candidate.path, "cannot read");
    if (!S_ISREG(info.st_mode)) throw files::systemError(EINVAL, candidate.path, "not a regular file:");
    if (const int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool mediaModuleLoads() {
    try {
        media::functions();
        return true;
    } catch (const media::ModuleUnavailable&) {
        return false;
    }
}

bool isReusable(const IndexedAsset* previous, std::int64_t bytes, const Date& modifiedAt) {
    // A video read while the media module was missing is read again once it loads.
    return isUnchanged(previous, bytes, modifiedAt) &&
           !(FileInspector::awaitsMediaModule(previous->file) && mediaModuleLoads());
}

}  // namespace

bool linkedFileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

files::FileDescriptor openFolderOf(const Candidate& candidate) {
    const std::string folder = parentOf(candidate.path);
    if (!candidate.listed) {
        files::FileDescriptor fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd) throw files::systemError(errno, candidate.path, "cannot read");
        return fd;
    }
    files::FileDescriptor fd =
        files::openBeneath(candidate.listed->root->get(), candidate.relativeFolder, O_PATH | O_DIRECTORY);
    if (!fd) throw files::systemError(errno, candidate.path, "cannot read");
    if (files::identityOf(fd.get(), folder) != candidate.listed->folder)
        throw SorvikError::message("扫描时文件夹被替换：\"" + folder + "\"");
    return fd;
}

std::string unresponsiveFileMessage(const std::string& path) { return "文件没有响应：\"" + path + "\""; }

std::string unreadableFileMessage(const std::exception& failure, std::int64_t count) {
    if (count > 1) return "部分文件暂时无法读取（共 " + std::to_string(count) + " 件）：" + failure.what();
    return std::string("部分文件暂时无法读取：") + failure.what();
}

Reuser::Reuser(const std::vector<IndexedAsset>& previous, bool recognizeText, std::chrono::nanoseconds quietLimit,
               StallMemory* memory)
    : previous_(previous), recognizeText_(recognizeText), quietLimit_(quietLimit), memory_(memory) {
    byPath_.reserve(previous.size());
    byIdentity_.reserve(previous.size());
    nextOfIdentity_.assign(previous.size(), std::string::npos);
    for (std::size_t i = 0; i < previous.size(); ++i) {
        const auto& reference = previous[i].file.reference;
        byPath_.try_emplace(reference ? std::string_view(reference->path) : std::string_view(), i);
        // An identity of the older form names no file for sure: it is never matched.
        if (reference && reference->identity && FolderIndexer::isLifetimeIdentity(*reference->identity)) {
            const auto [it, added] = byIdentity_.try_emplace(*reference->identity, Chain{i, i});
            if (!added) {
                nextOfIdentity_[it->second.last] = i;
                it->second.last = i;
            }
        }
    }
    // Claims are by record; records of one identifier are claimed together.
    sameID_.resize(previous.size());
    {
        std::unordered_map<UUID, std::size_t> firstOfID;
        firstOfID.reserve(previous.size());
        for (std::size_t i = 0; i < previous.size(); ++i)
            sameID_[i] = firstOfID.try_emplace(previous[i].id(), i).first->second;
    }
    claimedRecords_.assign(previous.size(), false);
    expectedAtPath_.assign(previous.size(), false);
}

void Reuser::expect(std::span<const Candidate> candidates) {
    // Only where the file is going to reuse the record for sure: unchanged, nothing to inspect.
    // Each path is looked up here once; later steps take the record found.
    expected_ = candidates;
    atPathOf_.assign(candidates.size(), std::string::npos);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const Candidate& candidate = candidates[k];
        const auto it = byPath_.find(candidate.path);
        if (it == byPath_.end()) continue;
        atPathOf_[k] = it->second;
        if (!candidate.status) continue;
        const struct statx& info = *candidate.status;
        if (isReusable(&previous_[it->second], static_cast<std::int64_t>(info.stx_size), modificationDate(info)))
            expectedAtPath_[it->second] = true;
    }
}

std::size_t Reuser::atPath(const Candidate& candidate) const {
    // A candidate of the span told to expect is found by its place in it.
    if (!expected_.empty() && &candidate >= expected_.data() && &candidate < expected_.data() + expected_.size())
        return atPathOf_[static_cast<std::size_t>(&candidate - expected_.data())];
    const auto it = byPath_.find(candidate.path);
    return it == byPath_.end() ? std::string::npos : it->second;
}

Reuser::~Reuser() = default;

const std::optional<std::string>& Reuser::identityOf(const Candidate& candidate, const struct statx& info) {
    // A scan's candidates carry the identity read while listing; others read it here.
    if (candidate.identityRead) return candidate.identity;
    identityRead_ = readIdentity_(info, candidate.path);
    return identityRead_;
}

bool Reuser::isClaimed(std::size_t record, const std::unordered_set<UUID>* alsoClaimed) const {
    return claimedRecords_[sameID_[record]] || (alsoClaimed && alsoClaimed->contains(previous_[record].id()));
}

std::size_t Reuser::match(std::size_t atPath, const std::optional<std::string>& identity,
                          const std::unordered_set<UUID>* alsoClaimed) const {
    if (atPath != std::string::npos) return atPath;
    if (!identity) return std::string::npos;
    if (const auto it = byIdentity_.find(*identity); it != byIdentity_.end())
        for (std::size_t i = it->second.first; i != std::string::npos; i = nextOfIdentity_[i])
            if (!expectedAtPath_[i] && !isClaimed(i, alsoClaimed)) return i;
    return std::string::npos;
}

abandonable::Pool& Reuser::pool(unsigned threads) {
    if (!pool_)
        pool_ = std::make_unique<abandonable::Pool>(threads == 0 ? ordered::defaultThreads() : threads, quietLimit_);
    return *pool_;
}

abandonable::Pool::Handle Reuser::submitInspection(const Candidate& candidate,
                                                   const std::shared_ptr<Inspection>& into) {
    // The work owns its candidate and its result: a thread given up on touches nothing else. Its
    // comeback tells when a file that did not answer does.
    auto comeback = std::make_shared<StallMemory::Comeback>();
    into->answer = comeback->answer();
    return pool(1).submit([candidate, into, comeback](std::stop_token stop, const abandonable::Beat&) {
        try {
            const files::FileDescriptor folder = openFolderOf(candidate);
            into->file = FileInspector::inspectAt(folder.get(), lastComponent(candidate.path), candidate.path, "",
                                                  std::nullopt, false, stop);
        } catch (...) {
            into->failure = std::current_exception();
        }
    });
}

bool Reuser::isHung(const struct statx& info) { return memory_ && memory_->skipsFile(info); }

void Reuser::markHung(const Candidate& candidate, const struct statx& info, const IndexedAsset* previous,
                      const StallMemory::Answer& answer, std::map<UUID, std::string>& sourceErrors) {
    fail(candidate, SorvikError::message(unresponsiveFileMessage(candidate.path)), sourceErrors);
    // Neither read nor gone: its record stays as it was.
    if (previous) hungRecords_.insert(previous->id());
    if (memory_ && answer) memory_->fileStuck(info, answer);
}

void Reuser::fail(const Candidate& candidate, const std::exception& failure,
                  std::map<UUID, std::string>& sourceErrors) {
    if (!candidate.sourceID) return;
    sourceErrors[*candidate.sourceID] = unreadableFileMessage(failure, ++unreadableCounts_[*candidate.sourceID]);
}

void Reuser::inspectAhead(std::span<const Candidate> candidates, unsigned threads, std::stop_token stop) {
    ahead_.clear();  // whatever the last batch left is no longer wanted
    // The decisions of process, replayed with the claims it would add. Inspection only adds
    // failures (which claim nothing), so only a failing file can make a later guess wrong.
    std::vector<std::size_t> wanted;
    std::unordered_set<UUID> claims;
    claims.reserve(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Candidate& candidate = candidates[i];
        // Reused at its path, as expect found: no later file of its identity takes its record.
        const std::size_t at = atPath(candidate);
        if (at != std::string::npos && expectedAtPath_[at]) continue;
        struct statx info {};
        if (!readStatus(candidate, info)) continue;
        const std::size_t record = match(at, identityOf(candidate, info), &claims);
        const IndexedAsset* previous = record == std::string::npos ? nullptr : &previous_[record];
        if (previous && isClaimed(record, &claims)) continue;
        if (!isReusable(previous, static_cast<std::int64_t>(info.stx_size), modificationDate(info)) && !isHung(info))
            wanted.push_back(i);
        if (previous) claims.insert(previous->id());  // a new file's fresh identifier matches nothing
    }
    if (wanted.empty()) return;

    pool(threads);
    std::vector<std::shared_ptr<Inspection>> done;
    std::vector<abandonable::Pool::Handle> jobs;
    done.reserve(wanted.size());
    jobs.reserve(wanted.size());
    for (const std::size_t i : wanted) {
        done.push_back(std::make_shared<Inspection>());
        jobs.push_back(submitInspection(candidates[i], done.back()));
    }
    // A file that does not answer is given up alone (every silent one at the same time); the
    // thread left with it may still write its result, which is never read.
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        Inspection inspection{{}, nullptr, true, done[k]->answer};
        if (pool_->wait(jobs[k], stop) == abandonable::Pool::Outcome::finished) inspection = std::move(*done[k]);
        ahead_.insert_or_assign(candidates[wanted[k]].path, std::move(inspection));
    }
}

Reuser::Inspection Reuser::inspected(const Candidate& candidate, std::stop_token stop) {
    if (auto node = ahead_.extract(candidate.path)) return std::move(node.mapped());
    auto result = std::make_shared<Inspection>();
    const abandonable::Pool::Handle job = submitInspection(candidate, result);
    if (pool_->wait(job, stop) == abandonable::Pool::Outcome::abandoned)
        return Inspection{{}, nullptr, true, result->answer};
    return std::move(*result);
}

const std::optional<std::string>& Reuser::folderTopic(const std::string& relativeFolder) {
    // Many files share a folder: clean each folder name once per scan.
    if (lastTopic_ && lastTopic_->first == relativeFolder) return lastTopic_->second;
    auto it = folderTopics_.find(relativeFolder);
    if (it == folderTopics_.end())
        it = folderTopics_.emplace(relativeFolder, ProjectMatcher::folderTopic(relativeFolder)).first;
    lastTopic_ = &*it;
    return it->second;
}

void Reuser::recognize(IndexedAsset& asset, const Candidate& candidate, std::stop_token stop) {
    if (!recognizeText_ || recognitionHung_ || recognitionUnavailable_ || !asset.file.isImage() ||
        asset.didAttemptOCR || asset.folderHint || recognized_ >= recognitionLimit ||
        ProjectMatcher::topic(stemOf(asset.file.name)))
        return;
    struct Recognition {
        std::optional<std::string> text;
        bool unavailable = false;
    };
    auto result = std::make_shared<Recognition>();
    if (!recognizer_) recognizer_ = std::make_shared<LocalTextRecognizer::Recognizer>();
    const auto job =
        pool(1).submit([recognizer = recognizer_, candidate, result](std::stop_token token, const abandonable::Beat&) {
            try {
                result->text = recognizer->recognize(openListedFile(candidate).get(), token);
            } catch (const media::ModuleUnavailable&) {
                result->unavailable = true;
            } catch (...) {
                // A failed recognition leaves no text; the attempt still counts.
            }
        });
    if (pool_->wait(job, stop) == abandonable::Pool::Outcome::abandoned) {
        // Not an attempt: the image is tried again by a later scan. The recognizer stays with
        // the recognition given up; no other runs in this scan.
        recognitionHung_ = true;
        recognizer_.reset();
        return;
    }
    if (result->unavailable) {
        // Not an attempt either: the image is tried again once the module loads.
        recognitionUnavailable_ = true;
        return;
    }
    asset.recognizedText = std::move(result->text);
    asset.didAttemptOCR = true;
    ++recognized_;
}

void Reuser::process(const Candidate& candidate, std::map<UUID, std::string>& sourceErrors, std::stop_token stop) {
    // One attribute read gives the size, the date and the identity.
    struct statx info {};
    if (!readStatus(candidate, info)) {
        fail(candidate, files::systemError(errno, candidate.path, "cannot read"), sourceErrors);
        return;
    }
    const std::int64_t bytes = static_cast<std::int64_t>(info.stx_size);
    const Date modifiedAt = modificationDate(info);
    const std::optional<std::string>& identity = identityOf(candidate, info);

    const std::size_t record = match(atPath(candidate), identity);
    const IndexedAsset* previous = record == std::string::npos ? nullptr : &previous_[record];
    if (previous && isClaimed(record, nullptr)) return;

    const bool reusable = isReusable(previous, bytes, modifiedAt);
    if (reusable) {
        // Copied once, straight into the results.
        results_.push_back(*previous);
        IndexedAsset& asset = results_.back();
        asset.sourceChanged = false;
        if (!asset.file.reference || asset.file.reference->path != candidate.path)
            asset.file.reference = FileReference::make(candidate.path, modifiedAt, identity);
        else if (asset.file.reference->identity != identity)
            asset.file.reference->identity = identity;  // the file's now: an older form is rewritten
        ++reused_;
    } else {
        // A file stuck in an earlier scan that has not answered since is not waited on again.
        if (isHung(info)) {
            markHung(candidate, info, previous, nullptr, sourceErrors);
            return;
        }
        Inspection inspection = inspected(candidate, stop);
        if (stop.stop_requested()) throw CancellationError();
        if (inspection.hung) {
            markHung(candidate, info, previous, inspection.answer, sourceErrors);
            return;
        }
        IndexedAsset asset;
        DeliveryFile file;
        try {
            if (inspection.failure) std::rethrow_exception(inspection.failure);
            file = std::move(inspection.file);
        } catch (const CancellationError&) {
            throw;
        } catch (const std::exception& failure) {
            fail(candidate, failure, sourceErrors);
            return;
        }
        if (previous) {
            const DeliveryFile& before = previous->file;
            file.id = before.id;
            file.role = before.role;
            file.crop = before.crop;
            file.editedText = before.editedText;
            if (before.crop || before.editedText) file.sourceUpdatePending = true;
            if (isUnchanged(previous, bytes, modifiedAt)) file.sourceUpdatePending = before.sourceUpdatePending;
        }
        file.reference = FileReference::make(candidate.path, modifiedAt, identity);
        asset = IndexedAsset(std::move(file), candidate.sourceID, candidate.relativeFolder, std::nullopt);
        if (previous) {
            asset.projectID = previous->projectID;
            asset.assignment = previous->assignment;
            // Only read again (the media module is back): as changed as it was.
            asset.sourceChanged = !isUnchanged(previous, bytes, modifiedAt) || previous->sourceChanged;
        }
        ++inspected_;
        results_.push_back(std::move(asset));
    }
    if (previous && previous->file.reference && previous->file.reference->path != candidate.path) ++moved_;

    // Left as they are when they already hold the same (a reused record mostly does).
    IndexedAsset& asset = results_.back();
    if (const std::string_view name = lastComponentOf(candidate.path); asset.file.name != name) asset.file.name = name;
    asset.sourceID = candidate.sourceID;
    if (asset.relativeFolder != candidate.relativeFolder) asset.relativeFolder = candidate.relativeFolder;
    if (const std::optional<std::string>& hint = folderTopic(candidate.relativeFolder); asset.folderHint != hint)
        asset.folderHint = hint;
    asset.isMissing = false;
    // Claimed by record: a new file's fresh identifier matches no record.
    if (previous) claim(record);
    try {
        recognize(asset, candidate, stop);
    } catch (...) {
        results_.pop_back();
        throw;
    }
}

void Reuser::claim(std::size_t record) {
    std::vector<bool>::reference claimed = claimedRecords_[sameID_[record]];
    if (!claimed) ++claimedCount_;
    claimed = true;
}

void Reuser::keepUnclaimed(const std::set<UUID>& walkedSources, const std::unordered_set<std::string>& missingLinked) {
    // Claims are mostly of previous records: this is about what is left.
    results_.reserve(results_.size() + previous_.size() - std::min(previous_.size(), claimedCount_));
    for (std::size_t i = 0; i < previous_.size(); ++i) {
        if (claimedRecords_[sameID_[i]]) continue;
        IndexedAsset& kept = results_.emplace_back(previous_[i]);
        if (hungRecords_.contains(kept.id())) {
            // Its file did not answer: neither read nor known to be gone.
        } else if (kept.sourceID) {
            if (walkedSources.contains(*kept.sourceID)) {
                kept.isMissing = true;
                kept.file.inspectionError = movedOutMessage;
            }
        } else if (kept.file.reference && missingLinked.contains(kept.file.reference->resolve(false).string())) {
            kept.isMissing = true;
            kept.file.inspectionError = unavailableMessage;
        }
    }
}

ScanResult Reuser::finish(std::map<UUID, std::string> sourceErrors) && {
    ScanResult result;
    result.assets = std::move(results_);
    result.sourceErrors = std::move(sourceErrors);
    result.inspectedCount = inspected_;
    result.reusedCount = reused_;
    result.movedCount = moved_;
    result.ocrCount = recognized_;
    return result;
}

}  // namespace sorvik::AssetReuse
