#include "SorvikCore/Models.hpp"

#include <algorithm>
#include <cctype>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "SorvikCore/UnicodeText.hpp"

namespace sorvik {

namespace {
struct RoleInfo {
    FileRole role;
    std::string_view raw, label, folder, symbol;
};
constexpr std::array<RoleInfo, 5> roleTable{{
    {FileRole::video, "video", "成片", "01_成片", "play.rectangle"},
    {FileRole::cover, "cover", "封面", "02_封面", "photo"},
    {FileRole::subtitle, "subtitle", "字幕", "03_字幕", "captions.bubble"},
    {FileRole::copy, "copy", "文案", "04_文案", "text.alignleft"},
    {FileRole::extra, "extra", "附件", "05_附件", "paperclip"},
}};
const RoleInfo& info(FileRole role) { return roleTable[static_cast<std::size_t>(role)]; }
}  // namespace

namespace FileRoles {
std::string_view rawValue(FileRole role) { return info(role).raw; }
std::string_view label(FileRole role) { return info(role).label; }
std::string_view folder(FileRole role) { return info(role).folder; }
std::string_view symbol(FileRole role) { return info(role).symbol; }
std::optional<FileRole> fromRawValue(std::string_view text) {
    for (const auto& r : roleTable)
        if (r.raw == text) return r.role;
    return std::nullopt;
}
}  // namespace FileRoles

namespace CheckLevels {
std::string_view rawValue(CheckLevel level) {
    switch (level) {
        case CheckLevel::pass: return "pass";
        case CheckLevel::warning: return "warning";
        case CheckLevel::error: return "error";
    }
    return "pass";
}
std::optional<CheckLevel> fromRawValue(std::string_view text) {
    if (text == "pass") return CheckLevel::pass;
    if (text == "warning") return CheckLevel::warning;
    if (text == "error") return CheckLevel::error;
    return std::nullopt;
}
}  // namespace CheckLevels

DeliveryFile::DeliveryFile(UUID id, std::string name, std::string relativePath, FileRole role, std::int64_t bytes,
                           std::string sha256, std::optional<std::int64_t> width, std::optional<std::int64_t> height,
                           std::optional<double> duration, std::optional<std::string> text,
                           std::optional<std::string> inspectionError)
    : id(id), name(std::move(name)), relativePath(std::move(relativePath)), role(role), bytes(bytes),
      sha256(std::move(sha256)), width(width), height(height), duration(duration), text(std::move(text)),
      inspectionError(std::move(inspectionError)) {}

std::string DeliveryFile::fileExtension() const {
    // The last path component, then the part after its last dot (a leading dot alone is no extension).
    std::string_view n = name;
    while (n.size() > 1 && n.back() == '/') n.remove_suffix(1);
    if (auto slash = n.rfind('/'); slash != std::string_view::npos) n.remove_prefix(slash + 1);
    auto dot = n.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == n.size()) return {};
    std::string ext(n.substr(dot + 1));
    const bool ascii = std::all_of(ext.begin(), ext.end(), [](unsigned char c) { return c < 0x80; });
    if (!ascii && unicode::isValidUTF8(ext)) {
        // Full Unicode lower-casing, independent of the locale.
        std::string lowered;
        icu::UnicodeString::fromUTF8(ext).toLower(icu::Locale::getRoot()).toUTF8String(lowered);
        return lowered;
    }
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool DeliveryFile::isImage() const {
    static constexpr std::array<std::string_view, 9> kinds{"jpg", "jpeg", "png", "heic", "tif",
                                                           "tiff", "webp", "gif", "avif"};
    const auto ext = fileExtension();
    return std::find(kinds.begin(), kinds.end(), ext) != kinds.end();
}

bool DeliveryFile::isVideo() const {
    static constexpr std::array<std::string_view, 6> kinds{"mp4", "mov", "m4v", "webm", "mkv", "avi"};
    const auto ext = fileExtension();
    return std::find(kinds.begin(), kinds.end(), ext) != kinds.end();
}

const DeliveryTemplate& DeliveryTemplate::video() {
    static const DeliveryTemplate t{"视频交付",
                                    {FileRole::video, FileRole::cover, FileRole::subtitle, FileRole::copy},
                                    0.75, 2048, 20, 1000};
    return t;
}
const DeliveryTemplate& DeliveryTemplate::graphic() {
    static const DeliveryTemplate t{"图文交付", {FileRole::cover, FileRole::copy}, 0.75, 2048, 20, 1000};
    return t;
}
const DeliveryTemplate& DeliveryTemplate::flexible() {
    static const DeliveryTemplate t{"自由交付", {}, std::nullopt, 2048, 0, 0};
    return t;
}

ExportReceipt ExportReceipt::make(Date date, std::string path, std::int64_t fileCount, std::string signature) {
    return ExportReceipt{UUID::make(), date, std::move(path), fileCount, std::move(signature)};
}

Delivery::Delivery(UUID id, std::string name, std::vector<DeliveryFile> files, DeliveryTemplate templ)
    : id(id), name(std::move(name)), createdAt(Date::now()), updatedAt(Date::now()), files(std::move(files)),
      templ(std::move(templ)) {}

namespace coding {

using json::Reader;

Json encodeDate(Date date, DateStyle style) {
    if (style == DateStyle::iso8601) return iso8601(date);
    return json::number(date.seconds);
}

Json encode(const CropSpec& crop) {
    Json j = Json::object();
    j["ratio"] = json::number(crop.ratio);
    j["x"] = json::number(crop.x);
    j["y"] = json::number(crop.y);
    return j;
}

CropSpec decodeCropSpec(const Json& value, const std::string& path) {
    Reader r(value, path);
    return CropSpec{r.number("ratio"), r.number("x"), r.number("y")};
}

Json encode(const FileReference& ref) {
    Json j = Json::object();
    j["path"] = ref.path;
    if (ref.bookmark) j["bookmark"] = json::base64Encode(*ref.bookmark);
    if (ref.identity) j["identity"] = *ref.identity;
    j["modifiedAt"] = json::number(ref.modifiedAt.seconds);
    return j;
}

FileReference decodeFileReference(const Json& value, const std::string& path) {
    Reader r(value, path);
    FileReference ref;
    ref.path = r.string("path");
    ref.bookmark = r.optionalData("bookmark");
    ref.identity = r.optionalString("identity");
    ref.modifiedAt = r.date("modifiedAt");
    return ref;
}

FileRole decodeRole(const Json& value, const std::string& path) {
    auto role = FileRoles::fromRawValue(json::asString(value, path));
    if (!role) json::typeMismatch(path, "a file role");
    return *role;
}

Json encode(const DeliveryFile& f) {
    Json j = Json::object();
    j["id"] = f.id.string();
    j["name"] = f.name;
    j["relativePath"] = f.relativePath;
    j["role"] = FileRoles::rawValue(f.role);
    j["bytes"] = f.bytes;
    j["sha256"] = f.sha256;
    if (f.width) j["width"] = *f.width;
    if (f.height) j["height"] = *f.height;
    if (f.duration) j["duration"] = json::number(*f.duration);
    if (f.text) j["text"] = *f.text;
    if (f.editedText) j["editedText"] = *f.editedText;
    if (f.crop) j["crop"] = encode(*f.crop);
    if (f.inspectionError) j["inspectionError"] = *f.inspectionError;
    if (f.reference) j["reference"] = encode(*f.reference);
    if (f.sourceUpdatePending) j["sourceUpdatePending"] = *f.sourceUpdatePending;
    return j;
}

DeliveryFile decodeDeliveryFile(const Json& value, const std::string& path) {
    Reader r(value, path);
    DeliveryFile f;
    f.id = r.uuid("id");
    f.name = r.string("name");
    f.relativePath = r.string("relativePath");
    f.role = decodeRole(r.require("role"), r.child("role"));
    f.bytes = r.integer("bytes");
    f.sha256 = r.string("sha256");
    f.width = r.optionalInteger("width");
    f.height = r.optionalInteger("height");
    f.duration = r.optionalNumber("duration");
    f.text = r.optionalString("text");
    f.editedText = r.optionalString("editedText");
    if (const Json* c = r.find("crop")) f.crop = decodeCropSpec(*c, r.child("crop"));
    f.inspectionError = r.optionalString("inspectionError");
    if (const Json* ref = r.find("reference")) f.reference = decodeFileReference(*ref, r.child("reference"));
    f.sourceUpdatePending = r.optionalBoolean("sourceUpdatePending");
    return f;
}

Json encode(const DeliveryTemplate& t) {
    Json j = Json::object();
    j["name"] = t.name;
    j["requiredRoles"] = json::encodeArray(t.requiredRoles, [](FileRole r) { return Json(FileRoles::rawValue(r)); });
    if (t.coverRatio) j["coverRatio"] = json::number(*t.coverRatio);
    j["maxVideoMB"] = t.maxVideoMB;
    j["maxTitleCharacters"] = t.maxTitleCharacters;
    j["maxBodyCharacters"] = t.maxBodyCharacters;
    return j;
}

DeliveryTemplate decodeDeliveryTemplate(const Json& value, const std::string& path) {
    Reader r(value, path);
    DeliveryTemplate t;
    t.name = r.string("name");
    t.requiredRoles = json::decodeArray<FileRole>(r.array("requiredRoles"), r.child("requiredRoles"), decodeRole);
    t.coverRatio = r.optionalNumber("coverRatio");
    t.maxVideoMB = r.integer("maxVideoMB");
    t.maxTitleCharacters = r.integer("maxTitleCharacters");
    t.maxBodyCharacters = r.integer("maxBodyCharacters");
    return t;
}

Json encode(const TemplatePreset& p) {
    Json j = Json::object();
    j["id"] = p.id.string();
    j["template"] = encode(p.templ);
    return j;
}

TemplatePreset decodeTemplatePreset(const Json& value, const std::string& path) {
    Reader r(value, path);
    return TemplatePreset{r.uuid("id"), decodeDeliveryTemplate(r.require("template"), r.child("template"))};
}

Json encode(const ExportReceipt& e, DateStyle style) {
    Json j = Json::object();
    j["id"] = e.id.string();
    j["date"] = encodeDate(e.date, style);
    j["path"] = e.path;
    j["fileCount"] = e.fileCount;
    j["signature"] = e.signature;
    return j;
}

ExportReceipt decodeExportReceipt(const Json& value, const std::string& path) {
    Reader r(value, path);
    return ExportReceipt{r.uuid("id"), r.date("date"), r.string("path"), r.integer("fileCount"),
                         r.string("signature")};
}

Json encode(const Delivery& d, DateStyle style) {
    Json j = Json::object();
    j["id"] = d.id.string();
    j["name"] = d.name;
    j["createdAt"] = encodeDate(d.createdAt, style);
    j["updatedAt"] = encodeDate(d.updatedAt, style);
    j["files"] = json::encodeArray(d.files, [](const DeliveryFile& f) { return encode(f); });
    j["template"] = encode(d.templ);
    j["exports"] = json::encodeArray(d.exports, [style](const ExportReceipt& e) { return encode(e, style); });
    if (d.discoveryKey) j["discoveryKey"] = *d.discoveryKey;
    if (d.keywords) j["keywords"] = *d.keywords;
    return j;
}

Delivery decodeDelivery(const Json& value, const std::string& path) {
    Reader r(value, path);
    Delivery d;
    d.id = r.uuid("id");
    d.name = r.string("name");
    d.createdAt = r.date("createdAt");
    d.updatedAt = r.date("updatedAt");
    d.files = json::decodeArray<DeliveryFile>(r.array("files"), r.child("files"), decodeDeliveryFile);
    d.templ = decodeDeliveryTemplate(r.require("template"), r.child("template"));
    d.exports = json::decodeArray<ExportReceipt>(r.array("exports"), r.child("exports"), decodeExportReceipt);
    d.discoveryKey = r.optionalString("discoveryKey");
    if (const Json* k = r.optionalArray("keywords"))
        d.keywords = json::decodeArray<std::string>(*k, r.child("keywords"), json::asString);
    return d;
}

Json encode(const DeliveryCheck& c) {
    Json j = Json::object();
    j["id"] = c.id;
    j["level"] = CheckLevels::rawValue(c.level);
    j["title"] = c.title;
    j["detail"] = c.detail;
    if (c.fileID) j["fileID"] = c.fileID->string();
    return j;
}

DeliveryCheck decodeDeliveryCheck(const Json& value, const std::string& path) {
    Reader r(value, path);
    auto level = CheckLevels::fromRawValue(json::asString(r.require("level"), r.child("level")));
    if (!level) json::typeMismatch(r.child("level"), "a check level");
    return DeliveryCheck(r.string("id"), *level, r.string("title"), r.string("detail"), r.optionalUUID("fileID"));
}

}  // namespace coding
}  // namespace sorvik
