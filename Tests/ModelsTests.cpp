#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "SorvikCore/Models.hpp"
#include "SorvikCore/WorkspaceModels.hpp"
#include "Support/JsonSupport.hpp"

using namespace sorvik;

namespace {

DeliveryFile sampleFile() {
    DeliveryFile f(UUID::make(), "封面.PNG", "", FileRole::cover, 1234, std::string(64, 'a'), 1080, 1440);
    f.reference = FileReference::make("/src/封面.PNG", Date{800000000.123456789}, "2049:77");
    return f;
}

/// Written and read back by the core.
template <typename T, typename Decode>
T roundTrip(const T& record, Decode decode) {
    return json::readDocument(coding::text(record), "r", decode);
}

}  // namespace

TEST(FileRole, RawValuesLabelsAndFolders) {
    EXPECT_EQ(FileRoles::allCases.size(), 5u);
    EXPECT_EQ(FileRoles::folder(FileRole::video), "01_成片");
    EXPECT_EQ(FileRoles::folder(FileRole::extra), "05_附件");
    EXPECT_EQ(FileRoles::label(FileRole::subtitle), "字幕");
    for (auto role : FileRoles::allCases) EXPECT_EQ(FileRoles::fromRawValue(FileRoles::rawValue(role)), role);
    EXPECT_FALSE(FileRoles::fromRawValue(""));
    EXPECT_FALSE(FileRoles::fromRawValue("Video"));
    EXPECT_FALSE(FileRoles::fromRawValue("video "));
    EXPECT_EQ(CheckLevels::fromRawValue("warning"), CheckLevel::warning);
    EXPECT_FALSE(CheckLevels::fromRawValue("Error"));
}

TEST(DeliveryFile, ExtensionAndKind) {
    DeliveryFile f;
    f.name = "clip.MP4";
    EXPECT_EQ(f.fileExtension(), "mp4");
    EXPECT_TRUE(f.isVideo());
    f.name = "photo.HEIC";
    EXPECT_TRUE(f.isImage());
    f.name = "README";
    EXPECT_EQ(f.fileExtension(), "");
    EXPECT_FALSE(f.isImage());
    EXPECT_FALSE(f.isVideo());
    f.name = "movie.webm";
    EXPECT_TRUE(f.isVideo());
    f.name = "archive.tar.gz";
    EXPECT_EQ(f.fileExtension(), "gz");
    f.name = "封面.ÉTÉ";
    EXPECT_EQ(f.fileExtension(), "été");
    f.name = ".hidden";
    EXPECT_EQ(f.fileExtension(), "");
}

TEST(DeliveryFile, EffectiveTextPrefersEditedEvenWhenEmpty) {
    DeliveryFile f;
    f.text = "原文";
    EXPECT_EQ(f.effectiveText(), "原文");
    f.editedText = "";
    EXPECT_EQ(f.effectiveText(), "");
    f.text.reset();
    f.editedText.reset();
    EXPECT_FALSE(f.effectiveText());
}

TEST(RecordJson, OptionalFieldsAreOmittedNeverNull) {
    DeliveryFile f(UUID::make(), "a.txt", "files/x", FileRole::copy, 3, "");
    const Json j = test::encode(f);
    for (const char* key : {"width", "height", "duration", "text", "editedText", "crop", "inspectionError", "reference",
                            "sourceUpdatePending"})
        EXPECT_FALSE(j.contains(key)) << key;
    EXPECT_EQ(j.size(), 6u);
    f.sourceUpdatePending = false;
    const Json k = test::encode(f);
    ASSERT_TRUE(k.contains("sourceUpdatePending"));
    EXPECT_EQ(test::decode(k, coding::decodeDeliveryFile, "f").sourceUpdatePending, false);

    const Json flexible = test::encode(DeliveryTemplate::flexible());
    EXPECT_FALSE(flexible.contains("coverRatio"));
    EXPECT_EQ(flexible.size(), 5u);

    DeliveryCheck check("empty", CheckLevel::error, "t", "d");
    EXPECT_FALSE(coding::encode(check).contains("fileID"));
}

