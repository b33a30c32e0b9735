// Times subtitle parsing and the delivery checks on 5 MB texts, as the app does on every redraw.
#include <chrono>
#include <cstdio>
#include <string>

#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Subtitles.hpp"

using namespace sorvik;

namespace {

constexpr std::size_t kTextBytes = 5 * 1024 * 1024;

std::string subtitleText() {
    std::string text = "\xEF\xBB\xBF";
    char line[96];
    for (long long i = 0; text.size() < kTextBytes; ++i) {
        const long long start = i * 1500, end = start + 1400;
        std::snprintf(line, sizeof line, "%lld\r\n%02lld:%02lld:%02lld,%03lld --> %02lld:%02lld:%02lld,%03lld\r\n",
                      i + 1, start / 3600000, start / 60000 % 60, start / 1000 % 60, start % 1000, end / 3600000,
                      end / 60000 % 60, end / 1000 % 60, end % 1000);
        text += line;
        text += "第一行字幕 subtitle line\r\n第二行\r\n\r\n";
    }
    return text;
}

std::string copyText() {
    std::string text = "# 新品上市\n";
    while (text.size() < kTextBytes) text += "正文内容，包括 English words 和 emoji 👍🏽。\n";
    return text;
}

template <typename F>
double millisecondsPerRun(int runs, F work) {
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) work();
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - begin;
    return elapsed.count() / runs;
}

}  // namespace

int main() {
    const auto srt = subtitleText();
    const auto copy = copyText();

    std::size_t cueCount = 0;
    const double parseMs = millisecondsPerRun(5, [&] { cueCount = Subtitles::parse(srt).size(); });

    DeliveryTemplate rules;
    rules.requiredRoles = {FileRole::video, FileRole::subtitle, FileRole::copy};
    rules.maxTitleCharacters = 20;
    rules.maxBodyCharacters = 1000;
    rules.maxVideoMB = 2048;
    DeliveryFile video(UUID::make(), "clip.mp4", "clip.mp4", FileRole::video, 1 << 20, "a", 1920, 1080, 120000.0);
    DeliveryFile subtitle(UUID::make(), "clip.srt", "clip.srt", FileRole::subtitle, 0, "b");
    subtitle.text = srt;
    DeliveryFile copyFile(UUID::make(), "copy.md", "copy.md", FileRole::copy, 0, "c");
    copyFile.text = copy;
    const Delivery delivery(UUID::make(), "bench", {video, subtitle, copyFile}, rules);

    std::size_t checkCount = 0;
    const double checksMs = millisecondsPerRun(5, [&] { checkCount = CheckEngine::checks(delivery).size(); });

    std::printf("Subtitles::parse   %.1f MB, %zu cues: %.1f ms (%.0f MB/s)\n", srt.size() / 1048576.0, cueCount,
                parseMs, srt.size() / 1048576.0 / (parseMs / 1000));
    std::printf("CheckEngine::checks 5 MB subtitle + %.1f MB copy, %zu checks: %.1f ms\n", copy.size() / 1048576.0,
                checkCount, checksMs);
    return 0;
}
