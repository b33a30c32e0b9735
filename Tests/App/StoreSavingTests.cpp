// Saving through the store on a library that cannot always be written: a full disk, a read-only
// library, a change still on the worker at quit, a library another process may write.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "App/Support/LibrarySupport.hpp"
#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;
using app::UnsavedQuitChoice;

namespace {

/// A 1 MiB tmpfs over a temporary folder; `mounted` is false where this process may not mount.
struct SmallDisk {
    TempDir dir;
    bool mounted = false;
    SmallDisk() { mounted = ::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=1m") == 0; }
    ~SmallDisk() {
        if (mounted) ::umount2(dir.path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    fs::path path() const { return dir.path(); }
    bool setReadOnly(bool readOnly) {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount(nullptr, dir.path().c_str(), nullptr, flags, "size=1m") == 0;
    }
    /// Writes a file until the disk is full.
    void fill() {
        const int fd = ::open((path() / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        const int error = errno;
        ::close(fd);
        ASSERT_EQ(error, ENOSPC);
    }
    void free() { fs::remove(path() / "filler"); }
};

#define REQUIRE_MOUNTED(disk) \
    if (!(disk).mounted) GTEST_SKIP() << "mounting a small tmpfs needs root: " << std::strerror(errno)

std::size_t projectsOnDisk(const fs::path& library) { return Repository(library).loadWorkspace().projects.size(); }

bool startsWith(const std::optional<std::string>& text, std::string_view prefix) {
    return text && text->rfind(prefix, 0) == 0;
}

}  // namespace

TEST(StoreSaving, AFullDiskKeepsEveryEditUntilASaveSucceedsAndSaysSoOnce) {
    SmallDisk disk;
    REQUIRE_MOUNTED(disk);
    const fs::path library = disk.path() / "lib";
    StoreHarness h(library);
    auto& store = h.store();
    store.newDelivery();
    store.setSheet(std::nullopt);
    ASSERT_EQ(projectsOnDisk(library), 1u);
    EXPECT_FALSE(store.hasUnsavedChanges());

    disk.fill();
    store.newDelivery();
    store.setSheet(std::nullopt);
    // The first failure of a loud save raises the alert, and a notice stays.
    EXPECT_TRUE(startsWith(store.error(), "保存失败：")) << store.error().value_or("");
    EXPECT_TRUE(startsWith(store.notice(), "资料库暂未保存")) << store.notice().value_or("");
    ASSERT_TRUE(store.saveFailure());
    EXPECT_TRUE(store.hasUnsavedChanges());
    store.clearError();
    store.update(std::nullopt, [](Delivery& d) { d.name = "After the failure"; });
    // Still failing: no second alert; the notice outlives what would clear a banner.
    EXPECT_FALSE(store.error());
    store.select(store.deliveries().back().id);
    store.clearNotice();
    EXPECT_TRUE(startsWith(store.notice(), "资料库暂未保存"));
    EXPECT_EQ(projectsOnDisk(library), 1u);

    disk.free();
    store.saveBeforeQuit();
    EXPECT_TRUE(h.platform().quitQuestions.empty());
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_FALSE(store.saveFailure());
    EXPECT_FALSE(store.notice());
    const WorkspaceState saved = Repository(library).loadWorkspace();
    ASSERT_EQ(saved.projects.size(), 2u);
    EXPECT_EQ(saved.projects[0].name, "After the failure");
}

TEST(StoreSaving, TheQuestionAtQuitNamesTheLibraryAndRetriesUntilTheSaveIsWritten) {
    SmallDisk disk;
    REQUIRE_MOUNTED(disk);
    const fs::path library = disk.path() / "lib";
    StoreHarness h(library);
    auto& store = h.store();
    disk.fill();
    store.newDelivery();
    ASSERT_TRUE(store.hasUnsavedChanges());
    store.clearError();
    h.platform().quitAnswers = {UnsavedQuitChoice::retry, UnsavedQuitChoice::retry};
    // The user frees space while the second question is open.
    h.platform().whileAsking = [&] {
        if (h.platform().quitQuestions.size() == 2) disk.free();
    };
    store.saveBeforeQuit();
    const auto& questions = h.platform().quitQuestions;
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].library, library);
    EXPECT_NE(questions[0].text.find(library.string()), std::string::npos) << questions[0].text;
    EXPECT_NE(questions[0].detail.find(std::strerror(ENOSPC)), std::string::npos) << questions[0].detail;
    EXPECT_FALSE(questions[0].retry.empty());
    EXPECT_FALSE(questions[0].quitWithoutSaving.empty());
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_EQ(projectsOnDisk(library), 1u);
    // The question reports the failures at quit: no alert behind it.
    EXPECT_FALSE(store.error());
    store.shutdown();
    EXPECT_EQ(projectsOnDisk(library), 1u);
}

TEST(StoreSaving, QuitWithoutSavingWritesNothingButAnUnaskedShutdownTriesOnceMore) {
    SmallDisk disk;
    REQUIRE_MOUNTED(disk);
    {
        const fs::path library = disk.path() / "asked";
        StoreHarness h(library);
        disk.fill();
        h.store().newDelivery();
        h.platform().quitAnswers = {UnsavedQuitChoice::quitWithoutSaving};
        h.store().saveBeforeQuit();
        EXPECT_EQ(h.platform().quitQuestions.size(), 1u);
        disk.free();
        h.store().shutdown();
        EXPECT_EQ(projectsOnDisk(library), 0u);
    }
    {
        // A logout or a signal ends the app without the question: what failed is written then.
        const fs::path library = disk.path() / "unasked";
        StoreHarness h(library);
        disk.fill();
        h.store().newDelivery();
        disk.free();
        h.store().shutdown();
        EXPECT_TRUE(h.platform().quitQuestions.empty());
        EXPECT_EQ(projectsOnDisk(library), 1u);
    }
}

TEST(StoreSaving, AReadOnlyLibraryIsReportedOnceOverTimerScansAndNeverByTheAlert) {
    SmallDisk disk;
    REQUIRE_MOUNTED(disk);
    const fs::path library = disk.path() / "lib";
    TempDir source;
    writeFile(source / "Harbor Launch cover.txt", "cover");
    StoreHarness h(library);
    auto& store = h.store();
    store.connectFolders({source.path()});
    ASSERT_TRUE(h.settle());
    store.setSheet(std::nullopt);
    store.clearNotice();
    ASSERT_FALSE(store.error());
    ASSERT_FALSE(store.hasUnsavedChanges());
    ASSERT_TRUE(disk.setReadOnly(true)) << std::strerror(errno);

    auto interval = [&] {
        h.changes.clear();
        store.tick();
        EXPECT_TRUE(store.isBusy()) << "the timer started no scan";
        EXPECT_TRUE(h.settle());
        std::size_t messages = 0;
        for (const app::StoreChanges what : h.changes) messages += what.testFlag(app::StoreChange::messages);
        return messages;
    };
    EXPECT_EQ(interval(), 1u);
    EXPECT_FALSE(store.error());
    EXPECT_TRUE(startsWith(store.notice(), "资料库暂未保存")) << store.notice().value_or("");
    const std::optional<std::string> notice = store.notice();
    // The second beat fails the same way: nothing new is said.
    EXPECT_EQ(interval(), 0u);
    EXPECT_FALSE(store.error());
    EXPECT_EQ(store.notice(), notice);
    EXPECT_TRUE(store.hasUnsavedChanges());

    ASSERT_TRUE(disk.setReadOnly(false)) << std::strerror(errno);
    interval();
    EXPECT_FALSE(store.notice());
    EXPECT_FALSE(store.saveFailure());
    EXPECT_FALSE(store.hasUnsavedChanges());
}

TEST(StoreSaving, AnAssignmentStillBeingMatchedAtQuitIsSaved) {
    TempDir originals;
    Delivery project = projectNamed("Cedar Tour");
    const IndexedAsset waiting = indexedAsset(originalAt(originals / "b.png"));
    for (const bool asked : {true, false}) {
        TempDir library;
        writeLibrary(library.path(), libraryOf({project}, {waiting}));
        {
            StoreHarness h(library.path());
            h.store().assign(waiting, project.id);
            ASSERT_EQ(h.jobs().pending(), 1u);
            if (asked) h.store().saveBeforeQuit();
            h.store().shutdown();
            EXPECT_TRUE(h.platform().quitQuestions.empty());
        }
        const WorkspaceState saved = Repository(library.path()).loadWorkspace();
        const IndexedAsset& asset = assetIn(saved.assets, waiting.id());
        EXPECT_TRUE(asset.projectID == project.id) << "asked: " << asked;
        EXPECT_EQ(asset.assignment, AssignmentMode::manual);
        EXPECT_EQ(fileNames(projectIn(saved.projects, project.id)), std::vector<std::string>{"b.png"});
    }
}

TEST(StoreSaving, NothingUnsavedMeansNoWriteAtQuit) {
    TempDir library;
    writeLibrary(library.path(), libraryOf({projectNamed("Harbor Launch")}, {}));
    const std::string before = readFile(library / "workspace.json");
    StoreHarness h(library.path());
    h.store().select(h.store().deliveries()[0].id);
    h.store().setSearch("harbor");
    EXPECT_FALSE(h.store().hasUnsavedChanges());
    h.store().saveBeforeQuit();
    h.store().shutdown();
    EXPECT_TRUE(h.platform().quitQuestions.empty());
    EXPECT_EQ(readFile(library / "workspace.json"), before);
}

TEST(StoreSaving, ALibraryWithoutTheLockIsReadButNeverWritten) {
    TempDir library;
    writeLibrary(library.path(), libraryOf({projectNamed("Harbor Launch")}, {}));
    const std::string before = readFile(library / "workspace.json");
    StoreHarness h(app::LibraryChoice{library.path(), {}, "\"/lib\": Resource temporarily unavailable"});
    auto& store = h.store();
    EXPECT_TRUE(store.recoveryMode());
    EXPECT_TRUE(startsWith(store.error(), "无法独占使用这个资料库：\"/lib\": Resource temporarily unavailable\n"))
        << store.error().value_or("");
    // Shown as read, with nothing selected and no scan.
    ASSERT_EQ(store.deliveries().size(), 1u);
    EXPECT_FALSE(store.selectedID());
    EXPECT_FALSE(store.isTimerScheduled());
    ASSERT_NE(store.repository(), nullptr);
    EXPECT_FALSE(store.persist());
    store.newDelivery();
    EXPECT_FALSE(store.hasUnsavedChanges());
    store.saveBeforeQuit();
    store.shutdown();
    EXPECT_EQ(readFile(library / "workspace.json"), before);
    // Its English names the reason too.
    LanguageScope english("en");
    EXPECT_EQ(L(*store.error()).rfind("Sorvik cannot have this library to itself: \"/lib\": ", 0), 0u)
        << L(*store.error());
}
