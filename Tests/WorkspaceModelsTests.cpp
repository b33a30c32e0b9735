#include <gtest/gtest.h>

#include "SorvikCore/WorkspaceModels.hpp"
#include "Support/JsonSupport.hpp"

using namespace sorvik;

namespace {

DeliveryFile file(const std::string& name) { return DeliveryFile(UUID::make(), name, "", FileRole::extra, 1, ""); }

IndexedAsset asset(const DeliveryFile& f, std::optional<UUID> project) {
    IndexedAsset a(f, std::nullopt, "", std::nullopt);
    a.projectID = project;
    return a;
}

}  // namespace

TEST(SearchableText, JoinsFivePartsWithFourSeparators) {
    IndexedAsset a(file("a.png"), std::nullopt, "", std::nullopt);
    EXPECT_EQ(a.searchableText(), "a.png    ");

    a.relativeFolder = "山/水";
    a.folderHint = "山水";
    a.recognizedText = "OCR";
    a.file.text = "原文";
    EXPECT_EQ(a.searchableText(), "a.png 山/水 山水 OCR 原文");
    a.file.editedText = "新文";
    EXPECT_EQ(a.searchableText(), "a.png 山/水 山水 OCR 新文");
}

TEST(SearchableText, TakesTheFirst30000Characters) {
    IndexedAsset a(file("a"), std::nullopt, "", std::nullopt);
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "字";
    a.file.text = text;
    const std::string s = a.searchableText();
    EXPECT_EQ(s.size(), std::string("a    ").size() + 30000 * std::string("字").size());
    // Grapheme clusters, not bytes: a flag is two code points and one character.
    std::string flags;
    for (int i = 0; i < 30001; ++i) flags += "\U0001F1E8\U0001F1F3";
    a.file.text = flags;
    EXPECT_EQ(a.searchableText().size(), std::string("a    ").size() + 30000 * 8);
}

TEST(WorkspaceState, DeleteUnknownProjectChangesNothing) {
    const UUID ghost = UUID::make();
    WorkspaceState w;
    w.assets.push_back(asset(file("x"), ghost));
    w.deleteProject(ghost);
    EXPECT_FALSE(w.deletedProjects);
    EXPECT_EQ(w.assets[0].projectID, ghost);
    EXPECT_EQ(w.assets[0].assignment, AssignmentMode::automatic);
}

TEST(WorkspaceState, DeleteMovesProjectAndFreesItsAssets) {
    Delivery p(UUID::make(), "P", {}, DeliveryTemplate::flexible());
    Delivery q(UUID::make(), "Q", {}, DeliveryTemplate::flexible());
    WorkspaceState w({p, q});
    w.assets.push_back(asset(file("a"), p.id));
    w.assets.push_back(asset(file("b"), q.id));
    w.assets[0].isMissing = true;
    w.deleteProject(p.id);
    ASSERT_EQ(w.projects.size(), 1u);
    EXPECT_EQ(w.projects[0].id, q.id);
    ASSERT_TRUE(w.deletedProjects);
    ASSERT_EQ(w.deletedProjects->size(), 1u);
    EXPECT_EQ(w.deletedProjects->back().id, p.id);
    EXPECT_FALSE(w.assets[0].projectID);
    EXPECT_EQ(w.assets[0].assignment, AssignmentMode::unassigned);
    EXPECT_EQ(w.assets[0].reason, "所属项目已删除，原文件保留");
    EXPECT_TRUE(w.assets[0].isMissing);
    EXPECT_EQ(w.assets[1].projectID, q.id);
}

TEST(WorkspaceState, RestoreRebuildsFilesFromTheInbox) {
    const DeliveryFile kept = file("kept-only-in-project");
    DeliveryFile inInbox = file("inbox");
    const DeliveryFile elsewhere = file("moved-on");
    Delivery p(UUID::make(), "P", {inInbox, kept, elsewhere}, DeliveryTemplate::flexible());
    Delivery other(UUID::make(), "O", {}, DeliveryTemplate::flexible());
    WorkspaceState w({p, other});
    w.assets.push_back(asset(inInbox, p.id));
    w.assets.push_back(asset(elsewhere, p.id));
    w.deleteProject(p.id);
    w.assets[1].projectID = other.id;
    w.assets[0].file.name = "inbox-renamed";

    w.restoreProject(p.id);
    ASSERT_EQ(w.projects.size(), 2u);
    const Delivery& restored = w.projects.back();
    EXPECT_EQ(restored.id, p.id);
    ASSERT_EQ(restored.files.size(), 2u);
    EXPECT_EQ(restored.files[0].id, kept.id);
    EXPECT_EQ(restored.files[1].name, "inbox-renamed");
    EXPECT_EQ(w.assets[0].projectID, p.id);
    EXPECT_EQ(w.assets[0].assignment, AssignmentMode::manual);
    EXPECT_EQ(w.assets[0].reason, "所属项目已删除，原文件保留");
    EXPECT_EQ(w.assets[1].projectID, other.id);
    ASSERT_TRUE(w.deletedProjects);
    EXPECT_TRUE(w.deletedProjects->empty());
    EXPECT_TRUE(test::encode(w).at("deletedProjects").is_array());

    w.restoreProject(p.id);  // nothing left to restore
    EXPECT_EQ(w.projects.size(), 2u);
}

TEST(WorkspaceJson, RequiredAndOptionalKeys) {
    WorkspaceState w;
    Json j = test::encode(w);
    EXPECT_FALSE(j.contains("deletedProjects"));
    EXPECT_FALSE(j.contains("archiveFolder"));
    EXPECT_FALSE(j.contains("lastScan"));
    for (const char* key : {"archives", "automaticArchive", "assets", "schemaVersion"}) {
        Json missing = j;
        missing.erase(key);
        EXPECT_THROW(test::decode(missing, coding::decodeWorkspaceState, "workspace"), DecodingError) << key;
    }
    j["schemaVersion"] = 97;
    EXPECT_EQ(test::decode(j, coding::decodeWorkspaceState, "workspace").schemaVersion, 97);

    IndexedAsset a = asset(file("x"), std::nullopt);
    Json aj = test::encode(a);
    aj["assignment"] = "forced";
    EXPECT_THROW(test::decode(aj, coding::decodeIndexedAsset, "a"), DecodingError);
}

TEST(SourceFolder, PathIsStandardizedAndNamed) {
    const SourceFolder s = SourceFolder::make("/data/./素材/../素材/AI输出/");
    EXPECT_EQ(s.path, "/data/素材/AI输出");
    EXPECT_EQ(s.name(), "AI输出");
    EXPECT_TRUE(s.enabled);
    EXPECT_FALSE(s.bookmark);
    EXPECT_EQ(s.resolve(), std::filesystem::path("/data/素材/AI输出"));
    EXPECT_NE(SourceFolder::make("/a").id, SourceFolder::make("/a").id);
}
