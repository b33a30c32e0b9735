#include "SorvikCore/CheckEngine.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <string_view>
#include <unordered_set>

#include "SorvikCore/Subtitles.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::CheckEngine {

namespace {

/// The template with each {n} replaced by the n-th value.
std::string fill(std::string_view templ, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(templ.size() + 16);
    for (std::size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] == '{' && i + 2 < templ.size() && templ[i + 2] == '}' && templ[i + 1] >= '0' &&
            templ[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(templ[i + 1] - '0');
            if (index < values.size()) {
                out += values.begin()[index];
                i += 2;
                continue;
            }
        }
        out += templ[i];
    }
    return out;
}

template <typename Integer>
std::string decimal(Integer value) {
    return std::to_string(value);
}

/// printf's "%.2f" in the C locale, whatever locale the process runs in.
std::string twoDecimals(double value) {
    std::array<char, 400> buffer;  // room for the widest double written in fixed notation
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 2);
    return std::string(buffer.data(), result.ptr);
}

class FileChecks {
public:
    FileChecks(const DeliveryFile& file, std::vector<DeliveryCheck>& list) : file_(file), list_(list) {}

    void add(std::string_view prefix, CheckLevel level, std::string title, std::string detail) {
        list_.emplace_back(std::string(prefix) + file_.id.string(), level, std::move(title), std::move(detail),
                           file_.id);
    }

private:
    const DeliveryFile& file_;
    std::vector<DeliveryCheck>& list_;
};

void checkCover(const DeliveryFile& file, const DeliveryTemplate& rules, FileChecks& out) {
    if (!file.width || !file.height || *file.width < 1 || *file.height < 1) {
        out.add("type-", CheckLevel::error, "封面格式不正确", "请选择可读取的图片。");
        return;
    }
    if (!rules.coverRatio) return;
    const double target = *rules.coverRatio;
    const double actual =
        file.crop ? file.crop->ratio : static_cast<double>(*file.width) / static_cast<double>(*file.height);
    const auto width = decimal(*file.width), height = decimal(*file.height);
    if (std::abs(actual - target) < 0.015) {
        out.add("ratio-", CheckLevel::pass, "封面比例符合规则",
                file.crop ? std::string("导出时生成裁切副本") : fill("{0} × {1}", {width, height}));
    } else {
        out.add("ratio-", CheckLevel::warning, "封面比例需要调整",
                fill("当前 {0} × {1}，目标 {2}", {width, height, ratioLabel(target)}));
    }
}

void checkVideoSize(const DeliveryFile& file, const DeliveryTemplate& rules, FileChecks& out) {
    if (rules.maxVideoMB < 1) return;
    if (static_cast<double>(rules.maxVideoMB) * 1048576.0 < static_cast<double>(file.bytes))
        out.add("size-", CheckLevel::warning, "成片超过目标大小",
                fill("规则上限 {0} MB；可重新压缩视频或调整规则。", {decimal(rules.maxVideoMB)}));
}

bool exceeds(std::size_t count, std::int64_t limit) { return limit >= 1 && count > static_cast<std::uint64_t>(limit); }

void checkCopy(const DeliveryFile& file, const DeliveryTemplate& rules, FileChecks& out) {
    const auto& text = file.effectiveText();
    if (!text) {
        out.add("text-", CheckLevel::error, "文案格式不正确", "请选择 UTF-8 的 TXT 或 Markdown 文件。");
        return;
    }
    const auto [title, body] = titleAndBody(*text);
    if (title.empty()) {
        out.add("title-", CheckLevel::error, "文案还没有标题", "第一行非空文字作为标题。");
    } else if (const auto count = unicode::graphemeCount(title); exceeds(count, rules.maxTitleCharacters)) {
        out.add("title-", CheckLevel::warning, "标题超过字数限制",
                fill("{0} / {1} 字；第一行作为标题。", {decimal(count), decimal(rules.maxTitleCharacters)}));
    } else {
        out.add("title-", CheckLevel::pass, "标题长度合适", fill("{0} 字", {decimal(count)}));
    }
    // A text has no more characters than bytes: a short body needs no count.
    if (exceeds(body.size(), rules.maxBodyCharacters)) {
        if (const auto count = unicode::graphemeCount(body); exceeds(count, rules.maxBodyCharacters))
            out.add("body-", CheckLevel::warning, "正文超过字数限制",
                    fill("{0} / {1} 字", {decimal(count), decimal(rules.maxBodyCharacters)}));
    }
}

