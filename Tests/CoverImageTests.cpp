#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/UnicodeText.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using DeliveryExporter::CropRect;

namespace {

std::string thrownMessage(const std::function<void()>& body) {
    try {
        body();
    } catch (const SorvikError& error) {
        return error.what();
    }
    return "<nothing thrown>";
}

CropRect rect(std::int64_t w, std::int64_t h, double ratio, double x = 0.5, double y = 0.5) {
    return DeliveryExporter::cropRect(w, h, CropSpec{ratio, x, y});
}

/// Mean of band 0 over a small square around (x, y).
double brightness(const images::Pixels& p, int x, int y) {
    double sum = 0;
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            sum += p.data[static_cast<std::size_t>(((y + dy) * p.width + (x + dx)) * p.bands)];
            ++n;
        }
    return sum / n;
}

class Covers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<test::TempDir>();
        const std::string d = dir_->path().string();
        // half.png: 40 x 30, left half white, right half black.
        test::shell("cd '" + d +
                    "' && vips black black.png 20 30 && vips invert black.png white.png"
                    " && vips join white.png black.png half.png horizontal"
                    " && vips copy half.png half6.jpg && exiftool -q -overwrite_original -Orientation#=6 half6.jpg"
                    " && vips black alpha.png 40 30 --bands 4"
                    " && vips black huge.jpg 12000 9000 && vips gaussnoise wide.webp 1001 701"
                    " && for f in webp gif tif avif heic; do vips copy half.png half.$f 2>/dev/null; done");
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static fs::path at(const std::string& name) { return dir_->path() / name; }
    static std::unique_ptr<test::TempDir> dir_;
};
std::unique_ptr<test::TempDir> Covers::dir_;

}  // namespace

// --- Safe names ---

TEST(SafeName, ReplacesTrimsAndFallsBack) {
    EXPECT_EQ(DeliveryExporter::safeName("a/b:c"), "a_b_c");
    EXPECT_EQ(DeliveryExporter::safeName("..hidden"), "hidden");
    EXPECT_EQ(DeliveryExporter::safeName("//"), "__");
    EXPECT_EQ(DeliveryExporter::safeName(std::string("a\\b?c*d\"e<f>g|h\ni\rj\tk\0l", 23)), "a_b_c_d_e_f_g_h_i_j_k_l");
    EXPECT_EQ(DeliveryExporter::safeName("  春季 发布\u3000"), "春季 发布");
    EXPECT_EQ(DeliveryExporter::safeName(". x"), " x");  // only dots are removed
    for (const char* empty : {"", "   ", "...", " .. ", "\u3000"})
        EXPECT_EQ(DeliveryExporter::safeName(empty), "未命名交付") << empty;
    // A tab or line break at an end is replaced before trimming, so it stays as "_".
    EXPECT_EQ(DeliveryExporter::safeName("\tName\n"), "_Name_");
}

TEST(SafeName, KeepsSeventyCharactersWithinTheByteBudget) {
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += static_cast<char>('a' + i % 26);
    EXPECT_EQ(DeliveryExporter::safeName(hundred), hundred.substr(0, 70));

    std::string umlauts;  // 2 bytes each: 70 fit the byte budget
    for (int i = 0; i < 80; ++i) umlauts += "ä";
    EXPECT_EQ(DeliveryExporter::safeName(umlauts), umlauts.substr(0, 140));
    std::string accents;  // e + combining acute counts once, 3 bytes: the byte budget cuts first
    for (int i = 0; i < 80; ++i) accents += "e\u0301";
    EXPECT_EQ(DeliveryExporter::safeName(accents), accents.substr(0, 198));

    std::string families;  // 25 bytes per cluster
    for (int i = 0; i < 70; ++i) families += "👩‍👩‍👧‍👦";
    const std::string cut = DeliveryExporter::safeName(families);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_EQ(cut.size() % 25, 0u) << "cut inside a cluster";
    EXPECT_EQ(cut, families.substr(0, cut.size()));

    std::string heavy = "a";  // one cluster of 1 + 2 * 500 bytes
    for (int i = 0; i < 500; ++i) heavy += "\u0301";
    const std::string inside = DeliveryExporter::safeName(heavy);
    EXPECT_FALSE(inside.empty());
    EXPECT_LE(inside.size(), 200u);
    EXPECT_TRUE(unicode::isValidUTF8(inside));

    // Every name the export and archive derive from it can be created.
    test::TempDir dir;
    for (const std::string& name : {cut, inside, DeliveryExporter::safeName(std::string(300, 'x'))}) {
        for (const std::string& derived : {name + " 12", name + "_附件_100.blend", name + "__ABCDEF_12345678.gltf"}) {
            test::writeFile(dir / derived, "x");
            EXPECT_TRUE(fs::exists(dir / derived));
        }
    }
}

