// The first picture of a video: upright by the display matrix, pixel aspect applied, fitted in
// a box, compared with what ffmpeg's own player path shows for the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stop_token>

#include "SorvikCore/Images.hpp"
#include "SorvikCore/Models.hpp"
#include "SorvikCore/Video.hpp"
#include "Support/ScanSupport.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

struct RGB {
    int r = 0, g = 0, b = 0;
};

RGB at(const images::Pixels& p, int x, int y) {
    const auto* px = p.data.data() + (std::size_t(y) * p.width + x) * p.bands;
    return {px[0], px[1], px[2]};
}

/// The dominant colour name of a pixel: r, g, b, w(hite) or ? for anything else.
char colour(RGB c) {
    const auto high = [](int v) { return v > 180; };
    const auto low = [](int v) { return v < 80; };
    if (high(c.r) && high(c.g) && high(c.b)) return 'w';
    if (high(c.r) && low(c.g) && low(c.b)) return 'r';
    if (low(c.r) && high(c.g) && low(c.b)) return 'g';
    if (low(c.r) && low(c.g) && high(c.b)) return 'b';
    return '?';
}

/// Colours at the centres of the four quadrants: top-left, top-right, bottom-left, bottom-right.
std::string quadrants(const images::Pixels& p) {
    const int w = p.width, h = p.height;
    return {colour(at(p, w / 4, h / 4)), colour(at(p, 3 * w / 4, h / 4)), colour(at(p, w / 4, 3 * h / 4)),
            colour(at(p, 3 * w / 4, 3 * h / 4))};
}

class VideoFrame : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        // Red, green / blue, white quadrants: every turn and mirror looks different.
        const std::string source =
            "color=red:s=160x120:d=1[a];color=lime:s=160x120:d=1[b];color=blue:s=160x120:d=1[c];"
            "color=white:s=160x120:d=1[d];[a][b]hstack[t];[c][d]hstack[u];[t][u]vstack,format=yuv420p";
        shell("cd '" + dir->path().string() + "' && ffmpeg -v error -f lavfi -i '" + source +
              "' -r 10 -c:v libx264 plain.mp4"
              " && ffmpeg -v error -i plain.mp4 -c copy -metadata:s:v rotate=90 turned90.mp4"
              " && ffmpeg -v error -i plain.mp4 -c copy -metadata:s:v rotate=180 turned180.mov"
              " && ffmpeg -v error -i plain.mp4 -c copy -metadata:s:v rotate=270 turned270.mp4"
              " && ffmpeg -v error -f lavfi -i testsrc2=s=1920x1080:d=0.4 -r 10 -c:v libx264 -pix_fmt yuv420p big.mp4"
              " && ffmpeg -v error -i plain.mp4 -vf setsar=2 -c:v libx264 wide.mkv"
              " && ffmpeg -v error -i plain.mp4 -c:v mpeg4 clip.avi"
              " && ffmpeg -v error -i plain.mp4 -c:v libvpx -b:v 1M clip.webm"
              " && ffmpeg -v error -i plain.mp4 -c:v libx265 -x265-params log-level=error -tag:v hvc1 hevc.mov"
              " && ffmpeg -v error -f lavfi -i sine=d=1 -i plain.mp4 -map 0 -map 1 -c:a aac -c:v copy audiofirst.mp4");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static fs::path file(const std::string& name) { return dir->path() / name; }

    /// What ffmpeg's command line shows as the first picture (it turns by the display matrix).
    static images::Pixels reference(const std::string& name) {
        const fs::path png = file(name + ".reference.png");
        shell("ffmpeg -v error -y -i '" + file(name).string() + "' -frames:v 1 '" + png.string() + "'");
        return images::pixels(images::orientedThumbnail(png, 4096));
    }

    static inline TempDir* dir = nullptr;
};

}  // namespace

