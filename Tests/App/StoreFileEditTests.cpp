// Saving one file's edits through the store: what is copied from the edited record, the pending
// update of a changed original, and the states in which nothing is written.
#include <gtest/gtest.h>

#include "App/Support/ProjectLibrary.hpp"
#include "App/Support/StoreHarness.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::test;

namespace {

struct Library {
    TempDir library, originals;
    std::vector<DeliveryFile> files;

    Library() {
        writeFile(originals / "文案.txt", "标题\n正文");
        writeFile(originals / "b.srt", "1\n00:00:01,000 --> 00:00:02,000\nA\n");
        files = writeProjectLibrary(library.path(), {originals / "文案.txt", originals / "b.srt"});
    }
    const DeliveryFile& copy() const { return files[0]; }
    DeliveryFile stored(const UUID& id) const {
        for (const Delivery& d : Repository(library.path()).loadWorkspace().projects)
            for (const DeliveryFile& f : d.files)
                if (f.id == id) return f;
        ADD_FAILURE() << "not stored";
        return {};
    }
    IndexedAsset storedAsset(const UUID& id) const {
        for (const IndexedAsset& a : Repository(library.path()).loadWorkspace().assets)
            if (a.file.id == id) return a;
        ADD_FAILURE() << "no asset";
        return {};
    }
};

}  // namespace

TEST(StoreEditFile, CopiesRoleCropAndTextIntoTheProjectAndTheAssetAndSaves) {
    Library lib;
    StoreHarness h(lib.library.path());
    auto& store = h.store();
    ASSERT_EQ(store.deliveries().size(), 1u);
    h.platform().clock = Date{900000000};
    DeliveryFile edited = *store.file(lib.copy().id);
    edited.role = FileRole::cover;
    edited.crop = CropSpec{0.5625, 0.1, 0.9};
    edited.editedText = "新标题\n正文";
    edited.name = "ignored.txt";  // only the user's choices are taken
    store.editFile(edited);
    const DeliveryFile saved = lib.stored(edited.id);
    EXPECT_EQ(saved.role, FileRole::cover);
    EXPECT_EQ(saved.crop, edited.crop);
    EXPECT_EQ(saved.editedText, "新标题\n正文");
    EXPECT_EQ(saved.name, "文案.txt");
    EXPECT_FALSE(saved.sourceUpdatePending);
    EXPECT_EQ(lib.storedAsset(edited.id).file, saved);
    EXPECT_EQ(store.file(edited.id), saved);
    EXPECT_EQ(store.deliveries()[0].updatedAt, Date{900000000});
    // An absent edit with an unchanged original clears the stored edit.
    edited.editedText.reset();
    store.editFile(edited);
    EXPECT_FALSE(lib.stored(edited.id).editedText);
}

TEST(StoreEditFile, AChangedOriginalMarksThePendingUpdateAndKeepsTheTextThePersonSaw) {
    Library lib;
    // The sheet opened on the record as it was ...
    const DeliveryFile seen = lib.copy();
    // ... and a rescan then found a newer original with another text.
    {
        const Repository repository(lib.library.path());
        WorkspaceState state = repository.loadWorkspace();
        auto renew = [](DeliveryFile& f) {
            f.reference->modifiedAt.seconds += 60;
            f.text = "新标题\n新正文";
            f.bytes += 6;
        };
        renew(state.projects[0].files[0]);
        renew(state.assets[0].file);
        repository.saveWorkspace(state);
    }
    StoreHarness h(lib.library.path());
    auto& store = h.store();
    // Saved without an edit: the text the person saw stays as the edit, and the update is pending.
    DeliveryFile edited = seen;
    edited.role = FileRole::copy;
    store.editFile(edited);
    DeliveryFile saved = lib.stored(seen.id);
    EXPECT_EQ(saved.sourceUpdatePending, true);
    EXPECT_EQ(saved.editedText, seen.text);
    EXPECT_EQ(saved.text, "新标题\n新正文") << "the inspected text is the new original's";
    EXPECT_EQ(saved.reference->modifiedAt, store.file(seen.id)->reference->modifiedAt);
    // An edit the person made wins over the text seen.
    edited.editedText = "我的版本";
    store.editFile(edited);
    saved = lib.stored(seen.id);
    EXPECT_EQ(saved.editedText, "我的版本");
    EXPECT_EQ(saved.sourceUpdatePending, true);
    // Saving from the current record: nothing changed, so the mark goes.
    DeliveryFile current = *store.file(seen.id);
    current.editedText.reset();
    store.editFile(current);
    saved = lib.stored(seen.id);
    EXPECT_FALSE(saved.sourceUpdatePending);
    EXPECT_FALSE(saved.editedText);
}

