// What the window's drop target takes: local paths from a URI list with their bytes, the answer
// it gives, and when the store refuses a drop.
#include <gtest/gtest.h>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Window/Logic/DropLogic.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

TEST(DropLogic, LocalFileURLsBecomePathsWithTheirBytesKept) {
    const QByteArray list =
        "# dragged from a file manager\r\n"
        "file:///home/al/Shoot%20Day/a.png\r\n"
        "file://localhost/home/al/%E5%B0%81%E9%9D%A2.jpg\r\n"
        "file://studio-pc/home/al/host.png\r\n"
        "file://other/elsewhere.png\r\n"
        "https://example.com/x.png\r\n"
        "file:///home/al/caf%E9.png\r\n"
        "file:///home/al/100%25%20%23%3F.txt\r\n"
        "file:///home/al/zero%00.txt\r\n"
        "\r\n"
        "file:relative.png\n"
        "file:/home/al/short.png";
    const std::vector<fs::path> paths = localFilePaths(list, "Studio-PC");
    ASSERT_EQ(paths.size(), 6u);
    EXPECT_EQ(paths[0], fs::path("/home/al/Shoot Day/a.png"));
    EXPECT_EQ(paths[1], fs::path("/home/al/封面.jpg"));
    EXPECT_EQ(paths[2], fs::path("/home/al/host.png"));
    // Latin-1 bytes stay bytes: the core refuses such names with its own message.
    EXPECT_EQ(paths[3].native(), std::string("/home/al/caf\xE9.png"));
    EXPECT_EQ(paths[4], fs::path("/home/al/100% #?.txt"));
    EXPECT_EQ(paths[5], fs::path("/home/al/short.png"));
    EXPECT_TRUE(localFilePaths("https://example.com/a.png\n").empty());
    EXPECT_TRUE(localFilePaths("").empty());
}

TEST(DropLogic, ItAnswersCopyOrLinkAndNeverMove) {
    EXPECT_EQ(dropAction(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction), Qt::CopyAction);
    EXPECT_EQ(dropAction(Qt::MoveAction | Qt::LinkAction), Qt::LinkAction);
    EXPECT_FALSE(dropAction(Qt::MoveAction));
    EXPECT_FALSE(dropAction(Qt::IgnoreAction));
}

TEST(DropLogic, ADropIsRefusedWhileBusyInRecoveryOrUnderASheet) {
    TempDir library, folder;
    StoreHarness h(library.path());
    auto& store = h.store();
    EXPECT_FALSE(dropRefused(store));
    store.setSheet(AppSheet::sources());
    EXPECT_TRUE(dropRefused(store));
    store.setSheet(std::nullopt);
    store.setShowWarnings(true);
    EXPECT_TRUE(dropRefused(store));
    store.setShowWarnings(false);
    store.connectFolders({folder.path()});
    EXPECT_TRUE(dropRefused(store));
    ASSERT_TRUE(h.settle());
    EXPECT_FALSE(dropRefused(store));

    TempDir broken;
    writeFile(broken / "workspace.json", "[");
    StoreHarness recovery(broken.path());
    // Recovery shows its alert; closed, the drop is still refused.
    recovery.store().clearError();
    EXPECT_TRUE(dropRefused(recovery.store()));
}
