// Sources that stop answering and images too large to decode in time: the scan gives them up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <algorithm>
#include <iostream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/StallMemory.hpp"
#include "Support/FuseMount.hpp"
#include "Support/ScanSupport.hpp"
#include "Support/StallingMount.hpp"

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

/// Ten notes, note_01.txt to note_10.txt, served over FUSE; `hold` tells which never answer.
std::vector<StallingMount::File> notes(const std::map<int, StallingMount::Hold>& hold) {
    std::vector<StallingMount::File> files;
    for (int i = 1; i <= 10; ++i) {
        const std::string name = std::string(i < 10 ? "note_0" : "note_") + std::to_string(i) + ".txt";
        files.push_back({name, "note " + std::to_string(i), hold.contains(i) ? hold.at(i) : StallingMount::Hold::none});
    }
    return files;
}

std::vector<std::string> sorted(std::vector<std::string> list) {
    std::sort(list.begin(), list.end());
    return list;
}

TEST_F(HungSource, FilesThatDoNotAnswerLeaveTheRestIndexedAndAreNotWaitedOnAgain) {
    using Hold = StallingMount::Hold;
    // Stuck at the start, in the middle and at the end of the order, in open and in read.
    StallingMount mount(notes({{1, Hold::open}, {5, Hold::read}, {10, Hold::open}}));
    if (!mount.skipReason().empty()) GTEST_SKIP() << mount.skipReason();
    const std::size_t threadsBefore = threadCount();
    const SourceFolder source = SourceFolder::make(mount.path());
    const IndexedAsset stuck = recordIn(mount.path() / "note_05.txt", source);
    const IndexedAsset gone = recordIn(mount.path() / "gone.png", source);
    auto memory = std::make_unique<StallMemory>();
    Scanner scan;
    constexpr auto quiet = 1000ms;
    const auto scanWith = [&](const std::vector<IndexedAsset>& previous, unsigned threads) {
        return FolderIndexer::scan({source}, previous, {}, scan.library.path(), false, 20000, {}, {}, threads, quiet,
                                   memory.get());
    };
    const std::vector<std::string> answered{"note_02.txt", "note_03.txt", "note_04.txt", "note_06.txt",
                                            "note_07.txt", "note_08.txt", "note_09.txt"};
    const std::string error =
        "部分文件暂时无法读取（共 3 件）：文件没有响应：\"" + (mount.path() / "note_10.txt").string() + "\"";

    for (const unsigned threads : {0u, 1u}) {  // inspected ahead on many threads, and one by one
        SCOPED_TRACE(threads);
        const ScanResult first = scanWith({stuck, gone}, threads);
        std::vector<std::string> expected = answered;
        expected.insert(expected.end(), {"note_05.txt", "gone.png"});
        EXPECT_EQ(names(first), expected);
        EXPECT_EQ(first.sourceErrors.at(source.id), error);
        // Walked: the vanished file is missing; the stuck one is kept as it was.
        EXPECT_TRUE(findAsset(first, "gone.png")->isMissing);
        EXPECT_FALSE(findAsset(first, "note_05.txt")->isMissing);
        EXPECT_EQ(findAsset(first, "note_05.txt")->file.bytes, stuck.file.bytes);

        // The next scan does not ask the stuck files again, nor wait on them.
        const int opens = mount.opens("note_01.txt") + mount.opens("note_10.txt");
        const int reads = mount.reads("note_05.txt");
        const auto start = Clock::now();
        const ScanResult second = scanWith(first.assets, threads);
        EXPECT_LT(secondsSince(start), std::chrono::duration<double>(quiet).count());
        EXPECT_EQ(mount.opens("note_01.txt") + mount.opens("note_10.txt"), opens);
        EXPECT_EQ(mount.reads("note_05.txt"), reads);
        EXPECT_EQ(names(second), expected);
        EXPECT_EQ(second.sourceErrors.at(source.id), error);
        EXPECT_EQ(second.reusedCount, 7);
        if (threads == 0) memory = std::make_unique<StallMemory>();  // the one-by-one round starts afresh
    }

    // Once the files answer, the next scan reads them.
    mount.answerAll();
    ASSERT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }, 10s)) << "stuck threads did not return";
    const ScanResult third = scanWith({stuck, gone}, 0);
    std::vector<std::string> all = answered;
    all.insert(all.end(), {"note_01.txt", "note_05.txt", "note_10.txt", "gone.png"});
    EXPECT_EQ(sorted(names(third)), sorted(all));
    EXPECT_FALSE(third.sourceErrors.contains(source.id));
    EXPECT_EQ(findAsset(third, "note_05.txt")->id(), stuck.id());
    EXPECT_EQ(findAsset(third, "note_05.txt")->file.text, "note 5");
}

TEST_F(HungSource, ASilentSourceCostsOneWaitAndIsBackOnceItAnswers) {
    StallingMount mount(notes({}), true);
    if (!mount.skipReason().empty()) GTEST_SKIP() << mount.skipReason();
    const std::size_t threadsBefore = threadCount();
    TempDir healthy;
    writeFile(healthy / "a.txt", "a");
    const SourceFolder dead = SourceFolder::make(mount.path());
    const SourceFolder alive = SourceFolder::make(healthy.path());
    StallMemory memory;
    Scanner scan;
    constexpr auto quiet = 1000ms;
    const auto scanBoth = [&] {
        return FolderIndexer::scan({dead, alive}, {}, {}, scan.library.path(), false, 20000, {}, {}, 0, quiet, &memory);
    };
    const ScanResult first = scanBoth();
    EXPECT_EQ(first.sourceErrors.at(dead.id), "来源文件夹没有响应，本次扫描已跳过。");

    // Skipped at once with the same text: the mount is not even asked.
    const std::uint64_t requests = mount.requests();
    const auto start = Clock::now();
    const ScanResult second = scanBoth();
    EXPECT_LT(secondsSince(start), std::chrono::duration<double>(quiet).count());
    EXPECT_EQ(mount.requests(), requests);
    EXPECT_EQ(second.sourceErrors.at(dead.id), "来源文件夹没有响应，本次扫描已跳过。");
    EXPECT_EQ(names(second), (std::vector<std::string>{"a.txt"}));

    // The walk given up on comes back when the mount answers; the next scan walks it.
    mount.answerAll();
    ASSERT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }, 10s)) << "stuck threads did not return";
    const ScanResult third = scanBoth();
    EXPECT_TRUE(third.sourceErrors.empty());
    EXPECT_EQ(third.assets.size(), 11u);
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