TEST(StoreEditFile, ASizeChangeCountsWhenTheReferencesAgreeAndEqualTextsLeaveNoEdit) {
    Library lib;
    StoreHarness h(lib.library.path());
    auto& store = h.store();
    DeliveryFile edited = *store.file(lib.copy().id);
    edited.bytes += 1;
    store.editFile(edited);
    DeliveryFile saved = lib.stored(edited.id);
    EXPECT_EQ(saved.sourceUpdatePending, true);
    // The text seen equals the current text: no edit is made up.
    EXPECT_FALSE(saved.editedText);
    // One record with a reference and one without also counts as changed.
    edited = *store.file(lib.copy().id);
    edited.reference.reset();
    store.editFile(edited);
    EXPECT_EQ(lib.stored(edited.id).sourceUpdatePending, true);
}

TEST(StoreEditFile, WritesNothingWhileBusyOrInRecoveryMode) {
    Library lib;
    StoreHarness h(lib.library.path());
    auto& store = h.store();
    TempDir source;
    store.connectFolders({source.path()});
    ASSERT_TRUE(store.isBusy());
    DeliveryFile edited = *store.file(lib.copy().id);
    edited.role = FileRole::extra;
    store.editFile(edited);
    EXPECT_EQ(store.file(edited.id)->role, FileRole::copy);
    EXPECT_EQ(store.deliveries()[0].files[0].role, FileRole::copy);
    h.settle();

    TempDir broken;
    writeFile(broken / "workspace.json", "{");
    StoreHarness recovering(broken.path());
    ASSERT_TRUE(recovering.store().recoveryMode());
    recovering.store().editFile(edited);
    EXPECT_TRUE(recovering.store().deliveries().empty());
    EXPECT_TRUE(recovering.store().workspace().assets.empty());
    EXPECT_EQ(readFile(broken / "workspace.json"), "{");
}

TEST(StoreOriginals, RevealAndOpenGoThroughThePlatform) {
    Library lib;
    StoreHarness h(lib.library.path());
    auto& store = h.store();
    const DeliveryFile file = *store.file(lib.copy().id);
    store.revealOriginal(file);
    ASSERT_EQ(h.platform().revealed.size(), 1u);
    EXPECT_EQ(h.platform().revealed[0], lib.originals / "文案.txt");
    store.openOriginal(file);
    ASSERT_EQ(h.platform().opened.size(), 1u);
    EXPECT_EQ(h.platform().opened[0], lib.originals / "文案.txt");
    // A library file whose path leaves the library cannot be located: nothing opens.
    DeliveryFile outside = file;
    outside.reference.reset();
    outside.relativePath = "../elsewhere.txt";
    store.revealOriginal(outside);
    store.openOriginal(outside);
    EXPECT_EQ(h.platform().revealed.size(), 1u);
    EXPECT_EQ(h.platform().opened.size(), 1u);
}

TEST(StoreOriginals, WhenNothingOpensALocationTheAlertNamesItAndCopiesIt) {
    Library lib;
    StoreHarness h(lib.library.path());
    auto& store = h.store();
    auto& platform = h.platform();
    const DeliveryFile file = *store.file(lib.copy().id);
    const fs::path original = lib.originals / "文案.txt";
    store.revealOriginal(file);
    store.openOriginal(file);
    store.openLibraryFolder();
    ASSERT_EQ(platform.unopened.size(), 3u);
    EXPECT_EQ(platform.opened.back(), lib.library.path());
    EXPECT_FALSE(store.error());

    // The file manager's silence: the location is named and can be copied.
    const std::size_t before = h.changes.size();
    platform.unopened[0]();
    EXPECT_EQ(h.changes.size(), before + 1);
    ASSERT_TRUE(store.error());
    EXPECT_EQ(*store.error(), "没有文件管理器能打开这个位置。它在：\n" + original.string());
    EXPECT_EQ(store.errorLocation(), original);
    {
        LanguageScope english("en");
        EXPECT_EQ(L(*store.error()), "No file manager could open this location. It is at:\n" + original.string());
    }
    store.copyErrorLocation();
    EXPECT_EQ(platform.clipboard, original.string());

    // No program for the file itself says so.
    platform.unopened[1]();
    EXPECT_EQ(*store.error(), "没有应用程序能打开这个文件。它在：\n" + original.string());
    platform.unopened[2]();
    EXPECT_EQ(store.errorLocation(), lib.library.path());

    // Dismissed, nothing is left to copy; another error carries no location.
    store.clearError();
    EXPECT_FALSE(store.errorLocation());
    platform.clipboard.clear();
    store.copyErrorLocation();
    EXPECT_EQ(platform.clipboard, "");
    platform.unopened[0]();
    store.setScanLimit(0);
    TempDir source;
    writeFile(source / "a.txt", "a");
    store.connectFolders({source.path()});
    ASSERT_TRUE(h.settle());
    ASSERT_TRUE(store.error());
    EXPECT_FALSE(store.errorLocation());
}

TEST(StoreOriginals, AnAnswerAfterTheStoreIsGoneIsDropped) {
    Library lib;
    std::function<void()> late;
    {
        StoreHarness h(lib.library.path());
        h.store().openLibraryFolder();
        ASSERT_EQ(h.platform().unopened.size(), 1u);
        late = h.platform().unopened[0];
    }
    late();  // no store to tell: nothing happens, nothing is touched
}
