#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Inspector.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;

namespace {

DeliveryFile makeFile(FileRole role, std::string name, std::string sha256 = "") {
    DeliveryFile file;
    file.id = UUID::make();
    file.name = std::move(name);
    file.relativePath = file.name;
    file.role = role;
    file.sha256 = sha256.empty() ? file.id.string() : std::move(sha256);
    return file;
}

DeliveryFile video(std::string name, std::optional<double> duration, std::int64_t bytes = 1000) {
    auto file = makeFile(FileRole::video, std::move(name));
    file.duration = duration;
    file.bytes = bytes;
    return file;
}

DeliveryFile cover(std::optional<std::int64_t> width, std::optional<std::int64_t> height) {
    auto file = makeFile(FileRole::cover, "cover.jpg");
    file.width = width;
    file.height = height;
    return file;
}

DeliveryFile textFile(FileRole role, std::optional<std::string> text, std::string name = "") {
    auto file = makeFile(role, name.empty() ? std::string(role == FileRole::copy ? "copy.txt" : "sub.srt") : name);
    file.text = std::move(text);
    return file;
}

/// An SRT text of `count` cues one after the other (count < 60), the last ending at `lastEnd`.
std::string srt(int count, const std::string& lastEnd) {
    std::string text;
    for (int i = 0; i < count - 1; ++i) {
        const auto two = [](int v) { return (v < 10 ? "0" : "") + std::to_string(v); };
        text += std::to_string(i + 1) + "\n00:00:" + two(i) + ",000 --> 00:00:" + two(i + 1) + ",000\n行\n\n";
    }
    const auto start = std::to_string(100 + count - 1).substr(1);
    return text + std::to_string(count) + "\n00:00:" + start + ",000 --> " + lastEnd + "\n最后\n";
}

std::string repeat(const std::string& unit, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += unit;
    return out;
}

/// Each check as "prefix|level|title|detail|file name", after checking that a per-file
/// identifier is its prefix followed by the file's identifier.
std::vector<std::string> summary(const Delivery& delivery) {
    std::vector<std::string> rows;
    for (const auto& check : CheckEngine::checks(delivery)) {
        std::string kind = check.id, owner;
        if (check.fileID) {
            for (const auto& file : delivery.files)
                if (file.id == *check.fileID) owner = file.name;
            const auto uuid = check.fileID->string();
            if (kind.size() > uuid.size() && kind.compare(kind.size() - uuid.size(), uuid.size(), uuid) == 0)
                kind.resize(kind.size() - uuid.size());
        }
        rows.push_back(kind + "|" + std::string(CheckLevels::rawValue(check.level)) + "|" + check.title + "|" +
                       check.detail + "|" + owner);
    }
    return rows;
}

Delivery delivery(std::vector<DeliveryFile> files, DeliveryTemplate rules = {}) {
    return Delivery(UUID::make(), "交付", std::move(files), std::move(rules));
}

using Rows = std::vector<std::string>;

}  // namespace

TEST(CheckEngine, ExampleDelivery) {
    DeliveryTemplate rules;
    rules.requiredRoles = {FileRole::video, FileRole::cover, FileRole::subtitle, FileRole::copy};
    rules.coverRatio = 0.75;
    rules.maxVideoMB = 2048;
    rules.maxTitleCharacters = 20;
    rules.maxBodyCharacters = 1000;
    const auto d = delivery(
        {video("clip.mp4", 30, 100 * 1048576), cover(1080, 1440), textFile(FileRole::subtitle, srt(10, "00:00:30,020")),
         textFile(FileRole::copy, "# 新品上市十二个字的标题啊\n" + repeat("正", 300))},
        rules);
    EXPECT_EQ(summary(d), (Rows{
                              "role-video|pass|成片已就位|1 件文件|clip.mp4",
                              "role-cover|pass|封面已就位|1 件文件|cover.jpg",
                              "role-subtitle|pass|字幕已就位|1 件文件|sub.srt",
                              "role-copy|pass|文案已就位|1 件文件|copy.txt",
                              "ratio-|pass|封面比例符合规则|1080 × 1440|cover.jpg",
                              "srt-|pass|字幕时间在成片范围内|10 段字幕 · 时间检查通过|sub.srt",
                              "title-|pass|标题长度合适|12 字|copy.txt",
                          }));
    const auto list = CheckEngine::checks(d);
    EXPECT_EQ(list[4].id, "ratio-" + d.files[1].id.string());
    EXPECT_EQ(list[4].id.size(), 6u + 36u);
}

