// File previews on real files: decoding (HEIC, AVIF, EXIF orientation, crops, video frames and the
// order they are tried in), the loader's cache, stale results and cancellation, and the widget.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <set>

#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

/// Red, green / blue, white quadrants: every turn, mirror and crop looks different.
constexpr const char* quadrantSource =
    "color=red:s=160x120[a];color=lime:s=160x120[b];color=blue:s=160x120[c];color=white:s=160x120[d];"
    "[a][b]hstack[t];[c][d]hstack[u];[t][u]vstack,format=yuv444p";

char colour(QColor c) {
    const auto high = [](int v) { return v > 170; };
    const auto low = [](int v) { return v < 90; };
    if (high(c.red()) && high(c.green()) && high(c.blue())) return 'w';
    if (high(c.red()) && low(c.green()) && low(c.blue())) return 'r';
    if (low(c.red()) && high(c.green()) && low(c.blue())) return 'g';
    if (low(c.red()) && low(c.green()) && high(c.blue())) return 'b';
    return '?';
}

/// Colours at the centres of the quadrants of `area`: top-left, top-right, bottom-left, bottom-right.
std::string quadrants(const QImage& image, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    const auto at = [&](double fx, double fy) {
        return colour(image.pixelColor(area.x() + int(area.width() * fx), area.y() + int(area.height() * fy)));
    };
    return {at(0.25, 0.25), at(0.75, 0.25), at(0.25, 0.75), at(0.75, 0.75)};
}

class Thumbnails : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        const std::string d = "'" + dir->path().string() + "'";
        shell("cd " + d + " && ffmpeg -v error -f lavfi -i '" + std::string(quadrantSource) +
              "' -frames:v 1 quad.png"
              " && ffmpeg -v error -i quad.png -q:v 2 quad.jpg"
              " && cp quad.jpg turned.jpg && exiftool -q -n -Orientation=6 -overwrite_original turned.jpg"
              " && vips copy quad.png quad.heic && vips copy quad.png quad.avif"
              " && ffmpeg -v error -f lavfi -i '" +
              std::string(quadrantSource) +
              "' -t 1 -r 10 -pix_fmt yuv420p -c:v libx264 clip.mp4"
              " && ffmpeg -v error -i clip.mp4 -c copy -metadata:s:v rotate=90 portrait.mov"
              " && cp clip.mp4 clip-named.jpg"
              " && ffmpeg -v error -f lavfi -i color=red:s=400x200 -frames:v 1 red.png"
              " && printf 'hello' > notes.txt && printf '%%PDF-1.4' > brief.pdf"
              " && printf '1\\n00:00:00,000 --> 00:00:01,000\\nhi\\n' > lines.srt");
        // A flat 400x200 picture: left half red, right half blue.
        shell("cd " + d +
              " && ffmpeg -v error -f lavfi -i 'color=red:s=200x200[a];color=blue:s=200x200[b];"
              "[a][b]hstack' -frames:v 1 halves.png");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }

    static fs::path path(const std::string& name) { return dir->path() / name; }

    static DeliveryFile record(const std::string& name, std::optional<double> duration = std::nullopt) {
        DeliveryFile file(UUID::make(), name, "files/" + name, FileRole::cover, 1, "");
        file.duration = duration;
        file.reference = FileReference{path(name).string(), std::nullopt, std::nullopt, Date{1000}};
        return file;
    }

    static ThumbnailJob job(const DeliveryFile& file, QSize frame = {1024, 1024}) {
        return ThumbnailJob{thumbnailLoadKey(file), file.id, path(file.name), file.crop, thumbnailSources(file), frame};
    }

    static QImage decoded(const DeliveryFile& file, QSize frame = {1024, 1024}) {
        return decodeThumbnail(job(file, frame));
    }

    static inline TempDir* dir = nullptr;
};

