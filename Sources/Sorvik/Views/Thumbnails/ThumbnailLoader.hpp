#pragma once
// Decodes the previews of files off the GUI thread on a small pool of its own and caches them;
// views paint what is ready and repaint when `pictureReady` says more is.
#include <QImage>
#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "Sorvik/Views/Thumbnails/Logic/ThumbnailLogic.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// Makes the picture of a job; runs on a worker thread.
using ThumbnailDecoder = std::function<QImage(const ThumbnailJob&, std::stop_token)>;

/// The picture of a job, as its sources say in their order: the image decoded upright at most
/// 1000 pixels with the crop applied (the whole picture when the crop is invalid, nothing when it
/// cannot be cut), or else the first video frame within 800 by 600; in both cases no larger than
/// it takes to cover the job's frame. Null when no picture can be made. Safe on any thread;
/// never throws.
QImage decodeThumbnail(const ThumbnailJob& job, std::stop_token stop = {});

class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    /// Pictures held at most, in bytes.
    static constexpr std::int64_t defaultCacheBytes = std::int64_t(96) << 20;

    explicit ThumbnailLoader(QObject* parent = nullptr);
    /// With another decoder, number of worker threads and cache limit (tests and benchmarks).
    ThumbnailLoader(ThumbnailDecoder decoder, int threads, std::int64_t cacheBytes, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    /// The picture of the file for a frame of `pixelSize` device pixels, from the cache. When it is
    /// missing or too small for the frame, a load starts (never for a file without a location or
    /// one whose load already failed) and meanwhile the file's earlier picture is returned, if any:
    /// a changed crop or original keeps showing the old picture until the new one is ready, and
    /// for good when the new one cannot be made. Null for files without a picture. Never waits.
    QImage picture(const DeliveryFile& file, const std::optional<std::filesystem::path>& location, QSize pixelSize);

    /// Bytes of the pictures held now: at most `cacheLimit()`, or one picture when that alone is larger.
    std::int64_t cacheBytes() const;
    std::int64_t cacheLimit() const;
    int threadCount() const;
    /// Whether loads are queued or running, or their results still wait for the GUI thread.
    bool hasWork() const;

signals:
    /// A picture for this load key is ready: repaint what shows it. Emitted only for the newest
    /// key asked for its file; a late result for an older key is dropped.
    void pictureReady(const QString& key);

private:
    struct State;
    void request(ThumbnailJob job);
    void work(std::stop_token stop);  // a worker thread
    void takeResults();
    void finished(const ThumbnailJob& job, const QImage& image);
    std::unique_ptr<State> state_;
};

}  // namespace sorvik::app