TEST(CheckEngine, EmptyDeliveryEndsEverything) {
    DeliveryTemplate rules;
    rules.requiredRoles = {FileRole::video, FileRole::copy};
    EXPECT_EQ(summary(delivery({}, rules)),
              (Rows{"empty|error|等待第一件文件|拖入成片、封面、字幕或文案，开始这次交付。|"}));
    EXPECT_FALSE(CheckEngine::checks(delivery({}, rules))[0].fileID);
}

TEST(CheckEngine, RequiredRoles) {
    DeliveryTemplate rules;
    rules.requiredRoles = {FileRole::subtitle, FileRole::video, FileRole::subtitle};
    const auto d = delivery({makeFile(FileRole::extra, "a.zip"), textFile(FileRole::subtitle, std::nullopt, "1.srt"),
                             textFile(FileRole::subtitle, std::nullopt, "2.srt")},
                            rules);
    const auto rows = summary(d);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0], "role-subtitle|pass|字幕已就位|2 件文件|1.srt");
    EXPECT_EQ(rows[1], "role-video|error|缺少成片|添加文件，或在交付规则中调整必需项。|");
    EXPECT_EQ(rows[2], rows[0]);

    // No required roles: no role checks at all.
    EXPECT_EQ(summary(delivery({makeFile(FileRole::extra, "a.zip")})), Rows{});
}

TEST(CheckEngine, SourceUpdateAndUnreadableFile) {
    auto broken = video("clip.mov", 12.0);
    broken.sourceUpdatePending = true;
    broken.inspectionError = "无法读取视频";
    auto subtitle = textFile(FileRole::subtitle, srt(2, "00:00:12,500"));
    subtitle.sourceUpdatePending = false;
    EXPECT_EQ(summary(delivery({broken, subtitle})),
              (Rows{
                  "source-|warning|原文件有更新|请核对之前保存的裁切或文字调整，再准备交付。|clip.mov",
                  "read-|error|clip.mov 无法检查|无法读取视频|clip.mov",
                  // The unreadable video still counts as the one timed video.
                  "srt-|warning|字幕超出了成片时长|超出 0.50 秒，可截到片尾或手动编辑。|sub.srt",
              }));
}

TEST(CheckEngine, VideoTypeAndSize) {
    DeliveryTemplate rules;
    rules.maxVideoMB = 1;
    EXPECT_EQ(summary(delivery({video("a.mp4", std::nullopt, 1048577)}, rules)),
              (Rows{"type-|error|成片格式不正确|请将 MP4、MOV 或 M4V 视频指定为成片。|a.mp4",
                    "size-|warning|成片超过目标大小|规则上限 1 MB；可重新压缩视频或调整规则。|a.mp4"}));
    EXPECT_EQ(summary(delivery({video("a.mp4", 5, 1048576)}, rules)), Rows{});
    rules.maxVideoMB = 0;
    EXPECT_EQ(summary(delivery({video("a.mp4", 5, 1LL << 40)}, rules)), Rows{});
    rules.maxVideoMB = 2048;
    EXPECT_EQ(summary(delivery({video("a.mp4", 5, 2048LL * 1048576 + 1)}, rules)),
              (Rows{"size-|warning|成片超过目标大小|规则上限 2048 MB；可重新压缩视频或调整规则。|a.mp4"}));
}

