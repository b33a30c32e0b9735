#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SorvikCore/CanonicalJson.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileCopy.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Inspector.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Date modificationDate(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

/// A library, a source folder and a destination in one temporary folder.
struct Fixture {
    test::TempDir dir;
    fs::path source = dir / "sources";
    fs::path destination = dir / "out";
    Repository repository{dir / "Library"};

    Fixture() {
        fs::create_directories(source);
        fs::create_directories(destination);
    }

    /// A linked source file with a reference, inspected with its hash.
    DeliveryFile linked(const std::string& name, const std::string& content) {
        const fs::path path = source / name;
        test::writeFile(path, content);
        DeliveryFile file = FileInspector::inspect(path, "", std::nullopt, true);
        file.reference = FileReference::make(path, modificationDate(path), std::nullopt);
        return file;
    }
};

Delivery delivery(std::string name, std::vector<DeliveryFile> files) {
    return Delivery(UUID::make(), std::move(name), std::move(files), DeliveryTemplate::flexible());
}

}  // namespace

TEST(ExportManifest, WritesSortedKeysIsoDatesAndOmitsAbsentIdentifiers) {
    ExportManifest m;
    m.title = "春季发布";
    m.exportedAt = Date::fromUnix(1767322800);  // 2026-01-02T03:00:00Z
    m.templ = DeliveryTemplate::flexible();
    m.files.push_back(
        ManifestEntry{std::nullopt, "a.mp4", "01_成片/x_成片_01.mp4", FileRole::video, 3, "aa", "aa", false});
    m.checks.emplace_back("empty", CheckLevel::warning, "t", "d");
    const std::string text = encodeManifestFile(m);
    EXPECT_NE(text.find("\"exportedAt\": \"2026-01-02T03:00:00Z\""), std::string::npos) << text;
    EXPECT_NE(text.find("春季发布"), std::string::npos);  // not escaped
    EXPECT_EQ(text.find("projectID"), std::string::npos);
    EXPECT_EQ(text.find("assetID"), std::string::npos);
    EXPECT_EQ(text.find("coverRatio"), std::string::npos);
    EXPECT_EQ(text.find("fileID"), std::string::npos);
    EXPECT_EQ(text.find("null"), std::string::npos);
    EXPECT_LT(text.find("acknowledgedWarnings"), text.find("checks"));
    EXPECT_LT(text.find("\"title\": \"春"), text.size());
    EXPECT_LT(text.find("\"bytes\""), text.find("\"sourceSHA256\""));

    const ExportManifest back = decodeManifestFile(text);
    EXPECT_EQ(back.title, m.title);
    EXPECT_EQ(back.exportedAt, m.exportedAt);
    EXPECT_FALSE(back.projectID);
    ASSERT_EQ(back.files.size(), 1u);
    EXPECT_EQ(back.files[0].outputPath, m.files[0].outputPath);
    EXPECT_FALSE(back.files[0].assetID);
    EXPECT_EQ(back.checks[0].level, CheckLevel::warning);
}

