#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "SorvikCore/Models.hpp"
#include "SorvikCore/Subtitles.hpp"

using namespace sorvik;

namespace {

/// The message parse fails with, or "" when it succeeds.
std::string failure(const std::string& text) {
    try {
        Subtitles::parse(text);
    } catch (const SorvikError& error) {
        return error.errorDescription();
    }
    return "";
}

std::string clipFailure(const std::string& text, double duration) {
    try {
        Subtitles::clipped(text, duration);
    } catch (const SorvikError& error) {
        return error.errorDescription();
    }
    return "";
}

const std::string kTwoCues =
    "1\n00:00:01,000 --> 00:00:02,500\n你好\n世界\n\n"
    "2\n00:00:03,000 --> 00:00:04,000\n再见\n";

/// A single cue with the given timing line.
std::string withTiming(const std::string& line) { return "1\n" + line + "\n文字\n"; }

}  // namespace

TEST(SubtitlesParse, ReadsBlocksWithAndWithoutIndexLine) {
    const auto cues = Subtitles::parse(kTwoCues);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[0], (SubtitleCue{1.0, 2.5, "你好\n世界"}));
    EXPECT_EQ(cues[1], (SubtitleCue{3.0, 4.0, "再见"}));

    EXPECT_EQ(Subtitles::parse("00:00:01,000 --> 00:00:02,500\n你好\n世界"), (std::vector<SubtitleCue>{cues[0]}));
    // The body is trimmed of white space and newlines, inner lines kept.
    EXPECT_EQ(Subtitles::parse("00:00:01,000 --> 00:00:02,000\n\t　 a \n b\u3000\n")[0].body, "a \n b");
}

TEST(SubtitlesParse, LineEndsAndByteOrderMarksAreNormalised) {
    const auto expected = Subtitles::parse(kTwoCues);
    std::string crlf, cr;
    for (char c : kTwoCues) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    EXPECT_EQ(Subtitles::parse(crlf), expected);
    EXPECT_EQ(Subtitles::parse(cr), expected);
    EXPECT_EQ(Subtitles::parse("\xEF\xBB\xBF" + crlf), expected);
    // A mark anywhere is removed, also between a CR and its LF and inside a body.
    EXPECT_EQ(Subtitles::parse("\xEF\xBB\xBF"
                               "1\r\xEF\xBB\xBF\n00:00:01,000 --> 00:00:02,500\r\n你\xEF\xBB\xBF好\n世界"
                               "\r\n\xEF\xBB\xBF\r\n2\n00:00:03,000 --> 00:00:04,000\n再见"),
              expected);
}

TEST(SubtitlesParse, EmptyText) {
    EXPECT_EQ(failure(""), "字幕文件为空");
    EXPECT_EQ(failure(" \r\n\t\xEF\xBB\xBF\n\u3000\xEF\xBB\xBF\r"), "字幕文件为空");
}

TEST(SubtitlesParse, BlockSeparators) {
    // A line of spaces and tabs separates blocks like an empty line.
    EXPECT_EQ(Subtitles::parse("00:00:01,000 --> 00:00:02,000\nA\n \t \n00:00:03,000 --> 00:00:04,000\nB").size(), 2u);
    // U+001E separates blocks too.
    EXPECT_EQ(Subtitles::parse("00:00:01,000 --> 00:00:02,000\nA\x1E"
                               "00:00:03,000 --> 00:00:04,000\nB")
                  .size(),
              2u);

    // A line of other white space does not: the next cue becomes part of the body.
    for (const std::string blank : {"\u3000", "\u00A0"}) {
        const auto cues =
            Subtitles::parse("1\n00:00:01,000 --> 00:00:02,000\nA\n" + blank + "\n2\n00:00:03,000 --> 00:00:04,000\nB");
        ASSERT_EQ(cues.size(), 1u);
        EXPECT_EQ(cues[0].body, "A\n" + blank + "\n2\n00:00:03,000 --> 00:00:04,000\nB");
    }

    // Two blank lines leave an empty first line in the next block.
    EXPECT_EQ(failure("00:00:01,000 --> 00:00:02,000\nA\n\n\n00:00:03,000 --> 00:00:04,000\nB"),
              "第 2 段字幕时间格式无效，请使用 SRT");
}