TEST(CheckEngine, CoverChecks) {
    DeliveryTemplate rules;
    rules.coverRatio = 0.75;
    EXPECT_EQ(summary(delivery({cover(1080, 1440)}, rules)),
              Rows{"ratio-|pass|封面比例符合规则|1080 × 1440|cover.jpg"});
    rules.coverRatio = 0.5625;
    EXPECT_EQ(summary(delivery({cover(1080, 1440)}, rules)),
              Rows{"ratio-|warning|封面比例需要调整|当前 1080 × 1440，目标 9:16|cover.jpg"});
    rules.coverRatio = 0.8;
    EXPECT_EQ(summary(delivery({cover(1080, 1440)}, rules)),
              Rows{"ratio-|warning|封面比例需要调整|当前 1080 × 1440，目标 0.80:1|cover.jpg"});

    // A crop replaces the image's ratio; the detail still names the image's own size.
    rules.coverRatio = 0.75;
    auto cropped = cover(1920, 1080);
    cropped.crop = CropSpec{0.76, 0.5, 0.5};
    EXPECT_EQ(summary(delivery({cropped}, rules)), Rows{"ratio-|pass|封面比例符合规则|导出时生成裁切副本|cover.jpg"});
    cropped.crop->ratio = 0.77;
    EXPECT_EQ(summary(delivery({cropped}, rules)),
              Rows{"ratio-|warning|封面比例需要调整|当前 1920 × 1080，目标 3:4|cover.jpg"});

    const std::string badType = "type-|error|封面格式不正确|请选择可读取的图片。|cover.jpg";
    EXPECT_EQ(summary(delivery({cover(std::nullopt, 1440)}, rules)), Rows{badType});
    EXPECT_EQ(summary(delivery({cover(1080, 0)}, rules)), Rows{badType});
    rules.coverRatio.reset();
    EXPECT_EQ(summary(delivery({cover(-3, 1440)}, rules)), Rows{badType});
    EXPECT_EQ(summary(delivery({cover(1080, 1440)}, rules)), Rows{});
}

TEST(CheckEngine, CopyChecks) {
    DeliveryTemplate rules;
    rules.maxTitleCharacters = 5;
    rules.maxBodyCharacters = 4;
    auto rowsFor = [&](std::optional<std::string> text) {
        return summary(delivery({textFile(FileRole::copy, std::move(text))}, rules));
    };

    EXPECT_EQ(rowsFor(std::nullopt),
              Rows{"text-|error|文案格式不正确|请选择 UTF-8 的 TXT 或 Markdown 文件。|copy.txt"});
    EXPECT_EQ(rowsFor(""), Rows{"title-|error|文案还没有标题|第一行非空文字作为标题。|copy.txt"});
    // An empty title does not stop the body check.
    EXPECT_EQ(rowsFor("###\n正文超过四个字"), (Rows{"title-|error|文案还没有标题|第一行非空文字作为标题。|copy.txt",
                                                    "body-|warning|正文超过字数限制|7 / 4 字|copy.txt"}));
    // Counts are grapheme clusters: a family emoji and a letter with a combining mark count 1 each.
    EXPECT_EQ(rowsFor("👨‍👩‍👧e\u0301标题啊\n正文"), Rows{"title-|pass|标题长度合适|5 字|copy.txt"});
    EXPECT_EQ(rowsFor("👨‍👩‍👧e\u0301标题啊!\n正文"),
              Rows{"title-|warning|标题超过字数限制|6 / 5 字；第一行作为标题。|copy.txt"});
    // CR LF pairs are two line breaks each, and the body's count includes them.
    EXPECT_EQ(rowsFor("标题\r\n一\r\n二\r\n三"),
              (Rows{"title-|pass|标题长度合适|2 字|copy.txt", "body-|warning|正文超过字数限制|7 / 4 字|copy.txt"}));

    // The edited text replaces the extracted one, even when empty.
    auto edited = textFile(FileRole::copy, "原标题");
    edited.editedText = "";
    EXPECT_EQ(summary(delivery({edited}, rules)),
              Rows{"title-|error|文案还没有标题|第一行非空文字作为标题。|copy.txt"});
    edited.editedText = "新标题";
    EXPECT_EQ(summary(delivery({edited}, rules)), Rows{"title-|pass|标题长度合适|3 字|copy.txt"});

    rules.maxTitleCharacters = 0;
    rules.maxBodyCharacters = -1;
    EXPECT_EQ(rowsFor("很长很长很长很长的标题\n很长很长很长很长的正文"),
              Rows{"title-|pass|标题长度合适|11 字|copy.txt"});
}

