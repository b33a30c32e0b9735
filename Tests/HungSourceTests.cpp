// Sources that stop answering and images too large to decode in time: the scan gives them up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Inspector.hpp"
#include "Support/FuseMount.hpp"
#include "Support/ScanSupport.hpp"

using namespace sorvik;
using namespace sorvik::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::size_t threadCount() {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

/// Whether a thread of this process waits in the kernel for a FUSE answer.
bool threadWaitsOnFuse() {
    for (const auto& entry : fs::directory_iterator("/proc/self/task")) {
        std::ifstream wchan(entry.path() / "wchan");
        std::string where;
        if (std::getline(wchan, where) && where.starts_with("fuse")) return true;
    }
    return false;
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

class HungSource : public ::testing::Test {
protected:
    void SetUp() override {
        baseline_ = threadCount();
        mount_.emplace(FuseMount::Hold::everything);
        if (!mount_->skipReason().empty()) GTEST_SKIP() << mount_->skipReason();
    }
    void TearDown() override {
        mount_.reset();
        // The threads the scan gave up on end once the mount is gone; none may outlive the test.
        EXPECT_TRUE(waitFor([&] { return threadCount() <= baseline_; }, 10s)) << "threads left: " << threadCount();
    }
    const fs::path& hung() const { return mount_->path(); }

    std::optional<FuseMount> mount_;
    std::size_t baseline_ = 0;
};

IndexedAsset recordIn(const fs::path& path, const SourceFolder& source) {
    DeliveryFile file(UUID::make(), path.filename().string(), "", FileRole::cover, 3, "");
    file.reference = FileReference::make(path, Date{1}, std::nullopt);
    return IndexedAsset(file, source.id, "", std::nullopt);
}

/// A grey PNG of width x height pixels, all black, made in a moment however large: one
/// compressed row repeated (each ends with a full flush, so none refers to another).
std::string blackPNG(std::uint32_t width, std::uint32_t height) {
    const std::string row(width + 1, '\0');  // filter byte, then the pixels
    z_stream z{};
    deflateInit(&z, 9);
    std::string first(deflateBound(&z, row.size()) + 64, '\0'), again = first;
    const auto compress = [&](std::string& out, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
        z.avail_in = static_cast<uInt>(row.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, flush);
        out.resize(out.size() - z.avail_out);
    };
    compress(first, Z_FULL_FLUSH);  // header and a row
    compress(again, Z_FULL_FLUSH);  // a row alone
    deflateEnd(&z);
    std::string stream = first;
    stream.reserve(first.size() + again.size() * height);
    for (std::uint32_t y = 1; y < height; ++y) stream += again;
    stream += std::string("\x03\x00", 2);  // an empty final block
    // Adler-32 of all-zero data: the sum of the bytes stays 1, the sum of sums is the length.
    const std::uint64_t length = static_cast<std::uint64_t>(row.size()) * height;
    const std::uint32_t adler = static_cast<std::uint32_t>(((length % 65521) << 16) | 1);
    for (int shift = 24; shift >= 0; shift -= 8) stream += static_cast<char>((adler >> shift) & 0xFF);

    const auto be32 = [](std::uint32_t value) {
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
        return out;
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        const std::string body = type + data;
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
        return be32(static_cast<std::uint32_t>(data.size())) + body + be32(static_cast<std::uint32_t>(crc));
    };
    std::string header = be32(width) + be32(height) + std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", stream) + chunk("IEND", "");
}

}  // namespace

TEST_F(HungSource, TheHealthySourceIsIndexedAndTheHungOneKeptAsItWas) {
    TempDir healthy;
    writeFile(healthy / "a.txt", "a");
    writeFile(healthy / "sub/b.md", "b");
    const SourceFolder dead = SourceFolder::make(hung());
    const SourceFolder alive = SourceFolder::make(healthy.path());
    const IndexedAsset before = recordIn(hung() / "poster.png", dead);

    Scanner scan;
    const auto start = Clock::now();
    const ScanResult result =
        FolderIndexer::scan({dead, alive}, {before}, {}, scan.library.path(), false, 20000, {}, {}, 0, 1000ms);
    const double seconds = secondsSince(start);
    std::cout << "healthy source indexed beside a hung one in " << seconds << " s (1 s limit)\n";
    EXPECT_LT(seconds, 5.0);

    EXPECT_EQ(names(result), (std::vector<std::string>{"a.txt", "b.md", "poster.png"}));
    EXPECT_EQ(result.sourceErrors.size(), 1u);
    EXPECT_EQ(result.sourceErrors.at(dead.id), "来源文件夹没有响应，本次扫描已跳过。");
    const IndexedAsset* kept = findAsset(result, "poster.png");
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->isMissing);  // not walked: nothing of it is marked missing
    EXPECT_EQ(kept->file.inspectionError, before.file.inspectionError);
    EXPECT_EQ(kept->id(), before.id());
}

