#include "SorvikCore/LocalTextRecognizer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Models.hpp"
#include "Support/TestSupport.hpp"

namespace sorvik {
namespace {

namespace fs = std::filesystem;
using textrecognition::RecognizedLine;
using textrecognition::TextRecognitionError;

// Renders black text on white, with a margin, as `out` (any format vips writes).
void renderText(const fs::path& folder, const std::string& text, const fs::path& out, int dpi = 150) {
    const fs::path txt = folder / "text.txt", mask = folder / "mask.png", ink = folder / "ink.png";
    test::writeFile(txt, text);
    test::shell("vips text " + mask.string() + " \"$(cat " + txt.string() + ")\" --font 'Noto Sans CJK SC 40' --dpi " +
                std::to_string(dpi));
    test::shell("vips invert " + mask.string() + " " + ink.string());
    test::shell("vips embed " + ink.string() + " " + out.string() + " 40 40 " + "$(( $(vipsheader -f width " +
                mask.string() + ") + 80 )) " + "$(( $(vipsheader -f height " + mask.string() +
                ") + 80 )) --extend white");
}

int threadCount() {
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

// Everything written to descriptors 1 and 2 while it lives.
class CapturedOutput {
public:
    explicit CapturedOutput(const fs::path& file) : file_(file) {
        std::fflush(nullptr);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        savedOut_ = ::dup(STDOUT_FILENO);
        savedErr_ = ::dup(STDERR_FILENO);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~CapturedOutput() { restore(); }
    std::string finish() {
        restore();
        return test::readFile(file_);
    }

private:
    void restore() {
        if (savedOut_ < 0) return;
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        ::dup2(savedOut_, STDOUT_FILENO);
        ::dup2(savedErr_, STDERR_FILENO);
        ::close(savedOut_);
        ::close(savedErr_);
        savedOut_ = savedErr_ = -1;
    }
    fs::path file_;
    int savedOut_ = -1, savedErr_ = -1;
};

fs::path installedDataFile(const std::string& language) {
    std::vector<fs::path> folders;
    if (const char* prefix = std::getenv("TESSDATA_PREFIX")) folders.emplace_back(prefix);
    folders.emplace_back("/usr/share/tesseract-ocr/5/tessdata");
    folders.emplace_back("/usr/share/tessdata");
    for (const auto& folder : folders)
        if (fs::exists(folder / (language + ".traineddata"))) return folder / (language + ".traineddata");
    return {};
}

class LocalTextRecognizerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<test::TempDir>();
        recognizer = std::make_unique<LocalTextRecognizer::Recognizer>();
    }
    static void TearDownTestSuite() {
        recognizer.reset();
        dir.reset();
    }

    // A fixture image, made the first time a test asks for it.
    static fs::path file(const std::string& name) {
        const fs::path& d = dir->path();
        const fs::path path = d / name;
        if (fs::exists(path)) return path;
        const auto out = path.string();
        if (name == "title.png") {
            renderText(d, "Sorvik 山间慢生活 2024", path);
        } else if (name == "poster.png") {
            renderText(d, "Sorvik 山间慢生活\nSpring Poster 2024", path);
        } else if (name == "english.png") {
            renderText(d, "Harbour Lights", path);
        } else if (name == "blank.png") {
            test::shell("vips black " + out + ".v 640 400 && vips invert " + out + ".v " + out);
        } else if (name == "turned.jpg") {
            // Stored a quarter turn back, with the orientation tag that turns it upright.
            test::shell("vips rot " + file("poster.png").string() + " " + out + " d270");
            test::shell("exiftool -q -n -Orientation=6 -overwrite_original " + out);
        } else if (name == "alpha.png") {
            // Black text only in the alpha channel: on a black background it vanishes.
            test::shell("vips text " + out +
                        ".mask.v 'Harbour Lights' --font 'Noto Sans CJK SC 40' --dpi 150 && "
                        "vips embed " +
                        out + ".mask.v " + out +
                        ".alpha.v 40 40 600 200 && "
                        "vips black " +
                        out +
                        ".zero.v 600 200 && "
                        "vips bandjoin '" +
                        out + ".zero.v " + out + ".alpha.v' " + out);
        } else if (name == "big.png") {
            test::shell("vips black " + out + " 4200 2800");
        } else if (name == "notes.png") {
            test::writeFile(path, "not an image at all");
        }
        return path;
    }

    static inline std::unique_ptr<test::TempDir> dir;
    static inline std::unique_ptr<LocalTextRecognizer::Recognizer> recognizer;
};

TEST(LocalTextRecognizerLines, KeepsConfidentLinesInOrderJoinedByLineFeeds) {
    EXPECT_EQ(LocalTextRecognizer::joinLines(
                  {{"第一行", 0.9}, {"dropped", 0.49}, {"kept at the limit", 0.5}, {"也丢掉", 0.1}, {"last", 1.0}}),
              "第一行\nkept at the limit\nlast");
    EXPECT_EQ(LocalTextRecognizer::joinLines({{"b", 0.7}, {"a", 0.6}}), "b\na");
    EXPECT_EQ(LocalTextRecognizer::joinLines({{"only weak", 0.4999}}), "");
    EXPECT_EQ(LocalTextRecognizer::joinLines({}), "");
    EXPECT_EQ(LocalTextRecognizer::joinLines({{"nan", std::nan("")}, {"one", 0.8}}), "one");
    // A line's own text is kept unchanged, spaces included.
    EXPECT_EQ(LocalTextRecognizer::joinLines({{"  spaced  ", 0.8}, {"x", 0.8}}), "  spaced  \nx");
}

TEST(LocalTextRecognizerLines, PrefersChineseThenEnglishAmongSupported) {
    using LocalTextRecognizer::recognitionLanguages;
    EXPECT_EQ(recognitionLanguages({"eng", "osd", "chi_sim"}), (std::vector<std::string>{"chi_sim", "eng"}));
    EXPECT_EQ(recognitionLanguages({"eng", "deu"}), (std::vector<std::string>{"eng"}));
    EXPECT_TRUE(recognitionLanguages({"deu", "chi_tra"}).empty());
    EXPECT_TRUE(recognitionLanguages({}).empty());
}

TEST_F(LocalTextRecognizerTest, LineSourceGetsTheOrientedImageAtMostAtTheSizeLimit) {
    std::vector<std::pair<int, int>> sizes;
    LocalTextRecognizer::Recognizer withSource([&](const images::Pixels& pixels) {
        sizes.emplace_back(pixels.width, pixels.height);
        EXPECT_EQ(pixels.data.size(), static_cast<std::size_t>(pixels.width) * pixels.height * pixels.bands);
        return std::vector<RecognizedLine>{{"海报", 0.5}, {"noise", 0.49}, {"Poster", 0.93}};
    });
    EXPECT_EQ(withSource.recognize(file("big.png")), "海报\nPoster");
    EXPECT_EQ(withSource.recognize(file("turned.jpg")), "海报\nPoster");
    EXPECT_EQ(withSource.recognize(file("title.png")), "海报\nPoster");
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[0], (std::pair{1400, 933}));
    // The poster is stored turned; recognition sees it upright again.
    const auto poster = images::pixels(DeliveryExporter::orientedImage(file("poster.png"), 1400));
    EXPECT_EQ(sizes[1], (std::pair{poster.width, poster.height}));
    EXPECT_LE(std::max(sizes[2].first, sizes[2].second), 1400);
}

TEST_F(LocalTextRecognizerTest, UndecodableFileThrowsTheDecodingErrorBeforeRecognizing) {
    int calls = 0;
    LocalTextRecognizer::Recognizer withSource([&](const images::Pixels&) {
        ++calls;
        return std::vector<RecognizedLine>{};
    });
    for (const auto& name : {"notes.png", "missing.png"}) {
        try {
            withSource.recognize(file(name));
            ADD_FAILURE() << name << " was recognised";
        } catch (const SorvikError& error) {
            EXPECT_STREQ(error.what(), "无法打开图片");
        }
        EXPECT_THROW(recognizer->recognize(file(name)), SorvikError);
    }
    EXPECT_EQ(calls, 0);
    // The source's own failure passes through unchanged.
    LocalTextRecognizer::Recognizer failing(
        [](const images::Pixels&) -> std::vector<RecognizedLine> { throw TextRecognitionError("engine down"); });
    EXPECT_THROW(failing.recognize(file("title.png")), TextRecognitionError);
}

TEST_F(LocalTextRecognizerTest, RecognizesChineseAndEnglishLinesInReadingOrder) {
    const std::string title = recognizer->recognize(file("title.png"));
    EXPECT_NE(title.find("Sorvik"), std::string::npos) << title;
    EXPECT_NE(title.find("山间慢生活"), std::string::npos) << title;
    EXPECT_NE(title.find("2024"), std::string::npos) << title;

    // The same recognizer serves the next image with nothing of the previous one.
    const std::string poster = recognizer->recognize(file("poster.png"));
    const auto first = poster.find("山间慢生活"), second = poster.find("Spring Poster 2024");
    ASSERT_NE(first, std::string::npos) << poster;
    ASSERT_NE(second, std::string::npos) << poster;
    EXPECT_LT(first, second);
    EXPECT_NE(poster.substr(first, second - first).find('\n'), std::string::npos);
    EXPECT_NE(poster.back(), '\n');
    EXPECT_EQ(poster.find("\n\n"), std::string::npos);
}

TEST_F(LocalTextRecognizerTest, AppliesOrientationAndFlattensAlphaOntoWhite) {
    const std::string turned = recognizer->recognize(file("turned.jpg"));
    EXPECT_NE(turned.find("Spring Poster 2024"), std::string::npos) << turned;
    EXPECT_NE(turned.find("山间慢生活"), std::string::npos) << turned;
    EXPECT_EQ(recognizer->recognize(file("alpha.png")), "Harbour Lights");
}

TEST_F(LocalTextRecognizerTest, ImageWithoutTextGivesEmptyText) {
    EXPECT_EQ(recognizer->recognize(file("blank.png")), "");
    EXPECT_EQ(recognizer->recognize(file("big.png")), "");
    EXPECT_EQ(LocalTextRecognizer::recognize(file("blank.png")), "");
}

TEST_F(LocalTextRecognizerTest, RunsOnlyTheInstalledPreferredLanguages) {
    const auto installed = textrecognition::supportedLanguages();
    EXPECT_NE(std::find(installed.begin(), installed.end(), "chi_sim"), installed.end());
    EXPECT_NE(std::find(installed.begin(), installed.end(), "eng"), installed.end());

    test::TempDir data;
    EXPECT_TRUE(textrecognition::supportedLanguages(data.path()).empty());
    // Neither language installed: the engine cannot start, and says so on every image.
    LocalTextRecognizer::Recognizer none(data.path());
    EXPECT_THROW(none.recognize(file("title.png")), TextRecognitionError);
    EXPECT_THROW(none.recognize(file("english.png")), TextRecognitionError);
    EXPECT_THROW(none.recognize(file("notes.png")), SorvikError);

    const fs::path eng = installedDataFile("eng");
    ASSERT_FALSE(eng.empty());
    fs::create_symlink(eng, data / "eng.traineddata");
    EXPECT_EQ(textrecognition::supportedLanguages(data.path()), (std::vector<std::string>{"eng"}));
    // Once the data is there, the same recognizer starts.
    EXPECT_EQ(none.recognize(file("english.png")), "Harbour Lights");
    EXPECT_THROW(textrecognition::Engine({"chi_sim", "eng"}, data.path()), TextRecognitionError);
    EXPECT_THROW(textrecognition::Engine({}), TextRecognitionError);
}

TEST_F(LocalTextRecognizerTest, PrintsNothingAndStartsNoThreads) {
    auto pixels = images::pixels(DeliveryExporter::orientedImage(file("poster.png"), 1400));
    textrecognition::Engine engine({"chi_sim", "eng"});
    const int before = threadCount();
    std::string output;
    {
        CapturedOutput captured(dir->path() / "output.txt");
        EXPECT_FALSE(engine.lines(pixels).empty());
        // Images Tesseract complains about, and a start that fails.
        EXPECT_TRUE(engine.lines(images::Pixels{1, 1, 1, {0}}).empty());
        EXPECT_TRUE(engine.lines(images::Pixels{3, 2000, 1, std::vector<std::uint8_t>(6000, 0)}).empty());
        test::TempDir empty;
        EXPECT_THROW(textrecognition::Engine({"eng"}, empty.path()), TextRecognitionError);
        EXPECT_TRUE(textrecognition::supportedLanguages(empty.path()).empty());
        output = captured.finish();
    }
    EXPECT_EQ(output, "");
    EXPECT_EQ(threadCount(), before);
}

TEST(LocalTextRecognizerEngine, RefusesMalformedPixels) {
    textrecognition::Engine engine({"eng"});
    EXPECT_THROW(engine.lines(images::Pixels{}), std::invalid_argument);
    EXPECT_THROW(engine.lines(images::Pixels{2, 2, 3, std::vector<std::uint8_t>(11)}), std::invalid_argument);
    EXPECT_THROW(engine.lines(images::Pixels{2, 2, 5, std::vector<std::uint8_t>(20)}), std::invalid_argument);
    const auto lines = engine.lines(images::Pixels{2, 2, 4, std::vector<std::uint8_t>(16, 0)});
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace sorvik