TEST(CheckEngine, SubtitleChecks) {
    auto rowsFor = [](std::vector<DeliveryFile> files) { return summary(delivery(std::move(files))); };
    const std::string unchecked =
        "srt-|warning|字幕与成片尚未核对|SRT 格式有效；需要唯一一条成片才能自动对照时间。|sub.srt";

    EXPECT_EQ(rowsFor({textFile(FileRole::subtitle, std::nullopt)}),
              Rows{"srt-|error|字幕格式需要修正|请选择 SRT 文本文件|sub.srt"});
    EXPECT_EQ(rowsFor({textFile(FileRole::subtitle, "\xEF\xBB\xBF\r\n")}),
              Rows{"srt-|error|字幕格式需要修正|字幕文件为空|sub.srt"});
    EXPECT_EQ(
        rowsFor({textFile(FileRole::subtitle, "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n00:00:01 --> 00:00:02\nB")}),
        Rows{"srt-|error|字幕格式需要修正|第 2 段字幕时间格式无效，请使用 SRT|sub.srt"});
    EXPECT_EQ(rowsFor({textFile(FileRole::subtitle, "00:00:00,000 --> 99999999999999:00:00,000\nA")}),
              Rows{"srt-|error|字幕格式需要修正|第 1 段字幕为空或时间范围无效|sub.srt"});

    // Timing against the one timed video: 0.05 s of tolerance, the excess measured from the duration.
    EXPECT_EQ(rowsFor({video("v.mp4", 10), textFile(FileRole::subtitle, srt(3, "00:00:10,050"))}),
              Rows{"srt-|pass|字幕时间在成片范围内|3 段字幕 · 时间检查通过|sub.srt"});
    EXPECT_EQ(rowsFor({video("v.mp4", 10), textFile(FileRole::subtitle, srt(3, "00:00:10,060"))}),
              Rows{"srt-|warning|字幕超出了成片时长|超出 0.06 秒，可截到片尾或手动编辑。|sub.srt"});
    EXPECT_EQ(rowsFor({textFile(FileRole::subtitle, srt(2, "00:00:10,000")), video("v.mp4", 8.7)}),
              Rows{"srt-|warning|字幕超出了成片时长|超出 1.30 秒，可截到片尾或手动编辑。|sub.srt"});
    // The largest end counts, not the last cue's.
    EXPECT_EQ(rowsFor({video("v.mp4", 10), textFile(FileRole::subtitle,
                                                    "00:00:00,000 --> 00:00:20,000\nA\n\n"
                                                    "00:00:01,000 --> 00:00:02,000\nB")}),
              (Rows{"srt-|warning|字幕超出了成片时长|超出 10.00 秒，可截到片尾或手动编辑。|sub.srt",
                    "overlap-|warning|字幕时间存在重叠|请预览重叠段落，确认是否符合预期。|sub.srt"}));

    EXPECT_EQ(rowsFor({textFile(FileRole::subtitle, srt(2, "00:00:05,000"))}), Rows{unchecked});
    auto two = rowsFor({video("a.mp4", 10), video("b.mp4", 20), textFile(FileRole::subtitle, srt(2, "00:00:05,000"))});
    EXPECT_EQ(two, Rows{unchecked});
    // A video without a duration is no timed video.
    EXPECT_EQ(rowsFor({video("a.mp4", 1), video("b.mp4", std::nullopt),
                       textFile(FileRole::subtitle, srt(2, "00:00:09,000"))}),
              (Rows{"type-|error|成片格式不正确|请将 MP4、MOV 或 M4V 视频指定为成片。|b.mp4",
                    "srt-|warning|字幕超出了成片时长|超出 8.00 秒，可截到片尾或手动编辑。|sub.srt"}));
}

TEST(CheckEngine, SubtitleOverlaps) {
    auto rowsFor = [](const std::string& text) { return summary(delivery({textFile(FileRole::subtitle, text)})); };
    const std::string overlap = "overlap-|warning|字幕时间存在重叠|请预览重叠段落，确认是否符合预期。|sub.srt";
    EXPECT_EQ(rowsFor("00:00:01,000 --> 00:00:02,000\nA\n\n00:00:02,000 --> 00:00:03,000\nB").size(), 1u);
    EXPECT_EQ(rowsFor("00:00:01,000 --> 00:00:02,500\nA\n\n00:00:02,000 --> 00:00:03,000\nB").back(), overlap);
    // At most one per file, however many cues overlap.
    const auto rows = rowsFor(
        "00:00:01,000 --> 00:00:09,000\nA\n\n00:00:02,000 --> 00:00:08,000\nB\n\n"
        "00:00:03,000 --> 00:00:07,000\nC");
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.back(), overlap);
}