TEST(ExportManifest, ReadingIsStrict) {
    ExportManifest m;
    m.projectID = UUID::make();
    m.title = "x";
    m.templ = DeliveryTemplate::video();
    m.exportedAt = Date::fromUnix(0);
    const Json good = coding::encode(m);

    Json extra = good;
    extra["somethingNew"] = 1;
    EXPECT_EQ(decodeManifestFile(extra.dump()).projectID, m.projectID);
    Json v2 = good;
    v2["schemaVersion"] = 2;
    EXPECT_EQ(decodeManifestFile(v2.dump()).schemaVersion, 2);
    Json nullID = good;
    nullID["projectID"] = nullptr;
    EXPECT_FALSE(decodeManifestFile(nullID.dump()).projectID);

    for (const char* key :
         {"product", "schemaVersion", "title", "exportedAt", "template", "files", "checks", "acknowledgedWarnings"}) {
        Json missing = good;
        missing.erase(key);
        EXPECT_THROW(decodeManifestFile(missing.dump()), DecodingError) << key;
    }
    for (const char* date : {"1970-01-01T00:00:00.5Z", "1970-01-01T00:00:00", "1970-02-30T00:00:00Z",
                             "1970-01-01 00:00:00Z", "1970-01-01T24:00:00Z", "1970-01-01T00:00:00+0"}) {
        Json bad = good;
        bad["exportedAt"] = date;
        EXPECT_THROW(decodeManifestFile(bad.dump()), DecodingError) << date;
    }
    Json badRole = good;
    badRole["files"] =
        Json::array({coding::encode(ManifestEntry{UUID::make(), "a", "b", FileRole::copy, 1, "", "", false})});
    badRole["files"][0]["role"] = "poster";
    EXPECT_THROW(decodeManifestFile(badRole.dump()), DecodingError);

    EXPECT_EQ(parseISO8601("2026-01-02T11:00:00+08:00"), parseISO8601("2026-01-02T03:00:00Z"));
    EXPECT_EQ(parseISO8601("2026-01-01T19:30:00-0730"), parseISO8601("2026-01-02T03:00:00Z"));
    EXPECT_EQ(parseISO8601("2024-02-29T00:00:00Z")->unixSeconds(), 1709164800.0);
    EXPECT_FALSE(parseISO8601("2023-02-29T00:00:00Z"));
}

TEST(Signature, CanonicalWriterIsPinned) {
    EXPECT_EQ(canonical::number(0.1), "0.1");
    EXPECT_EQ(canonical::number(2), "2");
    EXPECT_EQ(canonical::number(1e300), "1e+300");
    EXPECT_EQ(canonical::number(-0.75), "-0.75");
    EXPECT_EQ(canonical::integer(-9007199254740993), "-9007199254740993");
    EXPECT_EQ(canonical::string("a\"\\\n\x01/é"), "\"a\\\"\\\\\\n\\u0001/é\"");
    EXPECT_EQ(canonical::string("\xff\xc3"), "\"\\udcff\\udcc3\"");
    EXPECT_EQ(canonical::string("\xed\xa0\x80"), "\"\\udced\\udca0\\udc80\"");  // an encoded surrogate
    EXPECT_EQ(canonical::encode(DeliveryTemplate::flexible()),
              "{\"maxBodyCharacters\":0,\"maxTitleCharacters\":0,\"maxVideoMB\":2048,\"name\":\"自由交付\","
              "\"requiredRoles\":[]}");

    DeliveryFile f(UUID::parse("00000000-0000-0000-0000-0000000000AB").value(), "a.png", "files/a.png", FileRole::cover,
                   5, "ff", 4, 3);
    f.crop = CropSpec{0.75, 0.5, 1};
    f.reference = FileReference{"/x/a.png", Bytes{1, 2, 3}, std::nullopt, Date{12.5}};
    EXPECT_EQ(canonical::encode(f),
              "{\"bytes\":5,\"crop\":{\"ratio\":0.75,\"x\":0.5,\"y\":1},\"height\":3,"
              "\"id\":\"00000000-0000-0000-0000-0000000000AB\",\"name\":\"a.png\",\"reference\":{\"bookmark\":"
              "\"AQID\",\"modifiedAt\":12.5,\"path\":\"/x/a.png\"},\"relativePath\":\"files/a.png\",\"role\":"
              "\"cover\",\"sha256\":\"ff\",\"width\":4}");
}