TEST(RecordJson, DeliveryRoundTripsExactly) {
    Delivery d(UUID::make(), "山间慢生活", {sampleFile()}, DeliveryTemplate::video());
    d.files[0].crop = CropSpec{0.75, 0.2, 1.0};
    d.files[0].editedText = "";
    d.files[0].duration = 12.345;
    d.files[0].reference->bookmark = Bytes{0, 1, 2, 250, 255};
    d.exports.push_back(ExportReceipt::make(Date{7.5}, "/out/pkg", 3, std::string(64, 'f')));
    d.keywords = std::vector<std::string>{"周末山行", "Mountain Weekend"};
    d.discoveryKey = "山间慢生活";

    const Delivery back = roundTrip(d, coding::decodeDelivery);
    EXPECT_EQ(back.id, d.id);
    EXPECT_EQ(back.name, d.name);
    EXPECT_EQ(back.createdAt, d.createdAt);
    EXPECT_EQ(back.files, d.files);
    EXPECT_EQ(back.templ, d.templ);
    ASSERT_EQ(back.exports.size(), 1u);
    EXPECT_EQ(back.exports[0].id, d.exports[0].id);
    EXPECT_EQ(back.keywords, d.keywords);
    EXPECT_EQ(back.discoveryKey, d.discoveryKey);
    // Modification times with nanoseconds compare equal after a write and read.
    EXPECT_EQ(back.files[0].reference->modifiedAt, d.files[0].reference->modifiedAt);
}

TEST(RecordJson, UuidsAreUpperCaseAndReadInEitherCase) {
    const UUID id = UUID::make();
    Json j = test::encode(DeliveryFile(id, "a", "", FileRole::extra, 0, ""));
    const std::string text = j["id"].get<std::string>();
    EXPECT_EQ(text, id.string());
    for (char c : text) EXPECT_FALSE(std::islower(static_cast<unsigned char>(c)));
    std::string lower = text;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    j["id"] = lower;
    EXPECT_EQ(test::decode(j, coding::decodeDeliveryFile, "f").id, id);
    j["id"] = " " + text;
    EXPECT_THROW(test::decode(j, coding::decodeDeliveryFile, "f"), DecodingError);
    EXPECT_FALSE(UUID::parse(text + "0"));
    EXPECT_FALSE(UUID::parse("G" + text.substr(1)));
}

TEST(RecordJson, ReadingIsStrict) {
    const Json good = test::encode(Delivery(UUID::make(), "p", {}, DeliveryTemplate::graphic()));
    EXPECT_NO_THROW(test::decode(good, coding::decodeDelivery, "d"));

    for (const char* key : {"exports", "template", "files", "name", "createdAt"}) {
        Json missing = good;
        missing.erase(key);
        EXPECT_THROW(test::decode(missing, coding::decodeDelivery, "d"), DecodingError) << key;
    }
    Json nullKeywords = good;
    nullKeywords["keywords"] = nullptr;
    nullKeywords["discoveryKey"] = nullptr;
    nullKeywords["unknownKey"] = 42;
    const Delivery d = test::decode(nullKeywords, coding::decodeDelivery, "d");
    EXPECT_FALSE(d.keywords);
    EXPECT_FALSE(d.discoveryKey);

    Json badRole = test::encode(DeliveryFile(UUID::make(), "a", "", FileRole::video, 0, ""));
    badRole["role"] = "Video";
    EXPECT_THROW(test::decode(badRole, coding::decodeDeliveryFile, "f"), DecodingError);

    Json badLevel = coding::encode(DeliveryCheck("x", CheckLevel::pass, "t", "d"));
    badLevel["level"] = "fatal";
    EXPECT_THROW(test::decode(badLevel, coding::decodeDeliveryCheck, "c"), DecodingError);
}