/// timedVideo: the delivery's only video with a duration, or null.
void checkSubtitle(const DeliveryFile& file, const DeliveryFile* timedVideo, FileChecks& out) {
    const auto& text = file.effectiveText();
    if (!text) {
        out.add("srt-", CheckLevel::error, "字幕格式需要修正", "请选择 SRT 文本文件");
        return;
    }
    std::vector<SubtitleCue> cues;
    try {
        cues = Subtitles::parse(*text);
    } catch (const SorvikError& error) {
        out.add("srt-", CheckLevel::error, "字幕格式需要修正", error.errorDescription());
        return;
    }

    if (timedVideo) {
        const double duration = *timedVideo->duration;
        double lastEnd = cues.front().end;
        for (const auto& cue : cues) lastEnd = std::max(lastEnd, cue.end);
        if (lastEnd > duration + 0.05)
            out.add("srt-", CheckLevel::warning, "字幕超出了成片时长",
                    fill("超出 {0} 秒，可截到片尾或手动编辑。", {twoDecimals(lastEnd - duration)}));
        else
            out.add("srt-", CheckLevel::pass, "字幕时间在成片范围内",
                    fill("{0} 段字幕 · 时间检查通过", {decimal(cues.size())}));
    } else {
        out.add("srt-", CheckLevel::warning, "字幕与成片尚未核对", "SRT 格式有效；需要唯一一条成片才能自动对照时间。");
    }

    for (std::size_t i = 1; i < cues.size(); ++i) {
        if (cues[i].start < cues[i - 1].end) {
            out.add("overlap-", CheckLevel::warning, "字幕时间存在重叠", "请预览重叠段落，确认是否符合预期。");
            break;
        }
    }
}

void checkFile(const DeliveryFile& file, const DeliveryTemplate& rules, const DeliveryFile* timedVideo,
               std::vector<DeliveryCheck>& list) {
    FileChecks out(file, list);
    if (file.isSourceUpdatePending())
        out.add("source-", CheckLevel::warning, "原文件有更新", "请核对之前保存的裁切或文字调整，再准备交付。");
    if (file.inspectionError) {
        out.add("read-", CheckLevel::error, fill("{0} 无法检查", {file.name}), *file.inspectionError);
        return;
    }
    switch (file.role) {
        case FileRole::video:
            if (!file.duration)
                out.add("type-", CheckLevel::error, "成片格式不正确", "请将 MP4、MOV 或 M4V 视频指定为成片。");
            checkVideoSize(file, rules, out);
            break;
        case FileRole::cover: checkCover(file, rules, out); break;
        case FileRole::copy: checkCopy(file, rules, out); break;
        case FileRole::subtitle: checkSubtitle(file, timedVideo, out); break;
        case FileRole::extra: break;
    }
}

}  // namespace

std::vector<DeliveryCheck> checks(const Delivery& delivery) {
    std::vector<DeliveryCheck> list;
    const auto& files = delivery.files;
    const auto& rules = delivery.templ;
    if (files.empty()) {
        list.emplace_back("empty", CheckLevel::error, "等待第一件文件", "拖入成片、封面、字幕或文案，开始这次交付。");
        return list;
    }

    for (const FileRole role : rules.requiredRoles) {
        const DeliveryFile* first = nullptr;
        std::size_t count = 0;
        for (const auto& file : files) {
            if (file.role != role) continue;
            if (!first) first = &file;
            ++count;
        }
        const std::string id = "role-" + std::string(FileRoles::rawValue(role));
        const auto label = FileRoles::label(role);
        if (!first)
            list.emplace_back(id, CheckLevel::error, fill("缺少{0}", {label}), "添加文件，或在交付规则中调整必需项。");
        else
            list.emplace_back(id, CheckLevel::pass, fill("{0}已就位", {label}), fill("{0} 件文件", {decimal(count)}),
                              first->id);
    }

    // Subtitle timing is compared only against a delivery's one and only timed video.
    const DeliveryFile* timedVideo = nullptr;
    std::size_t timedVideos = 0;
    for (const auto& file : files) {
        if (file.role != FileRole::video || !file.duration) continue;
        if (++timedVideos == 1) timedVideo = &file;
    }
    if (timedVideos != 1) timedVideo = nullptr;

    for (const auto& file : files) checkFile(file, rules, timedVideo, list);

    std::unordered_set<std::string_view> hashes;
    for (const auto& file : files) {
        if (file.sha256.empty()) continue;
        if (!hashes.insert(file.sha256).second) {
            list.emplace_back("duplicates", CheckLevel::warning, "发现内容相同的文件",
                              "核对是否重复导入；附件也会包含在导出包中。");
            break;
        }
    }
    return list;
}

std::pair<std::string, std::string> titleAndBody(std::string_view text) {
    const auto lines = unicode::splitLines(text);
    std::size_t index = 0;
    while (index < lines.size() && unicode::trimWhitespaceAndNewlines(lines[index]).empty()) ++index;
    if (index == lines.size()) return {};

    std::string_view title = lines[index];
    auto strip = [](char c) { return c == '#' || c == ' ' || c == '\t'; };
    while (!title.empty() && strip(title.front())) title.remove_prefix(1);
    while (!title.empty() && strip(title.back())) title.remove_suffix(1);

    std::string body;
    for (std::size_t i = index + 1; i < lines.size(); ++i) {
        if (i > index + 1) body += '\n';
        body += lines[i];
    }
    return {std::string(title), std::string(unicode::trimWhitespaceAndNewlines(body))};
}

std::string ratioLabel(double ratio) {
    struct Named {
        double ratio;
        std::string_view label;
    };
    static const std::array<Named, 4> table{{{0.75, "3:4"}, {0.5625, "9:16"}, {16.0 / 9.0, "16:9"}, {1.0, "1:1"}}};
    for (const auto& entry : table)
        if (std::abs(ratio - entry.ratio) < 0.01) return std::string(entry.label);
    return twoDecimals(ratio) + ":1";
}

}  // namespace sorvik::CheckEngine