TEST_F(HungSource, AFolderThatDoesNotAnswerPutsItsWholeSourceAside) {
    // The source answers, one of its folders (walked beside the others) does not.
    TempDir partly;
    writeFile(partly / "a.txt", "a");
    writeFile(partly / "b/c.md", "c");
    writeFile(partly / "z/d.txt", "d");
    fs::create_directory(partly / "m");
    if (::mount(hung().c_str(), (partly / "m").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not permitted here: " << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{partly / "m"};
    TempDir healthy;
    writeFile(healthy / "e.txt", "e");
    const SourceFolder dead = SourceFolder::make(partly.path());
    const SourceFolder alive = SourceFolder::make(healthy.path());
    const IndexedAsset before = recordIn(partly / "gone.png", dead);

    Scanner scan;
    const auto start = Clock::now();
    const ScanResult result =
        FolderIndexer::scan({dead, alive}, {before}, {}, scan.library.path(), false, 20000, {}, {}, 0, 1000ms);
    EXPECT_LT(secondsSince(start), 5.0);
    EXPECT_EQ(names(result), (std::vector<std::string>{"e.txt", "gone.png"}));
    EXPECT_EQ(result.sourceErrors.size(), 1u);
    EXPECT_EQ(result.sourceErrors.at(dead.id), "来源文件夹没有响应，本次扫描已跳过。");
    EXPECT_FALSE(findAsset(result, "gone.png")->isMissing);
}

TEST_F(HungSource, LinkedFilesThatDoNotAnswerAreKeptAndTheOthersChecked) {
    TempDir healthy;
    writeFile(healthy / "here.txt", "h");
    const auto linkedAt = [](const fs::path& path) {
        DeliveryFile file(UUID::make(), path.filename().string(), "", FileRole::copy, 1, "");
        file.reference = FileReference::make(path, Date{1}, std::nullopt);
        return IndexedAsset(file, std::nullopt, "", std::nullopt);
    };
    const std::vector<IndexedAsset> previous{linkedAt(hung() / "a.txt"), linkedAt(hung() / "b.txt"),
                                             linkedAt(healthy / "here.txt"), linkedAt(healthy / "gone.txt")};
    Scanner scan;
    const auto start = Clock::now();
    const ScanResult result =
        FolderIndexer::scan({}, previous, {}, scan.library.path(), false, 20000, {}, {}, 0, 500ms);
    EXPECT_LT(secondsSince(start), 5.0);  // one hang for the whole mount, not one per file
    EXPECT_TRUE(result.sourceErrors.empty());
    ASSERT_EQ(result.assets.size(), 4u);
    EXPECT_EQ(result.assets[0].file.name, "here.txt");
    EXPECT_EQ(result.assets[0].file.text, "h");
    for (const char* name : {"a.txt", "b.txt"}) EXPECT_FALSE(findAsset(result, name)->isMissing) << name;
    EXPECT_TRUE(findAsset(result, "gone.txt")->isMissing);
}

TEST_F(HungSource, StopEndsTheScanAtOnceWhileTheWalkIsBlocked) {
    TempDir healthy;
    writeFile(healthy / "a.txt", "a");
    std::stop_source stop;
    Clock::time_point requested;
    std::jthread stopper([&] {
        // Once the walk of the mount is blocked in the kernel, or after a while in any case.
        waitFor(threadWaitsOnFuse, 5s);
        requested = Clock::now();
        stop.request_stop();
    });
    Scanner scan;
    EXPECT_THROW(FolderIndexer::scan({SourceFolder::make(healthy.path()), SourceFolder::make(hung())}, {}, {},
                                     scan.library.path(), false, 20000, {}, stop.get_token(), 0, 60s),
                 CancellationError);
    const double seconds = secondsSince(requested);
    std::cout << "stop answered in " << seconds * 1000 << " ms during a hung walk\n";
    EXPECT_LT(seconds, 3.0);  // well under a second when the machine is idle
}

TEST(HugeImage, DecodesStopOnRequestAndInspectionIsBounded) {
    TempDir dir;
    writeFile(dir / "huge.png", blackPNG(65535, 65535));
    ASSERT_LT(fs::file_size(dir / "huge.png"), 16u << 20);

    // The decode test reads a bounded part of the image: the record is whole, in a moment.
    auto start = Clock::now();
    const DeliveryFile record = FileInspector::inspect(dir / "huge.png", "", std::nullopt, false);
    const double inspectSeconds = secondsSince(start);
    std::cout << "65535x65535 PNG inspected in " << inspectSeconds << " s\n";
    EXPECT_LT(inspectSeconds, 15.0);  // a whole decode took 9 s
    EXPECT_FALSE(record.inspectionError);
    EXPECT_EQ(record.width, 65535);
    EXPECT_EQ(record.height, 65535);

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_THROW(images::decodeTest(dir / "huge.png", 64, stopped.get_token()), CancellationError);

    // A whole decode of all 4 billion pixels stops within a moment of the request.
    std::stop_source stop;
    Clock::time_point requested;
    std::atomic<bool> decoding{false};
    std::jthread stopper([&] {
        waitFor([&] { return decoding.load(); }, 5s);
        requested = Clock::now();
        stop.request_stop();
    });
    EXPECT_THROW(
        {
            decoding = true;
            images::orientedThumbnail(dir / "huge.png", 1400, stop.get_token());
        },
        CancellationError);
    const double stopSeconds = secondsSince(requested);
    std::cout << "stop answered in " << stopSeconds * 1000 << " ms during a 65535x65535 decode\n";
    EXPECT_LT(stopSeconds, 3.0);
}

TEST(HugeImage, AScanOfHugeImagesIsBoundedAndStopsPromptly) {
    TempDir src;
    writeFile(src / "IMG_0001.png", blackPNG(65535, 65535));
    for (int i = 2; i <= 6; ++i)
        fs::create_hard_link(src / "IMG_0001.png", src / ("IMG_000" + std::to_string(i) + ".png"));
    Scanner scan;
    scan.recognizeText = true;
    const SourceFolder source = SourceFolder::make(src.path());
    const auto start = Clock::now();
    const ScanResult result = scan({source});
    EXPECT_LT(secondsSince(start), 40.0);  // whole decodes and recognitions took 18 s each
    ASSERT_EQ(result.assets.size(), 6u);
    for (const auto& asset : result.assets) {
        EXPECT_EQ(asset.file.width, 65535);
        // Too large to recognise: the attempt counts and gives no text.
        EXPECT_TRUE(asset.didAttemptOCR);
        EXPECT_FALSE(asset.recognizedText);
    }
    EXPECT_TRUE(result.sourceErrors.empty());

    std::stop_source stop;
    Clock::time_point requested;
    std::atomic<bool> started{false};
    std::jthread stopper([&] {
        waitFor([&] { return started.load(); }, 5s);
        requested = Clock::now();
        stop.request_stop();
    });
    EXPECT_THROW(
        {
            started = true;
            scan({source}, {}, stop.get_token());
        },
        CancellationError);
    EXPECT_LT(secondsSince(requested), 3.0);
}