/// Waits, without sleeping, until the loader has handed every result to the GUI thread.
bool settle(ThumbnailLoader& loader) {
    const QDeadlineTimer deadline(90000);  // sanitizer builds on a busy machine decode slowly
    QTimer wake;                           // wakes the wait now and then to look at the deadline
    wake.start(50);
    while (loader.hasWork()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

/// A decoder that holds chosen keys until the test lets them go, and counts its calls.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::string> held, started;
    std::atomic<int> calls = 0;

    ThumbnailDecoder decoder() {
        return [this](const ThumbnailJob& job, std::stop_token stop) {
            ++calls;
            {
                std::unique_lock lock(mutex);
                started.insert(job.key);
                changed.notify_all();
                changed.wait(lock, [&] { return !held.contains(job.key) || stop.stop_requested(); });
            }
            return decodeThumbnail(job, stop);
        };
    }
    void hold(const std::string& key) {
        const std::lock_guard lock(mutex);
        held.insert(key);
    }
    void release(const std::string& key) {
        const std::lock_guard lock(mutex);
        held.erase(key);
        changed.notify_all();
    }
    bool waitStarted(const std::string& key) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] { return started.contains(key); });
    }
};

}  // namespace

TEST_F(Thumbnails, DecodesHeicAndAvifAndTurnsExifOrientationUpright) {
    for (const char* name : {"quad.png", "quad.jpg", "quad.heic", "quad.avif"}) {
        SCOPED_TRACE(name);
        const QImage image = decoded(record(name));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(320, 240));
        EXPECT_EQ(quadrants(image), "rgbw");
    }
    // Orientation 6: the stored picture is turned a quarter clockwise for display.
    const QImage turned = decoded(record("turned.jpg"));
    EXPECT_EQ(turned.size(), QSize(240, 320));
    EXPECT_EQ(quadrants(turned), "brwg");
}

TEST_F(Thumbnails, ScalesDownOnlyToCoverTheFrame) {
    const QImage small = decoded(record("quad.png"), QSize(64, 64));
    EXPECT_EQ(small.size(), QSize(88, 66));
    EXPECT_EQ(quadrants(small), "rgbw");
    EXPECT_EQ(decoded(record("quad.png"), QSize(384, 256)).size(), QSize(320, 240));
    EXPECT_FALSE(decoded(record("quad.png")).hasAlphaChannel());
}

TEST_F(Thumbnails, AppliesTheCropAndShowsTheWholePictureForAnInvalidOne) {
    DeliveryFile file = record("halves.png");
    file.crop = CropSpec{1, 0, 0.5};  // the left square
    QImage image = decoded(file);
    EXPECT_EQ(image.size(), QSize(200, 200));
    EXPECT_EQ(quadrants(image), "rrrr");
    file.crop = CropSpec{1, 1, 0.5};  // the right square
    EXPECT_EQ(quadrants(decoded(file)), "bbbb");
    // The crop is taken from the upright picture.
    DeliveryFile turned = record("turned.jpg");
    turned.crop = CropSpec{1, 0.5, 0};
    EXPECT_EQ(decoded(turned).size(), QSize(240, 240));
    EXPECT_EQ(quadrants(decoded(turned)).substr(0, 2), "br");
    // A crop the crop window rejects: the whole picture, not the glyph.
    for (const double ratio : {0.0, -1.0, std::nan("")}) {
        file.crop = CropSpec{ratio, 0.5, 0.5};
        image = decoded(file);
        EXPECT_EQ(image.size(), QSize(400, 200)) << ratio;
    }
    // A window too thin to cut: nothing.
    file.crop = CropSpec{1e-9, 0.5, 0.5};
    EXPECT_TRUE(decoded(file).isNull());
}

TEST_F(Thumbnails, TriesTheImageFirstThenAVideoFrameForFilesWithADuration) {
    // A video under an image's name: not a picture, so with a duration it gets its first frame.
    const QImage frame = decoded(record("clip-named.jpg", 1.0));
    EXPECT_EQ(frame.size(), QSize(320, 240));
    EXPECT_EQ(quadrants(frame), "rgbw");
    EXPECT_TRUE(decoded(record("clip-named.jpg")).isNull());
    // A video never inspected has no duration and no picture.
    EXPECT_TRUE(decoded(record("clip.mp4")).isNull());
    EXPECT_EQ(quadrants(decoded(record("clip.mp4", 1.0))), "rgbw");
    // Turned by its display matrix: red, the top-left, ends up bottom-left.
    const QImage portrait = decoded(record("portrait.mov", 1.0));
    EXPECT_EQ(portrait.size(), QSize(240, 320));
    EXPECT_EQ(quadrants(portrait), "gwrb");
    // An image with a duration is still decoded as an image.
    EXPECT_EQ(decoded(record("quad.heic", 3.0)).size(), QSize(320, 240));
    // Missing files and documents give nothing.
    EXPECT_TRUE(decoded(record("missing.png", 1.0)).isNull());
    EXPECT_TRUE(decoded(record("brief.pdf", 1.0)).isNull());
}

