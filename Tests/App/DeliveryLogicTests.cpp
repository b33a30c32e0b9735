// The delivery workspace's logic: which checks show and in what order, their symbols and actions,
// the footer's status, the file cards and the rows of all files, and the models behind the lists.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryModel.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::app;
using namespace sorvik::test;

namespace {

DeliveryCheck check(const std::string& id, CheckLevel level, std::optional<UUID> file = std::nullopt) {
    return DeliveryCheck(id, level, "t-" + id, "d-" + id, file);
}

std::vector<std::string> ids(const std::vector<DeliveryCheck>& checks) {
    std::vector<std::string> out;
    for (const auto& c : checks) out.push_back(c.id);
    return out;
}

DeliveryFile file(const std::string& name, FileRole role, std::int64_t bytes = 10) {
    return DeliveryFile(UUID::make(), name, "files/" + name, role, bytes, "");
}

}  // namespace

TEST(VisibleChecks, AFileWithProblemsShowsOnlyThemAndAPassingFileItsLastLine) {
    const UUID cover = UUID::make(), copy = UUID::make(), video = UUID::make();
    const std::vector<DeliveryCheck> source{
        check("role-cover", CheckLevel::pass, cover),  // dropped: the cover has a problem
        check("role-copy", CheckLevel::pass, copy),    // dropped: not the last pass of the copy
        check("role-video", CheckLevel::pass, video),  // the video's only line
        check("type-cover", CheckLevel::pass, cover),  // dropped
        check("ratio-cover", CheckLevel::warning, cover),
        check("title-copy", CheckLevel::pass, copy),
        check("body-copy", CheckLevel::pass, copy),  // the copy's last pass
        check("duplicates", CheckLevel::pass),       // whole-delivery passes all show
        check("other", CheckLevel::pass),
    };
    EXPECT_EQ(ids(visibleChecks(source)),
              (std::vector<std::string>{"ratio-cover", "role-video", "body-copy", "duplicates", "other"}));
}

TEST(VisibleChecks, APassSharingTheLastPassIdIsKeptAndErrorsMoveAheadStably) {
    const UUID a = UUID::make();
    const std::vector<DeliveryCheck> source{
        check("srt-a", CheckLevel::pass, a), check("w1", CheckLevel::warning), check("e1", CheckLevel::error),
        check("srt-a", CheckLevel::pass, a),  // same id as the last pass of the file: both stay
        check("w2", CheckLevel::warning),    check("e2", CheckLevel::error),
    };
    EXPECT_EQ(ids(visibleChecks(source)), (std::vector<std::string>{"e1", "e2", "w1", "w2", "srt-a", "srt-a"}));
    EXPECT_TRUE(visibleChecks({}).empty());
    EXPECT_EQ(rank(CheckLevel::error), 0);
    EXPECT_EQ(rank(CheckLevel::pass), 2);
}

