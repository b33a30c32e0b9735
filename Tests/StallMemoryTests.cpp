// What a scan remembers of files and sources that did not answer, and when it lets them back in.
#include <gtest/gtest.h>

#include <optional>

#include "SorvikCore/StallMemory.hpp"

using namespace sorvik;

namespace {

struct statx fileInfo(std::uint64_t inode, std::uint64_t size, std::int64_t modified) {
    struct statx info {};
    info.stx_dev_major = 8;
    info.stx_dev_minor = 1;
    info.stx_ino = inode;
    info.stx_size = size;
    info.stx_mtime.tv_sec = modified;
    return info;
}

}  // namespace

TEST(StallMemory, AStuckFileIsSkippedUntilItChangesAnswersOrWaitedLongEnough) {
    StallMemory memory;
    memory.beginScan();
    std::optional<StallMemory::Comeback> changing, answering, waiting;
    changing.emplace();
    answering.emplace();
    waiting.emplace();
    memory.fileStuck(fileInfo(1, 10, 100), changing->answer());
    memory.fileStuck(fileInfo(2, 10, 100), answering->answer());
    memory.fileStuck(fileInfo(3, 10, 100), waiting->answer());
    StallMemory::Answer returned;
    {
        StallMemory::Comeback back;
        returned = back.answer();
    }
    memory.fileStuck(fileInfo(4, 10, 100), returned);  // its thread came back already: not remembered
    EXPECT_FALSE(memory.skipsFile(fileInfo(4, 10, 100)));

    memory.beginScan();
    EXPECT_TRUE(memory.skipsFile(fileInfo(1, 10, 100)));
    EXPECT_FALSE(memory.skipsFile(fileInfo(1, 11, 100)));  // a new size: tried again, and forgotten
    EXPECT_FALSE(memory.skipsFile(fileInfo(1, 10, 100)));
    EXPECT_TRUE(memory.skipsFile(fileInfo(2, 10, 100)));
    answering.reset();  // the stuck call returned
    EXPECT_FALSE(memory.skipsFile(fileInfo(2, 10, 100)));

    for (std::uint64_t scan = 2; scan < StallMemory::fileScans; ++scan) memory.beginScan();
    EXPECT_TRUE(memory.skipsFile(fileInfo(3, 10, 100)));
    memory.beginScan();
    EXPECT_FALSE(memory.skipsFile(fileInfo(3, 10, 100)));  // still stuck, but tried again after a while
}

TEST(StallMemory, ASilentSourceIsSkippedWhileItsWalkStaysStuckAtTheSamePath) {
    StallMemory memory;
    const UUID id = UUID::make();
    std::optional<StallMemory::Comeback> walk;
    walk.emplace();
    memory.sourceSilent(id, "/mnt/a", walk->answer());
    EXPECT_TRUE(memory.skipsSource(id, "/mnt/a"));
    EXPECT_FALSE(memory.skipsSource(UUID::make(), "/mnt/a"));
    memory.beginScan();
    EXPECT_TRUE(memory.skipsSource(id, "/mnt/a"));
    EXPECT_FALSE(memory.skipsSource(id, "/mnt/b"));  // moved elsewhere: walked, and forgotten
    EXPECT_FALSE(memory.skipsSource(id, "/mnt/a"));

    memory.sourceSilent(id, "/mnt/a", walk->answer());
    walk.reset();
    EXPECT_FALSE(memory.skipsSource(id, "/mnt/a"));
}
