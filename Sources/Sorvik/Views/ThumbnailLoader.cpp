// The preview loader: a small pool of low-priority workers of its own decodes pictures through
// the core (libvips for images, FFmpeg for video frames) into QImages; the GUI thread keeps a
// cache bounded by bytes and only ever looks things up.
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_map>

#include "Sorvik/Views/FileThumbnail.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Video.hpp"

namespace sorvik::app {

namespace {

/// Keys whose load made no picture are remembered so that repaints do not decode them again,
/// for a while: a file on a drive that comes back gets its picture.
constexpr std::size_t rememberedFailures = 4096;
constexpr auto failureRetry = std::chrono::seconds(30);

QImage toQImage(const images::Pixels& pixels) {
    QImage::Format format = QImage::Format_RGB888;
    if (pixels.bands == 1) format = QImage::Format_Grayscale8;
    else if (pixels.bands == 4) format = QImage::Format_RGBA8888;
    else if (pixels.bands != 3) return {};
    const qsizetype stride = qsizetype(pixels.width) * pixels.bands;
    if (pixels.width < 1 || pixels.height < 1 || std::size_t(stride) * pixels.height > pixels.data.size()) return {};
    // A view of the decoder's rows; the conversion makes the image's own copy.
    const QImage view(pixels.data.data(), pixels.width, pixels.height, stride, format);
    return view.convertToFormat(pixels.bands == 4 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

QImage fitted(const QImage& image, QSize frame) {
    if (image.isNull()) return image;
    const QSize size = thumbnailScaledSize(image.size(), frame);
    return size == image.size() ? image : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

/// The longest side to decode an image at: at most the preview limit, and no more than the
/// picture (or its crop window) needs to cover the job's frame, so that a JPEG shrinks on load.
int decodeLimit(const ThumbnailJob& job) {
    const auto header = images::properties(job.location);
    if (!header) return thumbnailImageMaxPixel;  // decoding reports what is wrong
    const double width = header->orientedWidth(), height = header->orientedHeight();
    double windowWidth = width, windowHeight = height;
    if (job.crop) {
        try {
            const auto window = DeliveryExporter::cropRect(header->orientedWidth(), header->orientedHeight(), *job.crop);
            if (window.width >= 1 && window.height >= 1) {
                windowWidth = window.width;
                windowHeight = window.height;
            }
        } catch (const SorvikError&) {
        }
    }
    const double scale = std::max(job.frame.width() / windowWidth, job.frame.height() / windowHeight);
    // Two pixels to spare so that rounding never leaves the picture short of the frame.
    const double needed = std::ceil(std::max(width, height) * scale) + 2;
    return int(std::clamp(needed, 1.0, double(thumbnailImageMaxPixel)));
}

/// The picture of an image file; nothing when it cannot be decoded, so that a video frame is
/// tried next. A crop that cannot be cut gives a null picture.
std::optional<QImage> imagePicture(const ThumbnailJob& job) {
    images::Image decoded;
    try {
        decoded = DeliveryExporter::orientedImage(job.location, decodeLimit(job));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    try {
        if (job.crop) {
            std::optional<DeliveryExporter::CropRect> rect;
            try {
                rect = DeliveryExporter::cropRect(decoded.width(), decoded.height(), *job.crop);
            } catch (const SorvikError&) {
                // An invalid crop shows the whole picture.
            }
            if (rect)
                decoded = images::crop(decoded, int(rect->x), int(rect->y), int(rect->width), int(rect->height));
        }
        return fitted(toQImage(images::pixels(decoded)), job.frame);
    } catch (const std::exception&) {
        return QImage();
    }
}

/// Workers run below the GUI thread: a nice value of their own (Linux threads have one each).
void lowerThisThread() {
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

struct Picture {
    QImage image;
    UUID fileId;
    bool complete = false;  // as large as the decoder makes it: covers any frame
};

bool covers(const Picture& picture, QSize frame) {
    return picture.complete ||
           (picture.image.width() >= frame.width() && picture.image.height() >= frame.height());
}

}  // namespace

QImage decodeThumbnail(const ThumbnailJob& job, std::stop_token stop) {
    try {
        for (const ThumbnailSource source : job.sources) {
            if (stop.stop_requested()) return {};
            if (source == ThumbnailSource::image) {
                if (auto picture = imagePicture(job)) return *picture;
                continue;  // not decodable as an image: a file with a duration tries for a frame
            }
            return fitted(toQImage(video::firstFrame(job.location, thumbnailVideoBox.width(),
                                                     thumbnailVideoBox.height(), stop)),
                          job.frame);
        }
    } catch (...) {
        // No picture; the glyph stays.
    }
    return {};
}

struct ThumbnailLoader::State {
    State(ThumbnailDecoder decoder, int threads, std::int64_t cacheBytes)
        : decoder(std::move(decoder)), threads(std::max(1, threads)), budget(cacheBytes) {}

    ThumbnailDecoder decoder;
    int threads;
    QThreadPool pool;
    std::stop_source stop;

    // Shared with the workers.
    std::mutex mutex;
    ThumbnailQueue queue;
    int workers = 0;

    // GUI thread only.
    ThumbnailBudget budget;
    std::unordered_map<std::string, Picture> pictures;
    std::unordered_map<UUID, std::string> latest;  // the newest key asked for each file
    std::unordered_map<UUID, std::string> shown;   // the key of each file's last picture
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> failed;  // key: when
    std::deque<std::string> failedOrder;
    std::uint64_t pass = 0;  // paint passes: one per turn of the event loop that asked for pictures
    bool passOpen = false;

    void forget(const std::string& key) {
        const auto found = pictures.find(key);
        if (found == pictures.end()) return;
        if (const auto s = shown.find(found->second.fileId); s != shown.end() && s->second == key) shown.erase(s);
        budget.remove(key);
        pictures.erase(found);
    }

    void rememberFailure(const std::string& key) {
        const auto [at, added] = failed.insert_or_assign(key, std::chrono::steady_clock::now());
        if (!added) return;
        failedOrder.push_back(key);
        if (failedOrder.size() > rememberedFailures) {
            failed.erase(failedOrder.front());
            failedOrder.pop_front();
        }
    }

    bool failedLately(const std::string& key) const {
        const auto found = failed.find(key);
        return found != failed.end() && std::chrono::steady_clock::now() - found->second < failureRetry;
    }
};

ThumbnailLoader::ThumbnailLoader(QObject* parent)
    : ThumbnailLoader(decodeThumbnail, std::clamp(QThread::idealThreadCount() / 2, 2, 3), defaultCacheBytes,
                      parent) {}

ThumbnailLoader::ThumbnailLoader(ThumbnailDecoder decoder, int threads, std::int64_t cacheBytes, QObject* parent)
    : QObject(parent), state_(std::make_unique<State>(std::move(decoder), threads, cacheBytes)) {
    state_->pool.setMaxThreadCount(state_->threads);
    state_->pool.setThreadPriority(QThread::LowPriority);
}

ThumbnailLoader::~ThumbnailLoader() {
    state_->stop.request_stop();
    {
        const std::lock_guard lock(state_->mutex);
        state_->queue.clear();
    }
    // At most one decode per worker is still running; video decodes stop at once.
    state_->pool.waitForDone();
}

std::int64_t ThumbnailLoader::cacheBytes() const { return state_->budget.bytes(); }
std::int64_t ThumbnailLoader::cacheLimit() const { return state_->budget.limit(); }
int ThumbnailLoader::threadCount() const { return state_->threads; }

bool ThumbnailLoader::hasWork() const {
    const std::lock_guard lock(state_->mutex);
    return state_->queue.pendingCount() + state_->queue.runningCount() > 0;
}

QImage ThumbnailLoader::picture(const DeliveryFile& file, const std::optional<std::filesystem::path>& location,
                                QSize pixelSize) {
    State& s = *state_;
    std::string key = thumbnailLoadKey(file);
    if (auto& latest = s.latest[file.id]; latest != key) latest = key;
    if (!s.passOpen) {
        s.passOpen = true;
        QMetaObject::invokeMethod(
            this, [this] {
                state_->passOpen = false;
                ++state_->pass;
            },
            Qt::QueuedConnection);
    }
    const QSize frame = pixelSize.expandedTo(QSize(1, 1));
    const auto found = s.pictures.find(key);
    if (found != s.pictures.end()) s.budget.touch(key);
    const bool covered = found != s.pictures.end() && covers(found->second, frame);
    if (!covered && location && !s.failedLately(key)) {
        std::vector<ThumbnailSource> sources = thumbnailSources(file);
        if (!sources.empty())
            request(ThumbnailJob{key, file.id, *location, file.crop, std::move(sources), thumbnailSizeClass(frame)});
    }
    if (found != s.pictures.end()) return found->second.image;
    if (const auto shown = s.shown.find(file.id); shown != s.shown.end())
        if (const auto earlier = s.pictures.find(shown->second); earlier != s.pictures.end()) return earlier->second.image;
    return {};
}

void ThumbnailLoader::request(ThumbnailJob job) {
    State& s = *state_;
    const std::lock_guard lock(s.mutex);
    s.queue.want(std::move(job), s.pass);
    if (s.workers >= s.threads || s.queue.pendingCount() == 0) return;
    ++s.workers;
    s.pool.start([this] {
        lowerThisThread();
        State& s = *state_;
        for (;;) {
            std::optional<ThumbnailJob> next;
            {
                const std::lock_guard lock(s.mutex);
                if (!s.stop.stop_requested()) next = s.queue.take();
                if (!next) {
                    --s.workers;
                    return;
                }
            }
            QImage image;
            try {
                image = s.decoder(*next, s.stop.get_token());
            } catch (...) {
                image = QImage();
            }
            QMetaObject::invokeMethod(
                this, [this, job = std::move(*next), image = std::move(image)] { finished(job, image); },
                Qt::QueuedConnection);
        }
    });
}

void ThumbnailLoader::finished(const ThumbnailJob& job, const QImage& image) {
    State& s = *state_;
    {
        const std::lock_guard lock(s.mutex);
        s.queue.finish(job.key, job.frame);
    }
    // A result for a key the file has moved on from never replaces what is shown.
    const auto latest = s.latest.find(job.fileId);
    if (latest == s.latest.end() || latest->second != job.key) return;
    if (image.isNull()) {
        if (!s.pictures.contains(job.key)) s.rememberFailure(job.key);
        return;
    }
    if (const auto held = s.pictures.find(job.key);
        held != s.pictures.end() && covers(held->second, image.size()) && !held->second.image.isNull())
        return;  // a larger picture of the same key came first
    const bool complete = image.width() < job.frame.width() || image.height() < job.frame.height();
    s.pictures[job.key] = Picture{image, job.fileId, complete};
    if (const auto shown = s.shown.find(job.fileId); shown != s.shown.end() && shown->second != job.key)
        s.forget(shown->second);  // the file's earlier picture is replaced
    s.shown[job.fileId] = job.key;
    for (const std::string& evicted : s.budget.store(job.key, image.sizeInBytes())) s.forget(evicted);
    emit pictureReady(QString::fromStdString(job.key));
}

}  // namespace sorvik::app
