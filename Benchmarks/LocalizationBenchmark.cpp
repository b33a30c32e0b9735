// Times translating finished messages back to English at two sizes; a ratio near the size
// ratio (10) means the work grows linearly with the message.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "SorvikCore/Localization.hpp"

namespace {

using Clock = std::chrono::steady_clock;

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

double seconds(const std::string& message) {
    const auto start = Clock::now();
    const std::string result = sorvik::L(sorvik::InLanguage{"en"}, message);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (result.empty()) std::printf("unexpected empty result\n");
    return elapsed;
}

void compare(const char* name, const std::function<std::string(int)>& message) {
    const double small = seconds(message(20'000));
    const double large = seconds(message(200'000));
    std::printf("%-22s 20k: %8.4fs  200k: %8.4fs  ratio %.1f\n", name, small, large, large / small);
}

}  // namespace

int main() {
    seconds("项目");  // builds the tables
    compare("one capture", [](int n) { return "内容不属于指定项目：" + repeat("x", n); });
    compare("no template", [](int n) { return repeat("件 · ", n); });
    compare("nested at the front", [](int n) { return repeat("保存失败：", n) + "缺少成片"; });
    compare("nested at the end", [](int n) { return repeat("     ", n) + repeat("已就位", n); });
    return 0;
}