TEST(CheckEngine, Duplicates) {
    const std::string duplicates = "duplicates|warning|发现内容相同的文件|核对是否重复导入；附件也会包含在导出包中。|";
    auto broken = makeFile(FileRole::cover, "x.jpg", "aaa");
    broken.inspectionError = "坏";
    const auto withBroken = summary(delivery({makeFile(FileRole::extra, "a.zip", "aaa"), broken}));
    EXPECT_EQ(withBroken.back(), duplicates);

    std::vector<DeliveryFile> files;
    for (const char* hash : {"h1", "h2", "h3", "h1", "h2", "h3"}) files.push_back(makeFile(FileRole::extra, "f", hash));
    EXPECT_EQ(summary(delivery(files)), Rows{duplicates});

    auto e1 = makeFile(FileRole::extra, "e1"), e2 = makeFile(FileRole::extra, "e2");
    e1.sha256.clear();
    e2.sha256.clear();
    EXPECT_EQ(summary(delivery({e1, e2})), Rows{});
}

TEST(CheckEngine, RatioLabel) {
    EXPECT_EQ(CheckEngine::ratioLabel(0.75), "3:4");
    EXPECT_EQ(CheckEngine::ratioLabel(0.755), "3:4");
    EXPECT_EQ(CheckEngine::ratioLabel(0.5625), "9:16");
    EXPECT_EQ(CheckEngine::ratioLabel(1.7777), "16:9");
    EXPECT_EQ(CheckEngine::ratioLabel(1.0), "1:1");
    EXPECT_EQ(CheckEngine::ratioLabel(0.8), "0.80:1");
    EXPECT_EQ(CheckEngine::ratioLabel(2), "2.00:1");
    EXPECT_EQ(CheckEngine::ratioLabel(1.02), "1.02:1");
    EXPECT_EQ(CheckEngine::ratioLabel(1.0049), "1:1");
}

TEST(CheckEngineTitleAndBody, SplitsTitleAndBody) {
    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(CheckEngine::titleAndBody("\n\n  ## 新品上市 #  \n正文第一行\n\n"), (Pair{"新品上市", "正文第一行"}));
    EXPECT_EQ(CheckEngine::titleAndBody("# 标题\n正文"), (Pair{"标题", "正文"}));
    EXPECT_EQ(CheckEngine::titleAndBody("标题\r\n第一段\r\n第二段"), (Pair{"标题", "第一段\n\n第二段"}));
    EXPECT_EQ(CheckEngine::titleAndBody("标题\u2028正文\u2029尾"), (Pair{"标题", "正文\n尾"}));
    EXPECT_EQ(CheckEngine::titleAndBody("\u0085\v\f标题\u0085正文"), (Pair{"标题", "正文"}));
    // Only "#", space and tab are stripped from the title; the ideographic space stays.
    EXPECT_EQ(CheckEngine::titleAndBody("\u3000\n\t# \u3000标题\u3000 #\n\n  正文  \n"),
              (Pair{"\u3000标题\u3000", "正文"}));
    EXPECT_EQ(CheckEngine::titleAndBody("###\n\n正文"), (Pair{"", "正文"}));
    EXPECT_EQ(CheckEngine::titleAndBody(" \n\t\u3000\r\n\u2028\u00A0"), (Pair{"", ""}));
    EXPECT_EQ(CheckEngine::titleAndBody(""), (Pair{"", ""}));
}

TEST(CheckEngine, ASubtitleInAnotherEncodingIsReportedAsSuch) {
    // UTF-16 without a mark reads as UTF-8 full of NULs; with the UTF-32 mark it is UTF-32.
    const test::TempDir dir;
    const std::string cue = "1\n00:00:00,000 --> 00:00:01,000\nhi\n";
    std::string utf16, utf32("\xFF\xFE\x00\x00", 4);
    for (const char c : cue) {
        utf16 += std::string{c, '\0'};
        utf32 += std::string{c, '\0', '\0', '\0'};
    }
    test::writeFile(dir / "sub.srt", utf16);
    DeliveryFile file = FileInspector::inspect(dir / "sub.srt", "sub.srt", std::nullopt, true);
    EXPECT_EQ(summary(delivery({file})), Rows{"read-|error|sub.srt 无法检查|无法读取文字，请保存为 UTF-8|sub.srt"});
    test::writeFile(dir / "sub.srt", utf32);
    file = FileInspector::inspect(dir / "sub.srt", "sub.srt", std::nullopt, true);
    EXPECT_EQ(summary(delivery({file})),
              Rows{"srt-|warning|字幕与成片尚未核对|SRT 格式有效；需要唯一一条成片才能自动对照时间。|sub.srt"});
}