TEST_F(Thumbnails, LoadsOnceAndNeverForDocumentsOrWithoutALocation) {
    Gate gate;
    ThumbnailLoader loader(gate.decoder(), 2, ThumbnailLoader::defaultCacheBytes);
    QSignalSpy ready(&loader, &ThumbnailLoader::pictureReady);
    const DeliveryFile photo = record("quad.jpg");
    EXPECT_TRUE(loader.picture(photo, path(photo.name), QSize(300, 220)).isNull());
    ASSERT_TRUE(settle(loader));
    ASSERT_EQ(ready.count(), 1);
    EXPECT_EQ(ready.at(0).at(0).toString().toStdString(), thumbnailLoadKey(photo));
    EXPECT_EQ(quadrants(loader.picture(photo, path(photo.name), QSize(300, 220))), "rgbw");
    EXPECT_EQ(gate.calls, 1);

    for (const char* name : {"brief.pdf", "notes.txt", "lines.srt"}) {
        const DeliveryFile document = record(name);
        EXPECT_TRUE(loader.picture(document, path(name), QSize(300, 220)).isNull()) << name;
    }
    const DeliveryFile elsewhere = record("quad.png");
    EXPECT_TRUE(loader.picture(elsewhere, std::nullopt, QSize(300, 220)).isNull());
    EXPECT_FALSE(loader.hasWork());
    EXPECT_EQ(gate.calls, 1);
}

TEST_F(Thumbnails, KeepsTheFilesEarlierPictureButNeverShowsAnotherFiles) {
    TempDir own;
    fs::copy_file(path("quad.png"), own / "photo.png");
    ThumbnailLoader loader;
    DeliveryFile photo = record("photo.png");
    const fs::path location = own / "photo.png";
    loader.picture(photo, location, QSize(300, 220));
    ASSERT_TRUE(settle(loader));
    ASSERT_FALSE(loader.picture(photo, location, QSize(300, 220)).isNull());

    // Another file at the same place has no picture of its own yet.
    DeliveryFile other = record("photo.png");
    EXPECT_TRUE(loader.picture(other, location, QSize(300, 220)).isNull());

    // The original changes into something unreadable: the earlier picture stays, and the failed
    // key is not decoded again on every paint.
    writeFile(location, "broken now");
    photo.reference->modifiedAt.seconds += 60;
    EXPECT_EQ(quadrants(loader.picture(photo, location, QSize(300, 220))), "rgbw");
    ASSERT_TRUE(settle(loader));
    EXPECT_EQ(quadrants(loader.picture(photo, location, QSize(300, 220))), "rgbw");
    EXPECT_FALSE(loader.hasWork());
}

TEST_F(Thumbnails, AStaleResultNeverReplacesTheNewerOne) {
    Gate gate;
    ThumbnailLoader loader(gate.decoder(), 2, ThumbnailLoader::defaultCacheBytes);
    QSignalSpy ready(&loader, &ThumbnailLoader::pictureReady);
    DeliveryFile left = record("halves.png");
    left.crop = CropSpec{1, 0, 0.5};
    DeliveryFile right = left;
    right.crop->x = 1;
    const std::string oldKey = thumbnailLoadKey(left), newKey = thumbnailLoadKey(right);
    gate.hold(oldKey);
    gate.hold(newKey);

    loader.picture(left, path("halves.png"), QSize(200, 200));
    ASSERT_TRUE(gate.waitStarted(oldKey));
    loader.picture(right, path("halves.png"), QSize(200, 200));  // the crop changed meanwhile
    ASSERT_TRUE(gate.waitStarted(newKey));

    gate.release(newKey);
    ASSERT_TRUE(ready.wait(30000));
    EXPECT_EQ(quadrants(loader.picture(right, path("halves.png"), QSize(200, 200))), "bbbb");
    // The slow load of the old crop ends last and is dropped.
    gate.release(oldKey);
    ASSERT_TRUE(settle(loader));
    EXPECT_EQ(ready.count(), 1);
    EXPECT_EQ(ready.at(0).at(0).toString().toStdString(), newKey);
    EXPECT_EQ(quadrants(loader.picture(right, path("halves.png"), QSize(200, 200))), "bbbb");
}

