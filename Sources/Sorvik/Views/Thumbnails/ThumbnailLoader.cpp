// The preview loader: a small pool of low-priority workers of its own decodes pictures through
// the core (libvips for images, FFmpeg for video frames) into QImages; the GUI thread keeps a
// cache bounded by bytes and only ever looks things up.
//
// Workers and the GUI thread share only the loader's own mutex: jobs and results pass through it,
// and a worker wakes the GUI thread through an eventfd that a socket notifier watches. Nothing
// crosses threads through Qt's own queues, whose locks ThreadSanitizer cannot see.
#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

#include "Sorvik/Views/Thumbnails/ThumbnailLoader.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Video.hpp"

namespace sorvik::app {

namespace {

/// Keys whose load made no picture are remembered so that repaints do not decode them again,
/// for a while: a file on a drive that comes back gets its picture.
constexpr std::size_t rememberedFailures = 4096;
constexpr auto failureRetry = std::chrono::seconds(30);

/// The decoder's rows copied into a picture of the format painting is fastest with. Written
/// here rather than converted by Qt, whose conversions of large pictures spread over threads of
/// its own.
QImage toQImage(const images::Pixels& pixels) {
    const int bands = pixels.bands;
    if ((bands != 1 && bands != 3 && bands != 4) || pixels.width < 1 || pixels.height < 1) return {};
    const std::size_t stride = std::size_t(pixels.width) * bands;
    if (stride * pixels.height > pixels.data.size()) return {};
    QImage image(pixels.width, pixels.height, bands == 4 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* in = pixels.data.data() + stride * y;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < pixels.width; ++x, in += bands) {
            if (bands == 1) out[x] = qRgb(in[0], in[0], in[0]);
            else if (bands == 3) out[x] = qRgb(in[0], in[1], in[2]);
            else out[x] = qPremultiply(qRgba(in[0], in[1], in[2], in[3]));
        }
    }
    return image;
}

/// The longest side to decode an image at: no more than the picture (or its crop window) needs
/// to cover the job's frame, so that a JPEG shrinks on load and no further scaling is needed.
int decodeLimit(const ThumbnailJob& job) {
    const auto header = images::properties(job.location);
    if (!header) return thumbnailImageMaxPixel;  // decoding reports what is wrong
    const QSizeF picture(header->orientedWidth(), header->orientedHeight());
    QSizeF window;
    if (job.crop) {
        try {
            const auto rect = DeliveryExporter::cropRect(header->orientedWidth(), header->orientedHeight(), *job.crop);
            window = QSizeF(rect.width, rect.height);
        } catch (const SorvikError&) {
            // An invalid crop shows the whole picture.
        }
    }
    return thumbnailDecodeLimit(picture, window, job.frame);
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
            if (rect) decoded = images::crop(decoded, int(rect->x), int(rect->y), int(rect->width), int(rect->height));
        }
        return toQImage(images::pixels(decoded));
    } catch (const std::exception&) {
        return QImage();
    }
}

/// Workers run below the GUI thread: a nice value of their own (Linux threads have one each).
void lowerThisThread() { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10); }

struct Picture {
    QImage image;
    UUID fileId;
    bool complete = false;  // as large as the decoder makes it: covers any frame
};

bool covers(const Picture& picture, QSize frame) {
    return picture.complete || (picture.image.width() >= frame.width() && picture.image.height() >= frame.height());
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
            return toQImage(video::firstFrame(job.location, thumbnailVideoBox.width(), thumbnailVideoBox.height(), stop,
                                              job.frame.width(), job.frame.height()));
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
    files::FileDescriptor ready{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};  // results are waiting
    std::unique_ptr<QSocketNotifier> readyNotifier;

    // Shared with the workers.
    std::mutex mutex;
    std::condition_variable_any wake;
    ThumbnailQueue queue;
    std::vector<std::pair<ThumbnailJob, QImage>> results;  // for the GUI thread to take

    // GUI thread only.
    ThumbnailBudget budget;
    std::unordered_map<std::string, Picture> pictures;
    std::unordered_map<UUID, std::string> latest;  // the newest key asked for each file
    std::unordered_map<UUID, std::string> shown;   // the key of each file's last picture
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> failed;  // key: when
    std::deque<std::string> failedOrder;
    std::uint64_t pass = 0;  // paint passes: one per turn of the event loop that asked for pictures
    bool passOpen = false;

    std::vector<std::jthread> workers;  // last: they stop and join before anything they use goes

    // The key by value: callers pass keys held in the maps this erases from.
    void forget(std::string key) {
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

// Two cores stay for the GUI thread and the store's worker; the pool's threads run at a lower
// priority than both and sleep while nothing is wanted.
ThumbnailLoader::ThumbnailLoader(QObject* parent)
    : ThumbnailLoader(decodeThumbnail, std::clamp(QThread::idealThreadCount() - 2, 2, 6), defaultCacheBytes, parent) {}

ThumbnailLoader::ThumbnailLoader(ThumbnailDecoder decoder, int threads, std::int64_t cacheBytes, QObject* parent)
    : QObject(parent), state_(std::make_unique<State>(std::move(decoder), threads, cacheBytes)) {
    if (!state_->ready) throw std::system_error(errno, std::generic_category(), "eventfd");
    state_->readyNotifier = std::make_unique<QSocketNotifier>(state_->ready.get(), QSocketNotifier::Read);
    connect(state_->readyNotifier.get(), &QSocketNotifier::activated, this, [this] { takeResults(); });
}

ThumbnailLoader::~ThumbnailLoader() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->queue.clear();
    }
    // At most one decode per worker is still running; video decodes stop at once.
    for (auto& worker : state_->workers) worker.request_stop();
    state_->workers.clear();
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
            this,
            [this] {
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
        if (const auto earlier = s.pictures.find(shown->second); earlier != s.pictures.end())
            return earlier->second.image;
    return {};
}

void ThumbnailLoader::request(ThumbnailJob job) {
    State& s = *state_;
    // The workers start with the first load, so that a loader never used costs no threads.
    if (s.workers.empty())
        for (int i = 0; i < s.threads; ++i) s.workers.emplace_back([this](std::stop_token stop) { work(stop); });
    {
        const std::lock_guard lock(s.mutex);
        s.queue.want(std::move(job), s.pass);
    }
    s.wake.notify_one();
}

void ThumbnailLoader::work(std::stop_token stop) {
    lowerThisThread();
    State& s = *state_;
    for (;;) {
        std::optional<ThumbnailJob> next;
        {
            std::unique_lock lock(s.mutex);
            if (!s.wake.wait(lock, stop, [&] { return s.queue.pendingCount() > 0; })) return;
            next = s.queue.take();
        }
        if (!next) continue;  // what was pending had been scrolled away
        QImage image;
        try {
            image = s.decoder(*next, stop);
        } catch (...) {
            image = QImage();
        }
        bool first = false;
        {
            const std::lock_guard lock(s.mutex);
            s.results.emplace_back(std::move(*next), std::move(image));
            first = s.results.size() == 1;
        }
        // Outside the lock, so that the GUI thread never waits on a worker inside a system call.
        // A wake-up that finds the results already taken takes nothing.
        if (first) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(s.ready.get(), &one, sizeof one);
        }
    }
}

void ThumbnailLoader::takeResults() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(state_->ready.get(), &count, sizeof count);
    std::vector<std::pair<ThumbnailJob, QImage>> results;
    {
        const std::lock_guard lock(state_->mutex);
        results.swap(state_->results);
    }
    for (const auto& [job, image] : results) finished(job, image);
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
