#include "SorvikCore/Models.hpp"

#include <algorithm>
#include <cctype>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "SorvikCore/UnicodeText.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

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
    static constexpr std::array<std::string_view, 9> kinds{"jpg",  "jpeg", "png", "heic", "tif",
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
    static const DeliveryTemplate t{
        "视频交付", {FileRole::video, FileRole::cover, FileRole::subtitle, FileRole::copy}, 0.75, 2048, 20, 1000};
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

namespace {
FileRole roleNamed(const std::string& text, const json::Path& path) {
    auto role = FileRoles::fromRawValue(text);
    if (!role) json::typeMismatch(path, "a file role");
    return *role;
}
}  // namespace

void write(json::Writer& w, const CropSpec& crop) {
    w.beginObject().key("ratio").number(crop.ratio).key("x").number(crop.x).key("y").number(crop.y).endObject();
}

CropSpec decodeCropSpec(json::Value& value, const json::Path& path) {
    json::Field ratio(path, "ratio"), x(path, "x"), y(path, "y");
    json::readObject(value, path, {&ratio, &x, &y});
    return CropSpec{ratio.number(), x.number(), y.number()};
}

void write(json::Writer& w, const FileReference& ref) {
    w.beginObject();
    if (ref.bookmark) w.key("bookmark").string(json::base64Encode(*ref.bookmark));
    if (ref.identity) w.key("identity").string(*ref.identity);
    w.key("modifiedAt").number(ref.modifiedAt.seconds);
    w.key("path").string(ref.path);
    w.endObject();
}

FileReference decodeFileReference(json::Value& value, const json::Path& path) {
    json::Field filePath(path, "path"), bookmark(path, "bookmark"), identity(path, "identity"),
        modifiedAt(path, "modifiedAt");
    json::readObject(value, path, {&bookmark, &identity, &modifiedAt, &filePath});
    FileReference ref;
    ref.path = filePath.string();
    ref.bookmark = bookmark.optionalData();
    ref.identity = identity.optionalString();
    ref.modifiedAt = modifiedAt.date();
    return ref;
}

FileRole decodeRole(json::Value& value, const json::Path& path) {
    return roleNamed(json::readString(value, path), path);
}
FileRole readRole(json::Field& field) { return roleNamed(field.string(), field.path()); }

void write(json::Writer& w, const DeliveryFile& f) {
    w.beginObject();
    w.key("bytes").integer(f.bytes);
    if (f.crop) write(w.key("crop"), *f.crop);
    if (f.duration) w.key("duration").number(*f.duration);
    if (f.editedText) w.key("editedText").string(*f.editedText);
    if (f.height) w.key("height").integer(*f.height);
    w.key("id").uuid(f.id);
    if (f.inspectionError) w.key("inspectionError").string(*f.inspectionError);
    w.key("name").string(f.name);
    if (f.reference) write(w.key("reference"), *f.reference);
    w.key("relativePath").string(f.relativePath);
    w.key("role").word(FileRoles::rawValue(f.role));
    w.key("sha256").string(f.sha256);
    if (f.sourceUpdatePending) w.key("sourceUpdatePending").boolean(*f.sourceUpdatePending);
    if (f.text) w.key("text").string(*f.text);
    if (f.width) w.key("width").integer(*f.width);
    w.endObject();
}

DeliveryFile decodeDeliveryFile(json::Value& value, const json::Path& path) {
    json::Field id(path, "id"), name(path, "name"), relativePath(path, "relativePath"), role(path, "role"),
        bytes(path, "bytes"), sha256(path, "sha256"), width(path, "width"), height(path, "height"),
        duration(path, "duration"), text(path, "text"), editedText(path, "editedText"),
        inspectionError(path, "inspectionError"), sourceUpdatePending(path, "sourceUpdatePending");
    json::Nested<CropSpec> crop(path, "crop", decodeCropSpec);
    json::Nested<FileReference> reference(path, "reference", decodeFileReference);
    json::readObject(value, path,
                     {&bytes, &crop, &duration, &editedText, &height, &id, &inspectionError, &name, &reference,
                      &relativePath, &role, &sha256, &sourceUpdatePending, &text, &width});
    DeliveryFile f;
    f.id = id.uuid();
    f.name = name.string();
    f.relativePath = relativePath.string();
    f.role = readRole(role);
    f.bytes = bytes.integer();
    f.sha256 = sha256.string();
    f.width = width.optionalInteger();
    f.height = height.optionalInteger();
    f.duration = duration.optionalNumber();
    f.text = text.optionalString();
    f.editedText = editedText.optionalString();
    f.crop = crop.optional();
    f.inspectionError = inspectionError.optionalString();
    f.reference = reference.optional();
    f.sourceUpdatePending = sourceUpdatePending.optionalBoolean();
    return f;
}

void write(json::Writer& w, const DeliveryTemplate& t) {
    w.beginObject();
    if (t.coverRatio) w.key("coverRatio").number(*t.coverRatio);
    w.key("maxBodyCharacters").integer(t.maxBodyCharacters);
    w.key("maxTitleCharacters").integer(t.maxTitleCharacters);
    w.key("maxVideoMB").integer(t.maxVideoMB);
    w.key("name").string(t.name);
    write(w.key("requiredRoles"), t.requiredRoles);
    w.endObject();
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

DeliveryTemplate decodeDeliveryTemplate(json::Value& value, const json::Path& path) {
    json::Field name(path, "name"), coverRatio(path, "coverRatio"), maxVideoMB(path, "maxVideoMB"),
        maxTitleCharacters(path, "maxTitleCharacters"), maxBodyCharacters(path, "maxBodyCharacters");
    json::Nested<std::vector<FileRole>> requiredRoles(path, "requiredRoles", json::arrayOf<decodeRole>);
    json::readObject(value, path,
                     {&coverRatio, &maxBodyCharacters, &maxTitleCharacters, &maxVideoMB, &name, &requiredRoles});
    DeliveryTemplate t;
    t.name = name.string();
    t.requiredRoles = requiredRoles.required();
    t.coverRatio = coverRatio.optionalNumber();
    t.maxVideoMB = maxVideoMB.integer();
    t.maxTitleCharacters = maxTitleCharacters.integer();
    t.maxBodyCharacters = maxBodyCharacters.integer();
    return t;
}

void write(json::Writer& w, const TemplatePreset& p) {
    w.beginObject().key("id").uuid(p.id);
    write(w.key("template"), p.templ);
    w.endObject();
}

TemplatePreset decodeTemplatePreset(json::Value& value, const json::Path& path) {
    json::Field id(path, "id");
    json::Nested<DeliveryTemplate> templ(path, "template", decodeDeliveryTemplate);
    json::readObject(value, path, {&id, &templ});
    return TemplatePreset{id.uuid(), templ.required()};
}

void write(json::Writer& w, const ExportReceipt& e) {
    w.beginObject();
    w.key("date").number(e.date.seconds);
    w.key("fileCount").integer(e.fileCount);
    w.key("id").uuid(e.id);
    w.key("path").string(e.path);
    w.key("signature").string(e.signature);
    w.endObject();
}

ExportReceipt decodeExportReceipt(json::Value& value, const json::Path& path) {
    json::Field id(path, "id"), date(path, "date"), receiptPath(path, "path"), fileCount(path, "fileCount"),
        signature(path, "signature");
    json::readObject(value, path, {&date, &fileCount, &id, &receiptPath, &signature});
    return ExportReceipt{id.uuid(), date.date(), receiptPath.string(), fileCount.integer(), signature.string()};
}

void write(json::Writer& w, const Delivery& d) {
    w.beginObject();
    w.key("createdAt").number(d.createdAt.seconds);
    if (d.discoveryKey) w.key("discoveryKey").string(*d.discoveryKey);
    write(w.key("exports"), d.exports);
    write(w.key("files"), d.files);
    w.key("id").uuid(d.id);
    if (d.keywords) write(w.key("keywords"), *d.keywords);
    w.key("name").string(d.name);
    write(w.key("template"), d.templ);
    w.key("updatedAt").number(d.updatedAt.seconds);
    w.endObject();
}

namespace {

/// A project whole, or only as its summary: either way every member is validated and checked
/// in one order, so the first error is the same.
template <bool whole>
auto decodeProject(json::Value& value, const json::Path& path) {
    using Files = std::conditional_t<whole, std::vector<DeliveryFile>, std::size_t>;
    constexpr typename json::Nested<Files>::Decode decodeFiles = [] {
        if constexpr (whole) return json::arrayOf<decodeDeliveryFile>;
        else return json::countOf<decodeDeliveryFile>;
    }();
    json::Field id(path, "id"), name(path, "name"), createdAt(path, "createdAt"), updatedAt(path, "updatedAt"),
        discoveryKey(path, "discoveryKey");
    json::Nested<Files> files(path, "files", decodeFiles);
    json::Nested<DeliveryTemplate> templ(path, "template", decodeDeliveryTemplate);
    json::Nested<std::vector<ExportReceipt>> exports(path, "exports", json::arrayOf<decodeExportReceipt>);
    json::Nested<std::vector<std::string>> keywords(path, "keywords", json::arrayOf<json::readString>);
    json::readObject(value, path,
                     {&createdAt, &discoveryKey, &exports, &files, &id, &keywords, &name, &templ, &updatedAt});
    if constexpr (whole) {
        Delivery d;
        d.id = id.uuid();
        d.name = name.string();
        d.createdAt = createdAt.date();
        d.updatedAt = updatedAt.date();
        d.files = files.required();
        d.templ = templ.required();
        d.exports = exports.required();
        d.discoveryKey = discoveryKey.optionalString();
        d.keywords = keywords.optional();
        return d;
    } else {
        ProjectSummary s;
        s.id = id.uuid();
        s.name = name.string();
        createdAt.date();
        updatedAt.date();
        s.fileCount = static_cast<std::int64_t>(files.required());
        templ.required();
        exports.required();
        discoveryKey.optionalString();
        keywords.optional();
        return s;
    }
}

}  // namespace

Delivery decodeDelivery(json::Value& value, const json::Path& path) { return decodeProject<true>(value, path); }

ProjectSummary decodeProjectSummary(json::Value& value, const json::Path& path) {
    return decodeProject<false>(value, path);
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

DeliveryCheck decodeDeliveryCheck(json::Value& value, const json::Path& path) {
    json::Field id(path, "id"), levelField(path, "level"), title(path, "title"), detail(path, "detail"),
        fileID(path, "fileID");
    json::readObject(value, path, {&detail, &fileID, &id, &levelField, &title});
    auto level = CheckLevels::fromRawValue(levelField.string());
    if (!level) json::typeMismatch(levelField.path(), "a check level");
    return DeliveryCheck(id.string(), *level, title.string(), detail.string(), fileID.optionalUUID());
}

}  // namespace coding
}  // namespace sorvik