// --- Crop windows ---

TEST(CropRect, ComputesTheLargestWindowAtTheRequestedPlace) {
    EXPECT_EQ(rect(1080, 1920, 0.75), (CropRect{0, 240, 1080, 1440}));
    EXPECT_EQ(rect(1920, 1080, 0.75), (CropRect{555, 0, 810, 1080}));
    for (double p : {-3.0, 0.0, 0.3, 1.0, 7.0}) EXPECT_EQ(rect(1080, 1440, 0.75, p, p), (CropRect{0, 0, 1080, 1440}));

    EXPECT_EQ(rect(1920, 1080, 0.75, -5, 9), (CropRect{0, 0, 810, 1080}));  // held at the ends
    const CropRect right = rect(1920, 1080, 0.75, 1, 0);
    EXPECT_EQ(right.x + right.width, 1920);
    // w = 700.5 is not whole: the separately rounded edge falls one pixel short of 1001.
    const CropRect shortOfEdge = rect(1001, 1000, 0.7005, 1, 0);
    EXPECT_EQ(shortOfEdge.width, std::floor(1000 * 0.7005));
    EXPECT_EQ(shortOfEdge.x + shortOfEdge.width, 1000);

    EXPECT_EQ(rect(100, 100, 1e-9).width, 0);  // thinner than a pixel
    EXPECT_EQ(rect(100, 100, 1e9).height, 0);
}

TEST(CropRect, RefusesInvalidArguments) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const CropSpec invalid[] = {{0, 0.5, 0.5}, {-1, 0.5, 0.5}, {inf, 0.5, 0.5}, {nan, 0.5, 0.5},
                                {1, inf, 0.5}, {1, 0.5, -inf}, {1, nan, 0.5}};
    for (const CropSpec& spec : invalid)
        EXPECT_EQ(thrownMessage([&] { DeliveryExporter::cropRect(100, 100, spec); }), "裁切参数无效");
    EXPECT_EQ(thrownMessage([] { rect(0, 100, 1); }), "裁切参数无效");
    EXPECT_EQ(thrownMessage([] { rect(100, 0, 1); }), "裁切参数无效");
}

// --- Oriented images and crops ---

TEST_F(Covers, OrientedImageTurnsThePicture) {
    const images::Image plain = DeliveryExporter::orientedImage(at("half.png"), 1000);
    EXPECT_EQ(plain.width(), 40);  // never scaled up
    EXPECT_EQ(plain.height(), 30);

    // Orientation 6: the stored left (white) half is the top of the picture.
    const images::Image turned = DeliveryExporter::orientedImage(at("half6.jpg"), 1000);
    ASSERT_EQ(turned.width(), 30);
    ASSERT_EQ(turned.height(), 40);
    const images::Pixels pixels = images::pixels(turned);
    EXPECT_EQ(pixels.data.size(), static_cast<std::size_t>(30 * 40 * pixels.bands));
    EXPECT_GT(brightness(pixels, 15, 5), 200);
    EXPECT_LT(brightness(pixels, 15, 34), 50);

    const images::Image small = DeliveryExporter::orientedImage(at("half6.jpg"), 20);
    EXPECT_EQ(small.width(), 15);
    EXPECT_EQ(small.height(), 20);

    const images::Image wide = DeliveryExporter::orientedImage(at("wide.webp"), 64);  // shrink-on-load
    EXPECT_EQ(wide.width(), 64);
    EXPECT_EQ(wide.height(), 45);

    const images::Image alpha = DeliveryExporter::orientedImage(at("alpha.png"), 100);
    EXPECT_EQ(alpha.bands(), 4);
    EXPECT_EQ(images::pixels(alpha).bands, 4);

    for (const char* kind : {"half.webp", "half.gif", "half.tif", "half.avif", "half.heic"}) {
        const images::Image image = DeliveryExporter::orientedImage(at(kind), 100);
        EXPECT_EQ(image.width(), 40) << kind;
        EXPECT_EQ(image.height(), 30) << kind;
    }
}