TEST_F(VideoFrame, KeepsSmallPicturesAtTheirSizeAndShrinksLargeOnesIntoTheBox) {
    const auto plain = video::firstFrame(file("plain.mp4"), 800, 600);
    EXPECT_EQ(plain.width, 320);
    EXPECT_EQ(plain.height, 240);
    EXPECT_EQ(plain.bands, 3);
    EXPECT_EQ(plain.data.size(), std::size_t(320 * 240 * 3));
    EXPECT_EQ(quadrants(plain), "rgbw");

    const auto big = video::firstFrame(file("big.mp4"), 800, 600);
    EXPECT_EQ(big.width, 800);
    EXPECT_EQ(big.height, 450);
    // A tall box limits by width, a flat one by height.
    const auto flat = video::firstFrame(file("big.mp4"), 800, 100);
    EXPECT_EQ(flat.width, 178);
    EXPECT_EQ(flat.height, 100);
    // Smaller still when a smaller size is all that must be covered; never below it.
    const auto covering = video::firstFrame(file("big.mp4"), 800, 600, {}, 384, 256);
    EXPECT_EQ(covering.width, 456);
    EXPECT_EQ(covering.height, 256);
    const auto tall = video::firstFrame(file("big.mp4"), 800, 600, {}, 100, 300);
    EXPECT_EQ(tall.width, 534);
    EXPECT_EQ(tall.height, 300);
    // The box still wins over a larger size to cover.
    EXPECT_EQ(video::firstFrame(file("big.mp4"), 800, 600, {}, 1000, 1000).width, 800);
}

TEST_F(VideoFrame, TurnsThePictureUprightAsThePlayerDoes) {
    for (const std::string name : {"turned90.mp4", "turned180.mov", "turned270.mp4"}) {
        SCOPED_TRACE(name);
        const auto ours = video::firstFrame(file(name), 800, 600);
        const auto theirs = reference(name);
        EXPECT_EQ(ours.width, theirs.width);
        EXPECT_EQ(ours.height, theirs.height);
        EXPECT_EQ(quadrants(ours), quadrants(theirs));
        EXPECT_NE(quadrants(ours), "rgbw");
        // The probe reports the same upright size.
        const auto probe = video::probe(file(name));
        EXPECT_EQ(probe.width, ours.width);
        EXPECT_EQ(probe.height, ours.height);
    }
    // Quarter turns stand the landscape picture on its side.
    const auto turned = video::firstFrame(file("turned90.mp4"), 800, 600);
    EXPECT_EQ(turned.width, 240);
    EXPECT_EQ(turned.height, 320);
    // Turned and fitted: the box applies to the upright picture.
    const auto boxed = video::firstFrame(file("turned90.mp4"), 120, 120);
    EXPECT_EQ(boxed.width, 90);
    EXPECT_EQ(boxed.height, 120);
}

TEST_F(VideoFrame, AppliesThePixelAspect) {
    const auto wide = video::firstFrame(file("wide.mkv"), 800, 600);
    EXPECT_EQ(wide.width, 640);
    EXPECT_EQ(wide.height, 240);
    EXPECT_EQ(quadrants(wide), "rgbw");
}

TEST_F(VideoFrame, ReadsTheOtherContainersAndSkipsOtherStreams) {
    for (const std::string name : {"clip.avi", "clip.webm", "hevc.mov", "audiofirst.mp4"}) {
        SCOPED_TRACE(name);
        const auto frame = video::firstFrame(file(name), 800, 600);
        EXPECT_EQ(frame.width, 320);
        EXPECT_EQ(frame.height, 240);
        EXPECT_EQ(quadrants(frame), "rgbw");
    }
}

TEST_F(VideoFrame, RefusesWhatIsNoVideoAndStopsWhenAsked) {
    writeFile(file("notes.mp4"), "not a video at all");
    writeFile(file("still.png"), tinyPNG());
    EXPECT_THROW(video::firstFrame(file("notes.mp4"), 800, 600), video::VideoError);
    EXPECT_THROW(video::firstFrame(file("still.png"), 800, 600), video::VideoError);
    EXPECT_THROW(video::firstFrame(file("missing.mp4"), 800, 600), video::VideoError);
    EXPECT_THROW(video::firstFrame(dir->path(), 800, 600), video::VideoError);
    // A file cut after its header has no picture to give.
    const std::string whole = readFile(file("plain.mp4"));
    writeFile(file("cut.mp4"), whole.substr(0, whole.size() / 3));
    EXPECT_THROW(video::firstFrame(file("cut.mp4"), 800, 600), video::VideoError);
    shell("cd '" + dir->path().string() + "' && ffmpeg -v error -i plain.mp4 -c copy -movflags +faststart head.mp4");
    const std::string head = readFile(file("head.mp4"));
    // The header with no picture data after it.
    writeFile(file("headonly.mp4"), head.substr(0, head.find("mdat") + 4));
    EXPECT_THROW(video::firstFrame(file("headonly.mp4"), 800, 600), video::VideoError);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(video::firstFrame(file("plain.mp4"), 800, 600, stop.get_token()), CancellationError);
}