TEST(SubtitlesParse, TimingLines) {
    auto start = [](const std::string& line) { return Subtitles::parse(withTiming(line))[0]; };
    EXPECT_EQ(start("00:00:01.000 --> 00:00:02,000").end, 2.0);
    EXPECT_EQ(start("100:00:00,000 --> 100:00:01,000").start, 360000.0);
    EXPECT_EQ(start(" \u3000 00:00:01,000\t-->    00:00:02,000 \t").start, 1.0);
    EXPECT_EQ(start("01:02:03,456 --> 01:02:04.000").start, 3600.0 * 1 + 120 + 3 + 0.456);

    for (const std::string bad : {
             "0:00:01,000 --> 0:00:02,000",
             "00:00:01,000-->00:00:02,000",
             "00:00:01,000 -->00:00:02,000",
             "00:00:60,000 --> 00:01:00,000",
             "00:60:00,000 --> 01:00:00,000",
             "00:00:01,00 --> 00:00:02,00",
             "00:00:01,0000 --> 00:00:02,000",
             "00:00:01:000 --> 00:00:02,000",
             "00:00:01,000 --> 00:00:02,000 X1:10",
             "00:00:01,000 -> 00:00:02,000",
             "00:00:01,000 --> ",
             "０１:00:01,000 --> ０１:00:02,000",  // full-width digits
             "abc",
         })
        EXPECT_EQ(failure(withTiming(bad)), "第 1 段字幕时间格式无效，请使用 SRT") << bad;
}

TEST(SubtitlesParse, IndexLines) {
    // Index-only blocks are skipped but keep their number.
    EXPECT_EQ(Subtitles::parse(kTwoCues + "\n3\n").size(), 2u);
    EXPECT_EQ(failure("1\n\n2\n\n00:00:01,000 -> 00:00:02,000\nA"), "第 3 段字幕时间格式无效，请使用 SRT");
    EXPECT_EQ(failure("1\n\n2\n\n 3 "), "未找到有效字幕");

    EXPECT_EQ(Subtitles::parse("+7\n00:00:01,000 --> 00:00:02,000\nA")[0].body, "A");
    EXPECT_EQ(Subtitles::parse("-2\n00:00:01,000 --> 00:00:02,000\nA")[0].body, "A");
    EXPECT_EQ(Subtitles::parse("-9223372036854775808\n00:00:01,000 --> 00:00:02,000\nA").size(), 1u);
    // Not an index: out of the 64-bit range, a bare sign, other characters.
    for (const std::string index : {"9223372036854775808", "+", "1a", "1 2"})
        EXPECT_EQ(failure(index + "\n00:00:01,000 --> 00:00:02,000\nA"), "第 1 段字幕时间格式无效，请使用 SRT")
            << index;
}

TEST(SubtitlesParse, InvalidRangesAndOrder) {
    EXPECT_EQ(failure(withTiming("00:00:02,000 --> 00:00:02,000")), "第 1 段字幕为空或时间范围无效");
    EXPECT_EQ(failure(withTiming("00:00:03,000 --> 00:00:02,000")), "第 1 段字幕为空或时间范围无效");
    EXPECT_EQ(failure(kTwoCues + "\n00:00:05,000 --> 00:00:06,000\n \t\u3000"), "第 3 段字幕为空或时间范围无效");
    EXPECT_EQ(failure(kTwoCues + "\n00:00:05,000 --> 00:00:06,000"), "第 3 段字幕为空或时间范围无效");

    EXPECT_EQ(failure("00:00:05,000 --> 00:00:06,000\nA\n\n00:00:04,999 --> 00:00:07,000\nB"),
              "第 2 段字幕未按时间排序");
    // Equal starts and overlaps are accepted; ends are not ordered.
    const auto cues = Subtitles::parse(
        "00:00:05,000 --> 00:00:09,000\nA\n\n00:00:05,000 --> 00:00:06,000\nB\n\n00:00:05,500 --> 00:00:07,000\nC");
    EXPECT_EQ(cues.size(), 3u);
}