TEST_F(Covers, OrientedImageRefusesWhatIsNotAnImage) {
    test::TempDir dir;
    test::writeFile(dir / "text.jpg", "plain words");
    test::writeFile(dir / "drawing.png", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"/>");
    for (const char* name : {"text.jpg", "drawing.png", "missing.png"})
        EXPECT_EQ(thrownMessage([&] { DeliveryExporter::orientedImage(dir / name, 100); }), "无法打开图片") << name;
}

TEST_F(Covers, CropImageWritesTheTurnedWindowAsJPEG) {
    test::TempDir dir;
    // Square window at the top of the turned 30 x 40 picture: all white.
    DeliveryExporter::cropImage(at("half6.jpg"), dir / "top.jpg", CropSpec{1, 0.5, 0});
    const auto props = images::properties(dir / "top.jpg");
    ASSERT_TRUE(props);
    EXPECT_EQ(props->width, 30);
    EXPECT_EQ(props->height, 30);
    EXPECT_EQ(props->orientation, 1);  // pixels are upright, no tag written
    const std::string bytes = test::readFile(dir / "top.jpg");
    EXPECT_EQ(bytes.substr(0, 3), "\xFF\xD8\xFF");
    EXPECT_GT(brightness(images::pixels(images::orientedThumbnail(dir / "top.jpg", 100)), 15, 15), 200);

    DeliveryExporter::cropImage(at("alpha.png"), dir / "alpha.jpg", CropSpec{0.5, 0, 0});
    const images::Image flat = images::orientedThumbnail(dir / "alpha.jpg", 100);
    EXPECT_EQ(flat.width(), 15);
    EXPECT_EQ(flat.height(), 30);
    EXPECT_EQ(flat.bands(), 3);
}

TEST_F(Covers, LargeCoversAreCroppedFromTheirReduction) {
    test::TempDir dir;
    DeliveryExporter::cropImage(at("huge.jpg"), dir / "whole.jpg", CropSpec{4.0 / 3.0, 0.5, 0.5});
    const auto props = images::properties(dir / "whole.jpg");
    ASSERT_TRUE(props);
    EXPECT_EQ(props->width, 8192);
    EXPECT_EQ(props->height, 6144);
}

TEST_F(Covers, CropImageFailures) {
    test::TempDir dir;
    EXPECT_EQ(thrownMessage([&] {
                  DeliveryExporter::cropImage(at("half.png"), dir / "thin.jpg", {1e-6, 0, 0});
              }),
              "无法创建裁切图片");
    EXPECT_FALSE(fs::exists(dir / "thin.jpg"));
    EXPECT_EQ(thrownMessage([&] {
                  DeliveryExporter::cropImage(at("half.png"), dir / "x.jpg", {0, 0, 0});
              }),
              "裁切参数无效");
    EXPECT_EQ(thrownMessage([&] {
                  DeliveryExporter::cropImage(at("half.png"), dir.path() / "no" / "such" / "x.jpg", {1, 0, 0});
              }),
              "无法创建裁切图片");
    test::writeFile(dir / "not.png", "nope");
    EXPECT_EQ(thrownMessage([&] {
                  DeliveryExporter::cropImage(dir / "not.png", dir / "y.jpg", {1, 0, 0});
              }),
              "无法打开图片");
    EXPECT_FALSE(fs::exists(dir / "y.jpg"));
}
