#include "Sorvik/Views/Thumbnails/Logic/ThumbnailLogic.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "Sorvik/Support/Strings.hpp"

namespace sorvik::app {

std::string shortestNumberText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[64];
    const double magnitude = std::fabs(value);
    // Plain decimals from 1e-4 up to 2^54, an exponent outside that range.
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude <= 18014398509481984.0);
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    if (plain && text.find('.') == std::string::npos) text += ".0";
    return text;
}

std::string thumbnailLoadKey(const DeliveryFile& file) {
    const CropSpec none{0, 0, 0};
    const CropSpec& crop = file.crop ? *file.crop : none;
    std::string key = file.id.string();
    for (const double number : {crop.ratio, crop.x, crop.y}) key += "-" + shortestNumberText(number);
    key += "-" + (file.reference ? shortestNumberText(file.reference->modifiedAt.unixSeconds()) : std::string("0.0"));
    key += "-" + (file.reference ? file.reference->path : std::string());
    return key;
}

QString paperGlyphLabel(const DeliveryFile& file) { return qs(file.fileExtension()).toUpper(); }

std::vector<ThumbnailSource> thumbnailSources(const DeliveryFile& file) {
    std::vector<ThumbnailSource> sources;
    if (file.isImage()) sources.push_back(ThumbnailSource::image);
    if (file.duration) sources.push_back(ThumbnailSource::videoFrame);
    return sources;
}

QSize thumbnailSizeClass(QSize frame) {
    static constexpr std::array<int, 14> ladder{32, 48, 64, 96, 128, 192, 256, 384, 512, 768, 1024, 1536, 2048, 3072};
    const auto step = [](int side) {
        for (const int rung : ladder)
            if (side <= rung) return rung;
        return ladder.back();
    };
    return QSize(step(frame.width()), step(frame.height()));
}

int thumbnailDecodeLimit(QSizeF picture, QSizeF window, QSize frame) {
    if (picture.isEmpty() || frame.isEmpty()) return thumbnailImageMaxPixel;
    if (window.isEmpty()) window = picture;
    // Two pixels to spare in the window's own pixels, against rounding when it is cut.
    const double scale = std::max((frame.width() + 2) / window.width(), (frame.height() + 2) / window.height());
    const double needed = std::ceil(std::max(picture.width(), picture.height()) * scale - 1e-9);
    return int(std::clamp(needed, 1.0, double(thumbnailImageMaxPixel)));
}

std::vector<std::string> ThumbnailBudget::store(const std::string& key, std::int64_t bytes) {
    remove(key);
    order_.push_front(key);
    entries_.emplace(key, Entry{bytes, order_.begin()});
    bytes_ += bytes;
    std::vector<std::string> evicted;
    while (bytes_ > limit_ && order_.size() > 1) {
        evicted.push_back(order_.back());
        remove(order_.back());
    }
    return evicted;
}

void ThumbnailBudget::touch(const std::string& key) {
    const auto found = entries_.find(key);
    if (found != entries_.end()) order_.splice(order_.begin(), order_, found->second.position);
}

void ThumbnailBudget::remove(const std::string& key) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) return;
    bytes_ -= found->second.bytes;
    order_.erase(found->second.position);
    entries_.erase(found);
}

namespace {

bool covers(QSize big, QSize small) { return big.width() >= small.width() && big.height() >= small.height(); }

}  // namespace

void ThumbnailQueue::want(ThumbnailJob job, std::uint64_t pass) {
    if (const auto running = running_.find(job.key); running != running_.end())
        for (const QSize frame : running->second)
            if (covers(frame, job.frame)) return;
    if (const auto other = pendingByFile_.find(job.fileId); other != pendingByFile_.end() && other->second != job.key)
        pending_.erase(other->second);  // the file's key moved on
    pendingByFile_[job.fileId] = job.key;
    const auto found = pending_.find(job.key);
    if (found != pending_.end()) {
        Pending& pending = found->second;
        pending.job.frame = pending.job.frame.expandedTo(job.frame);
        pending.job.location = std::move(job.location);
        pending.pass = pass;
        pending.order = ++order_;
        pending.mark = queued_;
        return;
    }
    const std::string key = job.key;
    pending_.emplace(key, Pending{std::move(job), pass, ++order_, ++queued_});
    // Forget loads of cards long gone, so a fast scroll through thousands keeps the queue short.
    if (pending_.size() > 2 * horizon_) {
        std::erase_if(pending_, [&](const auto& entry) { return queued_ - entry.second.mark > horizon_; });
        std::erase_if(pendingByFile_, [&](const auto& entry) { return !pending_.contains(entry.second); });
    }
}

std::optional<ThumbnailJob> ThumbnailQueue::take() {
    auto best = pending_.end();
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (queued_ - it->second.mark > horizon_) {
            pendingByFile_.erase(it->second.job.fileId);
            it = pending_.erase(it);
            continue;
        }
        if (best == pending_.end() || it->second.pass > best->second.pass ||
            (it->second.pass == best->second.pass && it->second.order < best->second.order))
            best = it;
        ++it;
    }
    if (best == pending_.end()) return std::nullopt;
    ThumbnailJob job = std::move(best->second.job);
    pending_.erase(best);
    if (const auto file = pendingByFile_.find(job.fileId); file != pendingByFile_.end() && file->second == job.key)
        pendingByFile_.erase(file);
    running_[job.key].push_back(job.frame);
    return job;
}

void ThumbnailQueue::finish(const std::string& key, QSize frame) {
    const auto found = running_.find(key);
    if (found == running_.end()) return;
    const auto at = std::find(found->second.begin(), found->second.end(), frame);
    if (at != found->second.end()) found->second.erase(at);
    if (found->second.empty()) running_.erase(found);
}

void ThumbnailQueue::clear() {
    pending_.clear();
    pendingByFile_.clear();
}

std::size_t ThumbnailQueue::runningCount() const {
    std::size_t count = 0;
    for (const auto& [key, frames] : running_) count += frames.size();
    return count;
}

}  // namespace sorvik::app