TEST(SubtitlesParse, EnormousHoursAreOutOfRange) {
    // 2^63 ms is about 2.56e12 hours; times past it are invalid, never a crash or overflow.
    EXPECT_EQ(Subtitles::parse(withTiming("2000000000000:00:00,000 --> 2000000000000:00:01,000"))[0].start,
              2000000000000.0 * 3600);
    for (const std::string& hours :
         {std::string("2600000000000"), std::string("99999999999999999999"), std::string(400, '9')})
        EXPECT_EQ(failure(withTiming("00:00:00,000 --> " + hours + ":00:00,000")), "第 1 段字幕为空或时间范围无效");
    EXPECT_EQ(failure(withTiming(std::string(5000, '9') + ":00:00,000 --> " + std::string(5000, '9') + ":00:01,000")),
              "第 1 段字幕为空或时间范围无效");
    // Leading zeros do not count against the range.
    EXPECT_EQ(Subtitles::parse(withTiming(std::string(400, '0') + "1:00:00,000 --> 02:00:00,000"))[0].start, 3600.0);
}

TEST(SubtitlesClipped, KeepsCuesStartingBeforeTheDuration) {
    const std::string text =
        "\xEF\xBB\xBF"
        "5\r\n00:00:08.000 --> 00:00:12,000\r\n第一句\r\n\r\n9\r\n00:00:10,000 --> 00:00:11,000\r\n第二句\r\n";
    EXPECT_EQ(Subtitles::clipped(text, 10), "1\n00:00:08,000 --> 00:00:10,000\n第一句\n");

    EXPECT_EQ(Subtitles::clipped("00:00:01,000 --> 00:00:02,000\nA\nB\n\n07\n00:00:03,000 --> 00:00:04,000\nC", 100),
              "1\n00:00:01,000 --> 00:00:02,000\nA\nB\n\n2\n00:00:03,000 --> 00:00:04,000\nC\n");
    // Rounded down, not to the nearest millisecond.
    EXPECT_EQ(Subtitles::clipped(withTiming("00:00:01,001 --> 01:02:03,456"), 1e9),
              "1\n00:00:01,000 --> 01:02:03,456\n文字\n");
    // An infinite duration clamps nothing.
    EXPECT_EQ(Subtitles::clipped(withTiming("99999999:00:00,000 --> 99999999:00:01,250"),
                                 std::numeric_limits<double>::infinity()),
              "1\n99999999:00:00,000 --> 99999999:00:01,250\n文字\n");
}

TEST(SubtitlesClipped, Failures) {
    EXPECT_EQ(clipFailure(kTwoCues, -1), "没有位于视频时长以内的字幕，请手动调整时间轴");
    EXPECT_EQ(clipFailure(kTwoCues, 1), "没有位于视频时长以内的字幕，请手动调整时间轴");
    EXPECT_EQ(clipFailure(kTwoCues, std::nan("")), "没有位于视频时长以内的字幕，请手动调整时间轴");
    EXPECT_EQ(clipFailure("\n\n", 10), "字幕文件为空");
    EXPECT_EQ(clipFailure(withTiming("1:00:00,000 --> 2:00:00,000"), 10), "第 1 段字幕时间格式无效，请使用 SRT");
}

TEST(SubtitlesClipped, OutputAlwaysParsesAgain) {
    // A duration inside a cue's first millisecond would write "a --> a": that cue is dropped.
    EXPECT_EQ(Subtitles::clipped(kTwoCues, 3.0004), "1\n00:00:01,000 --> 00:00:02,500\n你好\n世界\n");
    EXPECT_EQ(clipFailure(withTiming("00:00:00,000 --> 00:00:02,500"), 1e-134),
              "没有位于视频时长以内的字幕，请手动调整时间轴");
    for (const double duration : {0.0005, 1.0009, 2.4999, 3.0001, 3.9999, 10.0}) {
        std::string out;
        try {
            out = Subtitles::clipped(kTwoCues, duration);
        } catch (const SorvikError&) {
            continue;
        }
        EXPECT_NO_THROW(Subtitles::parse(out)) << duration << "\n" << out;
    }
}