TEST_F(Thumbnails, LoadsALargerPictureWhenTheFrameGrows) {
    ThumbnailLoader loader;
    const DeliveryFile photo = record("halves.png");
    loader.picture(photo, path(photo.name), QSize(40, 40));
    ASSERT_TRUE(settle(loader));
    const QImage small = loader.picture(photo, path(photo.name), QSize(40, 40));
    EXPECT_EQ(small.size(), QSize(100, 50));
    // The small one shows while the larger one loads.
    EXPECT_EQ(loader.picture(photo, path(photo.name), QSize(300, 220)).size(), QSize(100, 50));
    ASSERT_TRUE(settle(loader));
    EXPECT_EQ(loader.picture(photo, path(photo.name), QSize(300, 220)).size(), QSize(400, 200));
    // A smaller frame again reuses the larger picture.
    EXPECT_EQ(loader.picture(photo, path(photo.name), QSize(40, 40)).size(), QSize(400, 200));
    EXPECT_FALSE(loader.hasWork());
}

TEST_F(Thumbnails, HoldsPicturesWithinItsByteLimit) {
    constexpr std::int64_t limit = 1 << 20;  // three 400x200 pictures
    ThumbnailLoader loader(decodeThumbnail, 3, limit);
    std::vector<DeliveryFile> files;
    for (int i = 0; i < 8; ++i) {
        files.push_back(record("halves.png"));
        loader.picture(files.back(), path("halves.png"), QSize(300, 220));
    }
    ASSERT_TRUE(settle(loader));
    EXPECT_LE(loader.cacheBytes(), limit);
    EXPECT_GE(loader.cacheBytes(), 3 * 400 * 200 * 4);
    int held = 0;
    for (const auto& file : files) held += !loader.picture(file, std::nullopt, QSize(300, 220)).isNull();
    EXPECT_EQ(held, 3);
}

TEST_F(Thumbnails, AFastScrollDoesNotDecodeEveryCardItPassed) {
    Gate gate;
    ThumbnailLoader loader(gate.decoder(), 1, ThumbnailLoader::defaultCacheBytes);
    const DeliveryFile first = record("red.png");
    gate.hold(thumbnailLoadKey(first));
    loader.picture(first, path("red.png"), QSize(90, 70));
    ASSERT_TRUE(gate.waitStarted(thumbnailLoadKey(first)));
    // Thousands of cards pass by while the only worker is busy.
    std::vector<DeliveryFile> passing;
    for (int i = 0; i < 3000; ++i) {
        passing.push_back(record("red.png"));
        loader.picture(passing.back(), path("red.png"), QSize(90, 70));
    }
    gate.release(thumbnailLoadKey(first));
    ASSERT_TRUE(settle(loader));
    EXPECT_LE(gate.calls, int(ThumbnailQueue::defaultHorizon) + 2);
    // The cards still on screen, the last ones, got their pictures.
    EXPECT_FALSE(loader.picture(passing.back(), std::nullopt, QSize(90, 70)).isNull());
    EXPECT_TRUE(loader.picture(passing.front(), std::nullopt, QSize(90, 70)).isNull());
}

TEST_F(Thumbnails, TheWidgetShowsTheGlyphThenThePictureAndForgetsItForAnotherFile) {
    ThumbnailLoader loader;
    FileThumbnail view(loader);
    view.resize(240, 180);
    const DeliveryFile photo = record("quad.heic");
    view.setFile(photo, path(photo.name));
    QImage shot = view.grab().toImage();
    EXPECT_NE(quadrants(shot), "rgbw");  // the glyph while it loads
    QSignalSpy ready(&loader, &ThumbnailLoader::pictureReady);
    ASSERT_TRUE(ready.wait(30000));
    shot = view.grab().toImage();
    EXPECT_EQ(quadrants(shot), "rgbw");

    // Another file in the same place: its own glyph at once, never the previous picture.
    const DeliveryFile text = record("notes.txt");
    view.setFile(text, path(text.name));
    shot = view.grab().toImage();
    EXPECT_EQ(quadrants(shot).find('r'), std::string::npos);
    EXPECT_EQ(quadrants(shot).find('b'), std::string::npos);
}