TEST(VisibleChecks, OnlyIssuesComeFromTheIssuesAndTheTogglesTextFollows) {
    LanguageScope zh("zh-Hans");
    DeliverySnapshot snapshot;
    snapshot.checks = {check("a", CheckLevel::pass), check("b", CheckLevel::warning)};
    snapshot.issues = {check("b", CheckLevel::warning)};
    EXPECT_EQ(ids(checkSource(snapshot, true)), (std::vector<std::string>{"b"}));
    EXPECT_EQ(ids(checkSource(snapshot, false)), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(issuesToggleText(false, 4, 1), "4 件内容 · 1 项待处理");
    EXPECT_EQ(issuesToggleText(true, 4, 1), "显示全部");
    EXPECT_TRUE(showsAllPassed(true, 0));
    EXPECT_FALSE(showsAllPassed(false, 0));
    EXPECT_FALSE(showsAllPassed(true, 2));
    LanguageScope en("en");
    EXPECT_EQ(issuesToggleText(false, 4, 1), "4 assets · 1 item to review");
}

TEST(CheckRows, SymbolsTonesAndButtonsFollowTheFirstMatch) {
    LanguageScope zh("zh-Hans");
    const UUID f = UUID::make();
    CheckRowLook look = checkRowLook(check("empty", CheckLevel::error));
    EXPECT_EQ(look.symbol, "tray");
    EXPECT_EQ(look.tone, ViewTone::secondary);
    EXPECT_EQ(look.button, "添加文件");
    EXPECT_EQ(look.action, CheckAction::chooseFiles);
    look = checkRowLook(check("title-x", CheckLevel::pass, f));
    EXPECT_EQ(look.symbol, "checkmark.circle.fill");
    EXPECT_EQ(look.tone, ViewTone::green);
    EXPECT_DOUBLE_EQ(look.opacity, 0.88);
    EXPECT_FALSE(look.button);
    look = checkRowLook(check("ratio-x", CheckLevel::warning, f));
    EXPECT_EQ(look.symbol, "exclamationmark.circle.fill");
    EXPECT_EQ(look.tone, ViewTone::warning);
    EXPECT_EQ(look.button, "裁切封面");
    EXPECT_EQ(look.action, CheckAction::cropCover);
    look = checkRowLook(check("read-x", CheckLevel::error, f));
    EXPECT_EQ(look.symbol, "xmark.circle.fill");
    EXPECT_EQ(look.tone, ViewTone::danger);
    EXPECT_EQ(look.button, "查看");
    EXPECT_EQ(look.action, CheckAction::showFile);
    // Label and action come from the same two facts but separately: a ratio check without a file
    // reads "裁切封面" and chooses files.
    look = checkRowLook(check("ratio-", CheckLevel::warning));
    EXPECT_EQ(look.button, "裁切封面");
    EXPECT_EQ(look.action, CheckAction::chooseFiles);
    look = checkRowLook(check("role-video", CheckLevel::error));
    EXPECT_EQ(look.button, "添加文件");
    // Choosing files is off while busy and in recovery mode; opening sheets never is.
    EXPECT_FALSE(checkActionEnabled(CheckAction::chooseFiles, true, false));
    EXPECT_FALSE(checkActionEnabled(CheckAction::chooseFiles, false, true));
    EXPECT_TRUE(checkActionEnabled(CheckAction::chooseFiles, false, false));
    EXPECT_TRUE(checkActionEnabled(CheckAction::showFile, true, true));
}

TEST(Footer, StatusFollowsThreeIndependentOrders) {
    LanguageScope zh("zh-Hans");
    FooterInputs in;
    // An empty delivery: tray, secondary, "准备开始。", and the error line of its checks.
    in.filesEmpty = true;
    in.issueCount = 1;
    in.hasErrors = true;
    FooterStatus s = footerStatus(in);
    EXPECT_EQ(s.symbol, "tray");
    EXPECT_EQ(s.tone, ViewTone::secondary);
    EXPECT_EQ(s.title, "准备开始。");
    EXPECT_EQ(s.line, "补齐或修正文件后，即可导出");
    // Exported and current but with warnings: the seal, yet the colour of the warnings.
    in = {};
    in.filesEmpty = false;
    in.latestIsCurrent = true;
    in.issueCount = 2;
    s = footerStatus(in);
    EXPECT_EQ(s.symbol, "checkmark.seal.fill");
    EXPECT_EQ(s.tone, ViewTone::warning);
    EXPECT_EQ(s.title, "这一份，已经交齐。");
    EXPECT_EQ(s.line, "文件与清单已写入导出文件夹");
    in.latestIsCurrent = false;
    s = footerStatus(in);
    EXPECT_EQ(s.symbol, "exclamationmark.circle.fill");
    EXPECT_EQ(s.title, "2 项待处理");
    EXPECT_EQ(s.line, "检查提醒事项，或确认后继续导出");
    in.issueCount = 0;
    s = footerStatus(in);
    EXPECT_EQ(s.symbol, "checkmark.circle.fill");
    EXPECT_EQ(s.tone, ViewTone::green);
    EXPECT_EQ(s.title, "每一件，都齐了。");
    EXPECT_EQ(s.line, "文件检查通过，可以放心打包");
    // Busy: the activity, translated, whatever else holds.
    in.busy = true;
    in.activity = "正在校验并导出…";
    EXPECT_EQ(footerStatus(in).title, "正在校验并导出…");
    LanguageScope en("en");
    EXPECT_EQ(footerStatus(in).title, "Verifying and exporting…");
    EXPECT_EQ(exportRecordControl(false, false), ExportRecordControl::none);
    EXPECT_EQ(exportRecordControl(true, true), ExportRecordControl::reveal);
    EXPECT_EQ(exportRecordControl(true, false), ExportRecordControl::history);
}

TEST(FileCards, FourRolesWithTheirFirstFileCountRuleAndOwnProblems) {
    Delivery d(UUID::make(), "D", {}, DeliveryTemplate::graphic());
    d.files = {file("a.srt", FileRole::subtitle), file("c1.jpg", FileRole::cover), file("c2.jpg", FileRole::cover),
               file("c3.jpg", FileRole::cover),   file("x.zip", FileRole::extra),  file("t.txt", FileRole::copy)};
    const UUID cover = d.files[1].id;
    const UUID copy = d.files[5].id;
    const std::vector<DeliveryCheck> checks{
        check("source-c1", CheckLevel::warning, cover),
        check("duplicates", CheckLevel::warning),  // the whole delivery: no card counts it
        check("title-t", CheckLevel::pass, copy),
        check("srt-other", CheckLevel::error, UUID::make()),  // another file's
    };
    const auto cards = fileCards(d, checks);
    EXPECT_EQ(cards[0].role, FileRole::video);
    EXPECT_FALSE(cards[0].file);
    EXPECT_EQ(cards[0].count, 0);
    EXPECT_FALSE(cards[0].required);
    EXPECT_EQ(cards[1].file->name, "c1.jpg");
    EXPECT_EQ(cards[1].count, 3);
    EXPECT_EQ(cards[1].index, 2);
    EXPECT_TRUE(cards[1].required);
    EXPECT_TRUE(cards[1].problematic);
    EXPECT_EQ(cards[2].file->name, "a.srt");
    EXPECT_FALSE(cards[2].problematic);
    EXPECT_EQ(cards[3].file->name, "t.txt");
    EXPECT_TRUE(cards[3].required);
    EXPECT_FALSE(cards[3].problematic);
    EXPECT_EQ(cards[3].index, 4);
}

TEST(FileCards, LooksOfFilledAndEmptySlots) {
    LanguageScope zh("zh-Hans");
    FileCardInfo card;
    card.role = FileRole::cover;
    card.index = 1;
    card.required = true;
    FileCardLook look = fileCardLook(card);
    EXPECT_EQ(look.number, "01");
    EXPECT_EQ(look.placeholder, "添加封面");
    EXPECT_EQ(look.name, "等待添加");
    EXPECT_EQ(look.symbol, "circle.dashed");
    EXPECT_DOUBLE_EQ(look.opacity, 0.4);
    EXPECT_EQ(look.accessibleName, "添加封面");
    EXPECT_FALSE(look.extra);
    card.required = false;
    card.index = 12;
    look = fileCardLook(card);
    EXPECT_EQ(look.number, "12");
    EXPECT_EQ(look.placeholder, "可选封面");
    EXPECT_EQ(look.name, "按需添加");
    // A filled card: three files read "+2", a 75-second video "01:15".
    card.role = FileRole::video;
    card.file = file("clip.mp4", FileRole::video);
    card.file->duration = 75.4;
    card.count = 3;
    look = fileCardLook(card);
    EXPECT_EQ(look.extra, "+2");
    EXPECT_EQ(look.duration, "01:15");
    EXPECT_EQ(look.name, "clip.mp4");
    EXPECT_EQ(look.symbol, "checkmark.circle.fill");
    EXPECT_EQ(look.accessibleName, "查看成片：clip.mp4");
    card.problematic = true;
    card.count = 1;
    card.file->duration.reset();
    look = fileCardLook(card);
    EXPECT_EQ(look.symbol, "exclamationmark.circle.fill");
    EXPECT_EQ(look.tone, ViewTone::warning);
    EXPECT_FALSE(look.extra);
    EXPECT_FALSE(look.duration);
    LanguageScope en("en");
    EXPECT_EQ(fileCardLook(card).accessibleName, "View Video: clip.mp4");
    // Busy: no card acts. Recovery: the empty card (which adds files) is off, a filled one opens.
    EXPECT_FALSE(fileCardEnabled(card, true, false));
    EXPECT_TRUE(fileCardEnabled(card, false, true));
    card.file.reset();
    EXPECT_FALSE(fileCardEnabled(card, false, true));
    EXPECT_TRUE(fileCardEnabled(card, false, false));
}

TEST(FileRows, MenuTextsRolesEditedMarkAndGeometry) {
    LanguageScope zh("zh-Hans");
    EXPECT_EQ(useAsText(FileRole::subtitle), "设为字幕");
    EXPECT_EQ(allFilesTitle(7), "全部文件  7");
    EXPECT_EQ(ruleSetLabel("自由交付"), "自由交付");
    {
        LanguageScope en("en");
        EXPECT_EQ(ruleSetLabel("视频交付"), "Video delivery");
        EXPECT_EQ(ruleSetLabel("图文交付"), "Image delivery");
        EXPECT_EQ(ruleSetLabel("自由交付"), "Flexible delivery");
        // A name of the user's own stays as typed, even when the catalogue knows it.
        EXPECT_EQ(ruleSetLabel("取消"), "取消");
        EXPECT_EQ(ruleSetLabel("自由交付 "), "自由交付 ");
    }
    DeliveryFile f = file("a.jpg", FileRole::cover);
    EXPECT_EQ(withRole(f, FileRole::cover), f);  // the current role: an unchanged copy
    EXPECT_EQ(withRole(f, FileRole::extra).role, FileRole::extra);
    EXPECT_FALSE(isEdited(f));
    f.editedText = "";
    EXPECT_TRUE(isEdited(f));
    f.editedText.reset();
    f.crop = CropSpec{0.75, 0.5, 0.5};
    EXPECT_TRUE(isEdited(f));
    // A long name gives way to the size and the menu, which keep their places at the right.
    const FileRowGeometry g = fileRowGeometry(400, 36, 1000, 30, 50);
    EXPECT_DOUBLE_EQ(g.menu.right(), 400);
    EXPECT_DOUBLE_EQ(g.menu.width(), 22);
    EXPECT_DOUBLE_EQ(g.size.right(), 400 - 22 - 10);
    EXPECT_DOUBLE_EQ(g.name.left(), 30);
    EXPECT_LE(g.edited.right() + 10, g.size.left() - 10 + 0.001);
    const FileRowGeometry short_ = fileRowGeometry(400, 36, 80, 0, 50);
    EXPECT_DOUBLE_EQ(short_.name.width(), 80);
    EXPECT_TRUE(short_.edited.isEmpty());
    const CheckRowGeometry c = checkRowGeometry(500, 40, 60);
    EXPECT_DOUBLE_EQ(c.button.right(), 500);
    EXPECT_DOUBLE_EQ(c.text.left(), 31);
    EXPECT_TRUE(checkRowGeometry(500, 40, 0).button.isEmpty());
}

TEST(DeliveryModels, RowsCarryWhatDelegatesDrawAndPassTheModelTester) {
    LanguageScope zh("zh-Hans");
    DeliveryChecksModel checks;
    QAbstractItemModelTester checksTester(&checks, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const UUID f = UUID::make();
    checks.setChecks(
        {DeliveryCheck("ratio-1", CheckLevel::warning, "封面比例需要调整", "当前 1 × 1，目标 3:4", f),
         DeliveryCheck("empty", CheckLevel::error, "等待第一件文件", "拖入成片、封面、字幕或文案，开始这次交付。")});
    ASSERT_EQ(checks.rowCount(), 2);
    EXPECT_EQ(checks.index(0, 0).data().toString(), QStringLiteral("封面比例需要调整"));
    EXPECT_EQ(checks.index(0, 0).data(DeliveryChecksModel::ButtonRole).toString(), QStringLiteral("裁切封面"));
    EXPECT_EQ(checks.index(0, 0).data(DeliveryChecksModel::FileIDRole).toString(), QString::fromStdString(f.string()));
    EXPECT_EQ(checks.index(1, 0).data(DeliveryChecksModel::SymbolRole).toString(), QStringLiteral("tray"));
    EXPECT_TRUE(checks.index(1, 0).data(DeliveryChecksModel::FileIDRole).toString().isEmpty());
    EXPECT_FALSE(checks.index(2, 0).isValid());
    checks.setChecks({});
    EXPECT_EQ(checks.rowCount(), 0);

    DeliveryFilesModel files;
    QAbstractItemModelTester filesTester(&files, QAbstractItemModelTester::FailureReportingMode::Fatal);
    DeliveryFile edited = file("b.txt", FileRole::copy, 1'234'567);
    edited.editedText = "x";
    files.setFiles({file("a.jpg", FileRole::cover, 4096), edited});
    ASSERT_EQ(files.rowCount(), 2);
    EXPECT_EQ(files.index(0, 0).data(DeliveryFilesModel::SizeRole).toString(), QStringLiteral("4 KB"));
    EXPECT_EQ(files.index(1, 0).data(DeliveryFilesModel::SizeRole).toString(), QStringLiteral("1.2 MB"));
    EXPECT_EQ(files.index(0, 0).data(DeliveryFilesModel::SymbolRole).toString(), QStringLiteral("photo"));
    EXPECT_TRUE(files.index(1, 0).data(DeliveryFilesModel::EditedRole).toBool());
    EXPECT_EQ(files.fileID(1), edited.id);
    EXPECT_FALSE(files.fileID(2));
    files.setFiles({});
    EXPECT_EQ(files.rowCount(), 0);
}

TEST(DeliverySnapshot, ReadsTheSelectedDeliveryOnceAndTheExportButtonFollowsTheMenu) {
    TempDir library;
    StoreHarness h(library.path());
    AppStore& store = h.store();
    EXPECT_TRUE(deliverySnapshot(store).checks.empty());
    store.newDelivery();
    DeliverySnapshot s = deliverySnapshot(store);
    ASSERT_EQ(s.checks.size(), 1u);  // "empty"
    EXPECT_TRUE(s.hasErrors);
    EXPECT_EQ(s.issues.size(), 1u);
    EXPECT_FALSE(exportButtonEnabled(store, s));
    // A delivery with one extra file and flexible rules has nothing to fix: export may run.
    store.update(std::nullopt, [](Delivery& d) { d.files.push_back(file("x.bin", FileRole::extra)); });
    s = deliverySnapshot(store);
    EXPECT_FALSE(s.hasErrors);
    EXPECT_TRUE(exportButtonEnabled(store, s));
    EXPECT_EQ(exportButtonEnabled(store, s), store.canExport());
    EXPECT_TRUE(exportAllowed(false, true, false));
    EXPECT_FALSE(exportAllowed(true, true, false));
    EXPECT_FALSE(exportAllowed(false, false, false));
    EXPECT_FALSE(exportAllowed(false, true, true));
}