TEST(SubtitlesClipped, HugeTimesAreWrittenOnlyWhenTheyReadBackInOrder) {
    // Near 2^53 s a double holds no milliseconds: these two times are written a second apart
    // in milliseconds but read back as the same number of seconds.
    const std::string collapsing = "2501999793103:41:29,258 --> 2501999793103:41:30,198";
    EXPECT_EQ(clipFailure(withTiming(collapsing), 1e300), "没有位于视频时长以内的字幕，请手动调整时间轴");
    EXPECT_EQ(Subtitles::clipped("00:00:01,000 --> 00:00:02,000\nA\n\n" + collapsing + "\nB\n", 1e300),
              "1\n00:00:01,000 --> 00:00:02,000\nA\n");
    // Large times that a double still holds exactly come back unchanged.
    EXPECT_EQ(Subtitles::clipped(withTiming("100000000:00:01,500 --> 100000000:00:03,250"), 1e300),
              "1\n100000000:00:01,500 --> 100000000:00:03,250\n文字\n");
}

TEST(SubtitlesClipped, RandomTextsClipToTextsThatParse) {
    std::mt19937_64 random(5);
    // Hours from ordinary to the edge of the millisecond range.
    const std::uint64_t hourScales[] = {1, 1000, 1000000, 2000000000, 2501999790000, 2562047700000};
    int written = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::uint64_t base = hourScales[random() % std::size(hourScales)];
        std::uint64_t ms = random() % 7200000;
        std::string text;
        std::vector<std::string> bodies;
        auto format = [&](std::uint64_t at) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%02" PRIu64 ":%02" PRIu64 ":%02" PRIu64 ",%03" PRIu64,
                          base + at / 3600000, at / 60000 % 60, at / 1000 % 60, at % 1000);
            return std::string(buffer);
        };
        for (int cue = 1 + static_cast<int>(random() % 5); cue > 0; --cue) {
            const std::uint64_t end = ms + 1 + random() % 4000;
            bodies.push_back("cue " + std::to_string(bodies.size()));
            text += format(ms) + " --> " + format(end) + "\n" + bodies.back() + "\n\n";
            ms += random() % 3000;
        }
        std::vector<SubtitleCue> cues;
        try {
            cues = Subtitles::parse(text);
        } catch (const SorvikError&) {
            continue;
        }
        const double durations[] = {cues.front().start + (random() % 5000) / 1000.0, cues.back().end,
                                    std::numeric_limits<double>::infinity(), -1.0};
        const double duration = durations[random() % std::size(durations)];
        std::string out;
        try {
            out = Subtitles::clipped(text, duration);
        } catch (const SorvikError& error) {
            ASSERT_EQ(error.errorDescription(), "没有位于视频时长以内的字幕，请手动调整时间轴");
            continue;
        }
        std::vector<SubtitleCue> again;
        ASSERT_NO_THROW(again = Subtitles::parse(out)) << text << "duration " << duration << "\n" << out;
        // The cues written are some of the cues read, in their order.
        std::size_t next = 0;
        for (const auto& cue : again) {
            while (next < bodies.size() && bodies[next] != cue.body) ++next;
            ASSERT_LT(next++, bodies.size()) << out;
        }
        ++written;
    }
    EXPECT_GT(written, 1000);
}

TEST(SubtitlesTimestamp, Formats) {
    EXPECT_EQ(Subtitles::timestamp(3723.456), "01:02:03,456");
    EXPECT_EQ(Subtitles::timestamp(-2), "00:00:00,000");
    EXPECT_EQ(Subtitles::timestamp(360000), "100:00:00,000");
    EXPECT_EQ(Subtitles::timestamp(59.9999), "00:00:59,999");
    EXPECT_EQ(Subtitles::timestamp(std::nan("")), "00:00:00,000");
    EXPECT_EQ(Subtitles::timestamp(std::numeric_limits<double>::infinity()), "2562047788015:12:55,807");
    EXPECT_EQ(Subtitles::timestamp(1e300), "2562047788015:12:55,807");
}
