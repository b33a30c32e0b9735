#pragma once
// What a file preview loads and when: the load key, the glyph's label, the order of the ways a
// picture is made, the picture sizes, the byte budget of the cache and the queue of pending loads.
// Pure values, shared by the loader's GUI side and its workers.
#include <QSize>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// The longest side an image is decoded at for a preview.
inline constexpr int thumbnailImageMaxPixel = 1000;
/// The box a video frame is fitted into.
inline constexpr QSize thumbnailVideoBox{800, 600};

/// A number as the shortest decimal text that reads back as the same value, always with a
/// fraction or an exponent: "0.75", "0.0", "1700000000.5", "1e+16", "1e-05".
std::string shortestNumberText(double value);

/// The text that decides when a file's picture is loaded again: the id, the crop's ratio, x and y
/// ("0.0" each without a crop), the original's modification time in seconds since 1970 ("0.0"
/// without a reference) and its stored path (empty without one), joined by "-".
std::string thumbnailLoadKey(const DeliveryFile& file);

/// The paper glyph's label: the file's extension in capitals; empty when it has none.
QString paperGlyphLabel(const DeliveryFile& file);

/// The ways a file's picture can be made.
enum class ThumbnailSource { image, videoFrame };

/// The ways to try, in order: an image is decoded as a picture first; a file with a duration
/// (whatever its extension) then gets a video frame. Empty for documents, texts and subtitles.
std::vector<ThumbnailSource> thumbnailSources(const DeliveryFile& file);

/// The frame size a picture is made for: each side rounded up to a step of a ladder (about 1.5x
/// apart), so that small layout changes reuse the same picture.
QSize thumbnailSizeClass(QSize frame);

/// The longest side to decode an upright picture of `picture` pixels at, so that `window` of it
/// (its crop window, in the same pixels; the whole picture when empty), drawn scaled to fill,
/// still covers `frame` with two pixels to spare against rounding; at most the preview limit.
int thumbnailDecodeLimit(QSizeF picture, QSizeF window, QSize frame);

/// One load for the workers: what to read and the frame to make the picture for.
struct ThumbnailJob {
    std::string key;
    UUID fileId;
    std::filesystem::path location;
    std::optional<CropSpec> crop;
    std::vector<ThumbnailSource> sources;
    QSize frame;  // a size class
};

/// Least-recently-used bookkeeping of pictures held within a byte limit.
class ThumbnailBudget {
public:
    explicit ThumbnailBudget(std::int64_t limitBytes) : limit_(limitBytes) {}

    /// Records the key with its size as the most recently used (replacing an earlier size) and
    /// returns the keys to let go, least recently used first, to get back within the limit. The
    /// key just stored is never among them.
    std::vector<std::string> store(const std::string& key, std::int64_t bytes);
    /// Marks the key as just used; nothing when it is not held.
    void touch(const std::string& key);
    void remove(const std::string& key);
    bool contains(const std::string& key) const { return entries_.contains(key); }

    std::int64_t bytes() const { return bytes_; }
    std::int64_t limit() const { return limit_; }
    std::size_t count() const { return entries_.size(); }

private:
    struct Entry {
        std::int64_t bytes = 0;
        std::list<std::string>::iterator position;
    };
    std::int64_t limit_;
    std::int64_t bytes_ = 0;
    std::list<std::string> order_;  // most recently used first
    std::unordered_map<std::string, Entry> entries_;
};

/// The pending loads. The newest paint pass is served first, and within it the order of painting;
/// a load that many newer loads have passed without its card asking again belongs to a card
/// scrolled away and is dropped. Not thread-safe: the loader guards it.
class ThumbnailQueue {
public:
    /// Loads queued after a job, without the job being asked for again, before it is dropped.
    static constexpr std::uint64_t defaultHorizon = 256;

    explicit ThumbnailQueue(std::uint64_t horizon = defaultHorizon) : horizon_(horizon) {}

    /// Asks for the job in paint pass `pass`: queues it, or refreshes the pending one with the same
    /// key (its frame grows to cover both). A pending job of the same file with another key is
    /// dropped. Nothing when a running job with the same key already covers the frame.
    void want(ThumbnailJob job, std::uint64_t pass);
    /// The next job to run, now counted as running; nothing when none is left.
    std::optional<ThumbnailJob> take();
    /// A running job ended (with or without a picture).
    void finish(const std::string& key, QSize frame);
    /// Drops every pending job; running ones finish.
    void clear();

    std::size_t pendingCount() const { return pending_.size(); }
    std::size_t runningCount() const;
    bool isPending(const std::string& key) const { return pending_.contains(key); }

private:
    struct Pending {
        ThumbnailJob job;
        std::uint64_t pass = 0;
        std::uint64_t order = 0;  // when it was last asked for
        std::uint64_t mark = 0;   // new jobs queued before it was last asked for
    };
    std::uint64_t horizon_;
    std::uint64_t order_ = 0;
    std::uint64_t queued_ = 0;  // new jobs ever queued
    std::unordered_map<std::string, Pending> pending_;
    std::unordered_map<UUID, std::string> pendingByFile_;
    std::unordered_map<std::string, std::vector<QSize>> running_;
};

}  // namespace sorvik::app
