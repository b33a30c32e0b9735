#include "SorvikCore/StallMemory.hpp"

#include <sys/sysmacros.h>

namespace sorvik {

namespace {

bool answered(const StallMemory::Answer& answer) { return !answer || answer->load(std::memory_order_acquire); }

std::int64_t modifiedNs(const struct statx& info) {
    return static_cast<std::int64_t>(info.stx_mtime.tv_sec) * 1'000'000'000 + info.stx_mtime.tv_nsec;
}

}  // namespace

void StallMemory::beginScan() {
    const std::lock_guard lock(mutex_);
    ++scan_;
    std::erase_if(files_, [](const auto& entry) { return answered(entry.second.answer); });
    std::erase_if(sources_, [](const auto& entry) { return answered(entry.second.answer); });
}

std::size_t StallMemory::stuckThreads() const {
    std::size_t count = 0;
    for (const auto& [key, file] : files_) count += answered(file.answer) ? 0 : 1;
    return count;
}

bool StallMemory::skipsFile(const struct statx& info) {
    const std::lock_guard lock(mutex_);
    const auto it = files_.find({::makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino});
    if (it == files_.end()) return false;
    const File& file = it->second;
    const bool changed = file.size != static_cast<std::int64_t>(info.stx_size) || file.modifiedNs != modifiedNs(info);
    const bool expired = scan_ - file.scan >= fileScans && stuckThreads() < stuckThreadLimit;
    if (changed || expired || answered(file.answer)) {
        files_.erase(it);
        return false;
    }
    return true;
}

void StallMemory::fileStuck(const struct statx& info, Answer answer) {
    if (answered(answer)) return;
    const std::lock_guard lock(mutex_);
    if (files_.size() >= fileLimit) {
        // The oldest goes first.
        auto oldest = files_.begin();
        for (auto it = files_.begin(); it != files_.end(); ++it)
            if (it->second.scan < oldest->second.scan) oldest = it;
        files_.erase(oldest);
    }
    files_.insert_or_assign(FileKey{::makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino},
                            File{static_cast<std::int64_t>(info.stx_size), modifiedNs(info), scan_, std::move(answer)});
}

bool StallMemory::skipsSource(const UUID& source, const std::string& path) {
    const std::lock_guard lock(mutex_);
    const auto it = sources_.find(source);
    if (it == sources_.end()) return false;
    if (it->second.path != path || answered(it->second.answer)) {
        sources_.erase(it);
        return false;
    }
    return true;
}

void StallMemory::sourceSilent(const UUID& source, const std::string& path, Answer answer) {
    if (answered(answer)) return;
    const std::lock_guard lock(mutex_);
    if (sources_.size() >= sourceLimit && !sources_.contains(source)) return;
    sources_.insert_or_assign(source, Source{path, std::move(answer)});
}

}  // namespace sorvik