TEST(RecordJson, IntegersMustBeIntegralAndInRange) {
    Json f = test::encode(DeliveryFile(UUID::make(), "a", "", FileRole::extra, 0, ""));
    for (const char* text : {"1.5", "1e300", "18446744073709551615", "1.0", "\"3\"", "true"}) {
        f["bytes"] = json::parse(text);
        EXPECT_THROW(test::decode(f, coding::decodeDeliveryFile, "f"), DecodingError) << text;
    }
    f["bytes"] = json::parse("9223372036854775807");
    EXPECT_EQ(test::decode(f, coding::decodeDeliveryFile, "f").bytes, std::numeric_limits<std::int64_t>::max());
    f["bytes"] = json::parse("-5");
    EXPECT_EQ(test::decode(f, coding::decodeDeliveryFile, "f").bytes, -5);
    // A Double field accepts integers.
    f["duration"] = 12;
    EXPECT_EQ(test::decode(f, coding::decodeDeliveryFile, "f").duration, 12.0);
}

TEST(RecordJson, NonFiniteNumbersAndInvalidUtf8AreRefusedOnWriting) {
    DeliveryFile f(UUID::make(), "a", "", FileRole::cover, 0, "");
    f.crop = CropSpec{std::nan(""), 0.5, 0.5};
    EXPECT_THROW(coding::text(f), EncodingError);
    f.crop.reset();
    f.duration = std::numeric_limits<double>::infinity();
    EXPECT_THROW(coding::text(f), EncodingError);
    f.duration.reset();
    f.name = std::string("bad\xff\xfe");
    EXPECT_THROW(coding::text(f), EncodingError);
    EXPECT_THROW(json::readDocument(std::string("{\"name\":\"\xff\"}"), "f", coding::decodeDeliveryFile),
                 DecodingError);
}

TEST(RecordJson, BookmarkBytesSurviveAndBadBase64Fails) {
    FileReference ref = FileReference::make("/x", Date{1}, std::nullopt);
    EXPECT_FALSE(ref.bookmark);
    EXPECT_EQ(ref.resolve(true), std::filesystem::path("/x"));
    for (std::size_t n = 0; n < 7; ++n) {
        ref.bookmark = Bytes(n, static_cast<std::uint8_t>(0xA0 + n));
        EXPECT_EQ(roundTrip(ref, coding::decodeFileReference), ref) << n;
    }
    Json j = test::encode(ref);
    j["bookmark"] = "not base64!";
    EXPECT_THROW(test::decode(j, coding::decodeFileReference, "r"), DecodingError);
    j["bookmark"] = "QQ=A";
    EXPECT_THROW(test::decode(j, coding::decodeFileReference, "r"), DecodingError);
}

TEST(DeliveryTemplate, EqualityIsOrderSensitive) {
    DeliveryTemplate a = DeliveryTemplate::graphic();
    DeliveryTemplate b = a;
    std::swap(b.requiredRoles[0], b.requiredRoles[1]);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, DeliveryTemplate::graphic());
    EXPECT_EQ(DeliveryTemplate::video().requiredRoles.size(), 4u);
    EXPECT_EQ(DeliveryTemplate::flexible().maxVideoMB, 2048);
}

TEST(ExportReceipt, EachGetsANewIdentifier) {
    const auto a = ExportReceipt::make(Date{1}, "/p", 1, "s");
    const auto b = ExportReceipt::make(Date{1}, "/p", 1, "s");
    EXPECT_NE(a.id, b.id);
}

TEST(Dates, Iso8601IsWholeSecondsUtc) {
    EXPECT_EQ(iso8601(Date{0}), "2001-01-01T00:00:00Z");
    EXPECT_EQ(iso8601(Date{86400.9}), "2001-01-02T00:00:00Z");
    EXPECT_EQ(iso8601(Date::fromUnix(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(iso8601(Date{1e300}), "9999-12-31T23:59:59Z");
    EXPECT_EQ(iso8601(Date{-1e300}), "0000-01-01T00:00:00Z");
}
