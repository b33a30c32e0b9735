// Recognises 20 generated posters with one recognizer, then runs the `tesseract` command once
// per image on the same files (as installed, then held to one thread), and prints the times,
// how many printed lines each read back, and the ratios.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "SorvikCore/LocalTextRecognizer.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int imageCount = 20;

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "failed: " << command << "\n";
        std::exit(1);
    }
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A poster: two or three lines of Chinese and English, black on white. Even images are
// screenshot-sized PNGs, odd ones camera-sized JPEGs with larger type.
void makePoster(const fs::path& folder, int index, const std::string& text, const fs::path& out) {
    const fs::path txt = folder / "text.txt", mask = folder / "mask.png", ink = folder / "ink.png";
    std::ofstream(txt) << text;
    const bool large = index % 2 == 1;
    run("vips text " + quoted(mask) + " \"$(cat " + quoted(txt) + ")\" --font 'Noto Sans CJK SC 40' --dpi " +
        (large ? "360" : "180") + " && vips invert " + quoted(mask) + " " + quoted(ink));
    const int width = large ? 3000 : 1280, height = large ? 2000 : 800;
    run("vips embed " + quoted(ink) + " " + quoted(out) + " " + std::to_string(large ? 300 : 80) + " " +
        std::to_string(large ? 400 : 120) + " " + std::to_string(width) + " " + std::to_string(height) +
        " --extend white");
}

int spawnQuiet(const std::vector<std::string>& args, char** environment) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// How many of the lines printed on the image were read back exactly.
int found(const std::string& text, const std::vector<std::string>& lines) {
    int count = 0;
    for (const auto& line : lines)
        if (text.find(line) != std::string::npos) ++count;
    return count;
}

}  // namespace

int main() {
    const std::vector<std::string> chinese{"山间慢生活", "城市夜跑计划", "春日露营指南", "咖啡馆的午后",
                                           "海边的日落", "老街美食地图", "周末手作市集", "雪山徒步记录",
                                           "家庭烘焙课", "秋天的图书馆"};
    const std::vector<std::string> english{"Spring Poster 2024", "Harbour Lights", "Weekend Market", "Night Run Club",
                                           "Slow Living",        "Mountain Trail", "Coffee Break",   "Sunset Notes",
                                           "Street Food Map",    "Autumn Reading"};

    const fs::path folder = fs::temp_directory_path() / ("sorvik-recognition-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<fs::path> images;
    std::vector<std::vector<std::string>> printed;
    int printedLines = 0;
    for (int i = 0; i < imageCount; ++i) {
        std::vector<std::string> lines{chinese[i % chinese.size()], english[(i * 3) % english.size()]};
        if (i % 3 == 0) lines.push_back("Sorvik 第" + std::to_string(i + 1) + "期");
        std::string text;
        for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
        printed.push_back(lines);
        printedLines += static_cast<int>(lines.size());
        const fs::path out = folder / ("poster-" + std::to_string(i) + (i % 2 == 1 ? ".jpg" : ".png"));
        makePoster(folder, i, text, out);
        images.push_back(out);
    }

    // One recognizer for the whole run, as a scan uses it; its start is part of the time.
    int recognized = 0;
    const auto ownStart = Clock::now();
    {
        sorvik::LocalTextRecognizer::Recognizer recognizer;
        for (std::size_t i = 0; i < images.size(); ++i)
            recognized += found(recognizer.recognize(images[i]), printed[i]);
    }
    const double ownSeconds = std::chrono::duration<double>(Clock::now() - ownStart).count();

    // The command as installed, and again held to one thread as the recognizer is.
    std::vector<std::string> singleThreadEnvironment{"OMP_THREAD_LIMIT=1"};
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).substr(0, 17) != "OMP_THREAD_LIMIT=") singleThreadEnvironment.emplace_back(*e);
    std::vector<char*> singleThread;
    for (auto& e : singleThreadEnvironment) singleThread.push_back(e.data());
    singleThread.push_back(nullptr);

    struct CommandRun {
        double seconds = 0;
        int recognized = 0;
    };
    const auto runCommand = [&](char** environment) {
        CommandRun result;
        const auto start = Clock::now();
        for (std::size_t i = 0; i < images.size(); ++i) {
            const fs::path base = folder / ("out-" + std::to_string(i));
            if (spawnQuiet({"tesseract", images[i].string(), base.string(), "-l", "chi_sim+eng", "--oem", "1"},
                           environment) != 0) {
                std::cerr << "the tesseract command failed (is tesseract-ocr installed?)\n";
                fs::remove_all(folder);
                std::exit(1);
            }
            result.recognized += found(contents(base.string() + ".txt"), printed[i]);
        }
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    };
    const CommandRun command = runCommand(environ);
    const CommandRun commandSingle = runCommand(singleThread.data());
    fs::remove_all(folder);

    std::printf("recognizer:        %d images in %.3f s (%.1f ms per image), %d of %d lines read exactly\n", imageCount,
                ownSeconds, 1000 * ownSeconds / imageCount, recognized, printedLines);
    std::printf("tesseract command: %d images in %.3f s (%.1f ms per image), %d of %d lines read exactly\n", imageCount,
                command.seconds, 1000 * command.seconds / imageCount, command.recognized, printedLines);
    std::printf("  one thread each: %d images in %.3f s (%.1f ms per image), %d of %d lines read exactly\n", imageCount,
                commandSingle.seconds, 1000 * commandSingle.seconds / imageCount, commandSingle.recognized,
                printedLines);
    std::printf("ratio recognizer / tesseract command: %.2f (target at most 1)\n", ownSeconds / command.seconds);
    std::printf("ratio recognizer / tesseract command on one thread: %.2f\n", ownSeconds / commandSingle.seconds);
    return 0;
}