TEST(Signature, DependsOnContentOnlyAndNeverFails) {
    DeliveryFile file(UUID::make(), "clip.mp4", "", FileRole::video, 10, "", std::nullopt, std::nullopt, 3.5);
    Delivery a = delivery("Spring", {file});
    Delivery b = a;
    b.id = UUID::make();
    b.createdAt = Date{1};
    b.exports.push_back(ExportReceipt::make(Date{2}, "/p", 1, "s"));
    const std::string sig = DeliveryExporter::signature(a);
    ASSERT_EQ(sig.size(), 64u);
    EXPECT_EQ(sig.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(sig, DeliveryExporter::signature(b));

    Delivery renamed = a;
    renamed.name = "Summer";
    Delivery edited = a;
    edited.files[0].editedText = "";
    Delivery rules = a;
    rules.templ = DeliveryTemplate::video();
    std::set<std::string> all{sig, DeliveryExporter::signature(renamed), DeliveryExporter::signature(edited),
                              DeliveryExporter::signature(rules)};

    // Values plain JSON cannot hold still sign distinctly, never as the hash of nothing.
    const std::string emptyHash = hashing::sha256Hex("");
    Delivery nanCrop = a, infCrop = a, badName = a, otherBadName = a;
    nanCrop.files[0].crop = CropSpec{std::nan(""), 0.5, 0.5};
    infCrop.files[0].crop = CropSpec{INFINITY, 0.5, 0.5};
    badName.name = "Spr\xffing";
    otherBadName.name = "Spr\xfeing";
    for (const Delivery* d : {&nanCrop, &infCrop, &badName, &otherBadName}) {
        const std::string s = DeliveryExporter::signature(*d);
        EXPECT_NE(s, emptyHash);
        EXPECT_EQ(s, DeliveryExporter::signature(*d));
        all.insert(s);
    }
    EXPECT_EQ(all.size(), 8u);
}

TEST(FileCopy, CopiesContentIntoNewFilesOnly) {
    test::TempDir dir;
    std::string big(3 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7919 % 251);
    test::writeFile(dir / "big.bin", big);
    fs::create_symlink(dir / "big.bin", dir / "link");
    files::copyFile(dir / "link", dir / "copy.bin");  // the link's target, as a plain file
    EXPECT_FALSE(fs::is_symlink(dir / "copy.bin"));
    EXPECT_EQ(test::readFile(dir / "copy.bin"), big);

    // Never replaces: the existing file keeps its content.
    test::writeFile(dir / "taken", "keep");
    EXPECT_THROW(files::copyFile(dir / "big.bin", dir / "taken"), std::system_error);
    EXPECT_EQ(test::readFile(dir / "taken"), "keep");

    // A FIFO is refused at once, and no destination is left behind.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_THROW(files::copyFile(dir / "fifo", dir / "fromFifo"), std::system_error);
    EXPECT_FALSE(files::itemExists(dir / "fromFifo"));

    fs::create_directory(dir / "a");
    fs::create_directory(dir / "b");
    EXPECT_THROW(files::moveNoReplace(dir / "a", dir / "b"), std::system_error);
    EXPECT_TRUE(fs::exists(dir / "a"));
    files::moveNoReplace(dir / "a", dir / "c");
    EXPECT_TRUE(fs::is_directory(dir / "c"));
}

TEST(Export, WritesLayoutManifestAndReport) {
    Fixture fx;
    DeliveryFile video = fx.linked("Clip.MP4", "video bytes");
    DeliveryFile cover1 = fx.linked("one.png", "cover one");
    DeliveryFile cover2 = fx.linked("two.PNG", "cover two");
    DeliveryFile text = fx.linked("data.JSON", "{\"original\": true}");
    text.editedText = "";
    // A file stored in the library, found by its relative path, without a reference.
    test::writeFile(fx.repository.root() / "files" / "notes.bin", "library copy");
    DeliveryFile stored =
        FileInspector::inspect(fx.repository.root() / "files" / "notes.bin", "files/notes.bin", std::nullopt, false);
    // The checks need facts the inspection of these fake files cannot give.
    video.duration = 3;
    video.inspectionError.reset();
    for (auto* c : {&cover1, &cover2}) {
        c->width = 4;
        c->height = 3;
        c->inspectionError.reset();
    }
    Delivery d = delivery("Spring: Launch", {cover1, video, cover2, text, stored});
    d.templ.maxTitleCharacters = 0;

    const ExportReceipt receipt = DeliveryExporter::exportDelivery(d, fx.repository, fx.destination, false);
    const fs::path package = fx.destination / "Spring_ Launch";
    EXPECT_EQ(receipt.path, package.string());
    EXPECT_EQ(receipt.fileCount, 5);
    EXPECT_EQ(receipt.signature, DeliveryExporter::signature(d));
    EXPECT_EQ(listing(fx.destination), std::vector<std::string>{"Spring_ Launch"});
    EXPECT_EQ(listing(package),
              (std::vector<std::string>{"01_成片", "02_封面", "05_附件", "交付清单.json", "交付说明.md"}));
    EXPECT_EQ(test::readFile(package / "02_封面/Spring_ Launch_封面_01.png"), "cover one");
    EXPECT_EQ(test::readFile(package / "02_封面/Spring_ Launch_封面_02.png"), "cover two");
    EXPECT_EQ(test::readFile(package / "01_成片/Spring_ Launch_成片_01.mp4"), "video bytes");
    EXPECT_EQ(test::readFile(package / "05_附件/Spring_ Launch_附件_01.json"), "");
    EXPECT_EQ(test::readFile(package / "05_附件/Spring_ Launch_附件_02.bin"), "library copy");

    const ExportManifest m = decodeManifestFile(test::readFile(package / "交付清单.json"));
    EXPECT_EQ(m.exportedAt, receipt.date);
    EXPECT_EQ(m.exportedAt.unixSeconds(), std::floor(m.exportedAt.unixSeconds()));
    EXPECT_EQ(m.projectID, d.id);
    EXPECT_EQ(m.title, "Spring: Launch");
    EXPECT_EQ(m.product, "Sorvik");
    EXPECT_FALSE(m.acknowledgedWarnings);
    ASSERT_EQ(m.files.size(), 5u);
    EXPECT_EQ(m.files[0].outputPath, "02_封面/Spring_ Launch_封面_01.png");
    EXPECT_EQ(m.files[0].assetID, cover1.id);
    EXPECT_EQ(m.files[0].sha256, cover1.sha256);
    EXPECT_EQ(m.files[0].sourceSHA256, cover1.sha256);
    EXPECT_EQ(m.files[0].bytes, 9);
    EXPECT_FALSE(m.files[0].modified);
    EXPECT_EQ(m.files[3].sha256, hashing::sha256Hex(""));
    EXPECT_EQ(m.files[3].sourceSHA256, text.sha256);
    EXPECT_TRUE(m.files[3].modified);
    EXPECT_EQ(m.files[3].bytes, 0);

    const std::string report = test::readFile(package / "交付说明.md");
    std::string expectedChecks;
    for (std::size_t i = 0; i < m.checks.size(); ++i)
        expectedChecks += (i ? "\n- [" : "- [") + std::string(m.checks[i].level == CheckLevel::pass ? "通过" : "提醒") +
                          "] " + m.checks[i].title + "：" + m.checks[i].detail;
    const std::string tail =
        "\n\n规则：自由交付（用户自定规则，不代表平台审核结果）\n\n## 文件\n\n"
        "- 02_封面/Spring_ Launch_封面_01.png\n- 01_成片/Spring_ Launch_成片_01.mp4\n"
        "- 02_封面/Spring_ Launch_封面_02.png\n- 05_附件/Spring_ Launch_附件_01.json（已生成修改副本）\n"
        "- 05_附件/Spring_ Launch_附件_02.bin\n\n## 检查\n\n" +
        expectedChecks + "\n\n只验证本地文件与所选规则；不判断内容质量、版权或外部平台审核结果。\n";
    ASSERT_TRUE(report.starts_with("# Spring: Launch\n\n由Sorvik整理 · ")) << report;
    EXPECT_TRUE(report.ends_with(tail)) << report;
    EXPECT_EQ(report, DeliveryExporter::reportText(m));
}

TEST(Export, GatesOnChecksAndWarnings) {
    Fixture fx;
    EXPECT_EQ(
        errorOf([&] { DeliveryExporter::exportDelivery(delivery("Empty", {}), fx.repository, fx.destination, true); }),
        "仍有缺失或无法读取的文件，请先修正。");
    DeliveryFile pending = fx.linked("a.bin", "a");
    pending.sourceUpdatePending = true;
    const Delivery d = delivery("Warned", {pending});
    EXPECT_EQ(errorOf([&] { DeliveryExporter::exportDelivery(d, fx.repository, fx.destination, false); }),
              "请先检查并确认提醒事项。");
    EXPECT_TRUE(listing(fx.destination).empty());

    const auto receipt = DeliveryExporter::exportDelivery(d, fx.repository, fx.destination, true);
    const ExportManifest m = decodeManifestFile(test::readFile(fs::path(receipt.path) / "交付清单.json"));
    EXPECT_TRUE(m.acknowledgedWarnings);
    EXPECT_NE(test::readFile(fs::path(receipt.path) / "交付说明.md").find("- [提醒] 原文件有更新："),
              std::string::npos);
}

TEST(Export, TakenNamesCountOnwardWithLstat) {
    Fixture fx;
    const Delivery d = delivery("Name", {fx.linked("a.bin", "a")});
    fs::create_symlink(fx.dir / "nowhere", fx.destination / "Name");  // dangling
    fs::create_directory(fx.destination / "Name 2");                  // empty
    const auto first = DeliveryExporter::exportDelivery(d, fx.repository, fx.destination, false);
    EXPECT_EQ(fs::path(first.path).filename(), "Name 3");
    const auto second = DeliveryExporter::exportDelivery(d, fx.repository, fx.destination, false);
    EXPECT_EQ(fs::path(second.path).filename(), "Name 4");
    EXPECT_TRUE(fs::is_empty(fx.destination / "Name 2"));
    EXPECT_TRUE(fs::is_symlink(fx.destination / "Name"));
    EXPECT_FALSE(fs::exists(fx.dir / "nowhere"));
}

TEST(Export, DestinationMustLieOutsideTheLibrary) {
    Fixture fx;
    const Delivery d = delivery("Pkg", {fx.linked("a.bin", "a")});
    fs::create_directories(fx.repository.root() / "inner");
    fs::create_directory_symlink(fx.repository.root(), fx.dir / "viaLink");
    const std::string refusal = "请将交付包导出到Sorvik资料库以外的文件夹。";
    for (const fs::path& dest : {fx.repository.root(), fx.repository.root() / "inner", fx.dir / "viaLink",
                                 fx.dir / "viaLink" / "inner", fx.repository.root() / "inner" / ".."})
        EXPECT_EQ(errorOf([&] { DeliveryExporter::exportDelivery(d, fx.repository, dest, false); }), refusal) << dest;
    EXPECT_TRUE(listing(fx.repository.root() / "inner").empty());

    fs::create_directory(fx.dir / "Library2");
    EXPECT_NO_THROW(DeliveryExporter::exportDelivery(d, fx.repository, fx.dir / "Library2", false));
    EXPECT_TRUE(fs::exists(fx.dir / "Library2" / "Pkg" / "交付清单.json"));
    // A destination that does not exist fails with the platform's error and leaves nothing.
    EXPECT_THROW(DeliveryExporter::exportDelivery(d, fx.repository, fx.dir / "missing", false), std::system_error);
}

TEST(Export, ModificationTimeToleranceIsBelowOneMillisecond) {
    Fixture fx;
    DeliveryFile file = fx.linked("a.bin", "abc");
    const Date actual = modificationDate(fx.source / "a.bin");
    DeliveryFile near = file, off = file, resized = file;
    near.reference->modifiedAt = Date{actual.seconds + 0.0005};
    off.reference->modifiedAt = Date{actual.seconds - 0.001};
    resized.bytes = 4;
    EXPECT_NO_THROW(DeliveryExporter::exportDelivery(delivery("Near", {near}), fx.repository, fx.destination, false));
    for (const auto& f : {off, resized})
        EXPECT_EQ(errorOf([&] {
                      DeliveryExporter::exportDelivery(delivery("Off", {f}), fx.repository, fx.destination, false);
                  }),
                  "“a.bin”已更新，请重新扫描后再交付。");
}

TEST(Export, FailureOnTheLastFileLeavesNothingBehind) {
    Fixture fx;
    std::vector<DeliveryFile> files;
    for (int i = 0; i < 20; ++i)
        files.push_back(fx.linked("f" + std::to_string(i) + ".bin", std::string(1000 + i, 'x')));
    files.push_back(fx.linked("last.bin", "last"));
    fs::remove(fx.source / "last.bin");
    EXPECT_EQ(errorOf([&] {
                  DeliveryExporter::exportDelivery(delivery("Pkg", files), fx.repository, fx.destination, false);
              }),
              "“last.bin”已丢失，请重新扫描来源文件夹。");
    EXPECT_TRUE(listing(fx.destination).empty());

    // With two failing files, the first in delivery order is the one reported.
    test::writeFile(fx.source / "last.bin", "last");
    files.back().reference->modifiedAt = modificationDate(fx.source / "last.bin");
    fs::remove(fx.source / "f3.bin");
    test::writeFile(fx.source / "f7.bin", std::string(1007, 'y'));
    files[7].reference->modifiedAt = modificationDate(fx.source / "f7.bin");
    EXPECT_EQ(errorOf([&] {
                  DeliveryExporter::exportDelivery(delivery("Pkg", files), fx.repository, fx.destination, false);
              }),
              "“f3.bin”已丢失，请重新扫描来源文件夹。");
    test::writeFile(fx.source / "f3.bin", std::string(1003, 'x'));
    files[3].reference->modifiedAt = modificationDate(fx.source / "f3.bin");
    EXPECT_EQ(errorOf([&] {
                  DeliveryExporter::exportDelivery(delivery("Pkg", files), fx.repository, fx.destination, false);
              }),
              "“f7.bin”已变更，请重新读取。");
    EXPECT_TRUE(listing(fx.destination).empty());
}

TEST(Export, CroppedCoverIsAModifiedJpeg) {
    Fixture fx;
    test::shell("vips black '" + (fx.source / "cover.png").string() + "' 40 30 --bands 3");
    DeliveryFile cover = FileInspector::inspect(fx.source / "cover.png", "", std::nullopt, true);
    cover.reference =
        FileReference::make(fx.source / "cover.png", modificationDate(fx.source / "cover.png"), std::nullopt);
    cover.crop = CropSpec{0.75, 0.5, 0.5};
    cover.editedText = "ignored: a crop wins";
    Delivery d = delivery("Cover", {cover});
    const auto receipt = DeliveryExporter::exportDelivery(d, fx.repository, fx.destination, false);
    const ExportManifest m = decodeManifestFile(test::readFile(fs::path(receipt.path) / "交付清单.json"));
    ASSERT_EQ(m.files.size(), 1u);
    EXPECT_EQ(m.files[0].outputPath, "02_封面/Cover_封面_01.jpg");
    EXPECT_EQ(m.files[0].role, FileRole::cover);
    EXPECT_TRUE(m.files[0].modified);
    EXPECT_EQ(m.files[0].sourceSHA256, cover.sha256);
    const fs::path jpeg = fs::path(receipt.path) / m.files[0].outputPath;
    EXPECT_EQ(m.files[0].sha256, FileInspector::hash(jpeg));
    EXPECT_EQ(test::readFile(jpeg).substr(0, 2), "\xff\xd8");
    const DeliveryFile out = FileInspector::inspect(jpeg, "", std::nullopt, false);
    EXPECT_EQ(out.width, 22);
    EXPECT_EQ(out.height, 30);
}

TEST(Export, NonRegularSourcesFailAtOnce) {
    Fixture fx;
    fs::create_directories(fx.repository.root() / "files");
    ASSERT_EQ(::mkfifo((fx.repository.root() / "files" / "pipe.bin").c_str(), 0600), 0);
    DeliveryFile pipe(UUID::make(), "pipe.bin", "files/pipe.bin", FileRole::extra, 0, "");
    EXPECT_THROW(DeliveryExporter::exportDelivery(delivery("Pipe", {pipe}), fx.repository, fx.destination, false),
                 std::system_error);
    // A linked file replaced by a folder no longer matches its reference.
    DeliveryFile file = fx.linked("a.bin", "abc");
    fs::remove(fx.source / "a.bin");
    fs::create_directory(fx.source / "a.bin");
    EXPECT_EQ(errorOf([&] {
                  DeliveryExporter::exportDelivery(delivery("Dir", {file}), fx.repository, fx.destination, false);
              }),
              "“a.bin”已更新，请重新扫描后再交付。");
    EXPECT_TRUE(listing(fx.destination).empty());
}

TEST(ExportManifest, DatesWithSmallYearsWriteBackReadably) {
    for (const char* text : {"0226-12-09T05:00:00Z", "0001-01-01T00:00:00Z", "9999-12-31T23:59:59Z"}) {
        const auto date = parseISO8601(text);
        ASSERT_TRUE(date) << text;
        EXPECT_EQ(iso8601(*date), text);
    }
    // Offsets that move the instant out of four-digit years are refused.
    EXPECT_FALSE(parseISO8601("0000-01-01T00:00:00+00:01"));
    EXPECT_FALSE(parseISO8601("9999-12-31T23:59:59-00:01"));
}

TEST(Export, FoldersLeftByKilledExportsAreRemovedThroughNoLink) {
    Fixture fx;
    const DeliveryFile file = fx.linked("a.bin", "content");
    // What an export killed midway leaves: nobody holds it. Inside, a link to a folder elsewhere.
    const fs::path left = fx.destination / (".sorvik-" + UUID::make().string());
    test::writeFile(left / "05_附件" / "Pkg_附件_01.bin", "half");
    const fs::path elsewhere = fx.dir / "elsewhere";
    test::writeFile(elsewhere / "keep.txt", "keep");
    fs::create_directory_symlink(elsewhere, left / "05_附件" / "link");
    // Items that only look like one: a link to a folder, a file, another name, a folder held
    // by a running export (its lock taken here on its own descriptor).
    const fs::path linked = fx.destination / (".sorvik-" + UUID::make().string());
    fs::create_directory_symlink(elsewhere, linked);
    const fs::path plain = fx.destination / (".sorvik-" + UUID::make().string());
    test::writeFile(plain, "a file");
    const fs::path other = fx.destination / ".sorvik-notes";
    fs::create_directory(other);
    const fs::path running = fx.destination / (".sorvik-" + UUID::make().string());
    test::writeFile(running / "part.bin", "being written");
    const files::FileDescriptor held(::open(running.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);

    DeliveryExporter::exportDelivery(delivery("Pkg", {file}), fx.repository, fx.destination, false);
    EXPECT_FALSE(fs::exists(fs::symlink_status(left)));
    EXPECT_EQ(test::readFile(elsewhere / "keep.txt"), "keep");
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_EQ(test::readFile(plain), "a file");
    EXPECT_TRUE(fs::is_directory(other));
    EXPECT_EQ(test::readFile(running / "part.bin"), "being written");
    EXPECT_EQ(listing(fx.destination).size(), 5u);  // the package beside the four

    // Once let go, the held folder goes with the next export.
    ::flock(held.get(), LOCK_UN);
    DeliveryExporter::exportDelivery(delivery("Pkg", {file}), fx.repository, fx.destination, false);
    EXPECT_FALSE(fs::exists(running));
    EXPECT_EQ(test::readFile(elsewhere / "keep.txt"), "keep");
    EXPECT_TRUE(fs::exists(fx.destination / "Pkg 2"));
}

TEST(Export, AnExportStoppedMidwayLeavesNothingBehind) {
    // What a quit does to an export under way.
    Fixture fx;
    std::vector<DeliveryFile> files;
    for (int i = 0; i < 10; ++i)
        files.push_back(fx.linked("f" + std::to_string(i) + ".bin", std::string(2000, static_cast<char>('a' + i))));
    std::stop_source quit;
    const auto stopAtThird = [&](const fs::path&, std::size_t index) {
        if (index == 2) quit.request_stop();
    };
    EXPECT_THROW(DeliveryExporter::exportDelivery(delivery("Pkg", files), fx.repository, fx.destination, false,
                                                  quit.get_token(), stopAtThird),
                 CancellationError);
    EXPECT_TRUE(listing(fx.destination).empty());
}
