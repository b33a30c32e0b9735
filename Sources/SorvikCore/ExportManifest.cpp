#include "SorvikCore/ExportManifest.hpp"

#include <cmath>

namespace sorvik {

namespace {

/// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

/// The decimal value of text[at, at + count), or -1 when any of it is not a digit.
int digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::optional<Date> parseISO8601(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't') ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int maxDay = month == 2 && isLeap(year) ? 29 : monthDays[month - 1];
    if (day > maxDay) return std::nullopt;

    const std::string_view zone = text.substr(19);
    int offsetSeconds = 0;
    if (zone == "Z" || zone == "z") {
        offsetSeconds = 0;
    } else if ((zone.size() == 6 && zone[3] == ':') || zone.size() == 5) {
        if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
        const int oh = digits(zone, 1, 2);
        const int om = digits(zone, zone.size() == 6 ? 4 : 3, 2);
        if (oh < 0 || oh > 23 || om < 0 || om > 59) return std::nullopt;
        offsetSeconds = (oh * 3600 + om * 60) * (zone[0] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const std::int64_t unix = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    // The UTC instant must itself have a four-digit year, so it can be written back.
    const std::int64_t first = daysFromCivil(0, 1, 1) * 86400, last = daysFromCivil(9999, 12, 31) * 86400 + 86399;
    if (unix < first || unix > last) return std::nullopt;
    return Date::fromUnix(static_cast<double>(unix));
}

namespace coding {

namespace {
Date isoDate(json::Field& field) {
    auto date = parseISO8601(field.string());
    if (!date) json::typeMismatch(field.path(), "an ISO 8601 date");
    return *date;
}
}  // namespace

Json encode(const ManifestEntry& e) {
    Json j = Json::object();
    if (e.assetID) j["assetID"] = e.assetID->string();
    j["sourceName"] = e.sourceName;
    j["outputPath"] = e.outputPath;
    j["role"] = FileRoles::rawValue(e.role);
    j["bytes"] = e.bytes;
    j["sha256"] = e.sha256;
    j["sourceSHA256"] = e.sourceSHA256;
    j["modified"] = e.modified;
    return j;
}

Json encode(const ExportManifest& m) {
    Json j = Json::object();
    j["schemaVersion"] = m.schemaVersion;
    j["product"] = m.product;
    if (m.projectID) j["projectID"] = m.projectID->string();
    j["title"] = m.title;
    j["exportedAt"] = iso8601(m.exportedAt);
    j["template"] = encode(m.templ);
    j["files"] = json::encodeArray(m.files, [](const ManifestEntry& e) { return encode(e); });
    j["checks"] = json::encodeArray(m.checks, [](const DeliveryCheck& c) { return encode(c); });
    j["acknowledgedWarnings"] = m.acknowledgedWarnings;
    return j;
}

namespace {

void write(json::Writer& w, const ManifestEntry& e) {
    w.beginObject();
    if (e.assetID) w.key("assetID").uuid(*e.assetID);
    w.key("bytes").integer(e.bytes);
    w.key("modified").boolean(e.modified);
    w.key("outputPath").string(e.outputPath);
    w.key("role").word(FileRoles::rawValue(e.role));
    w.key("sha256").string(e.sha256);
    w.key("sourceName").string(e.sourceName);
    w.key("sourceSHA256").string(e.sourceSHA256);
    w.endObject();
}

void write(json::Writer& w, const DeliveryCheck& c) {
    w.beginObject();
    w.key("detail").string(c.detail);
    if (c.fileID) w.key("fileID").uuid(*c.fileID);
    w.key("id").string(c.id);
    w.key("level").word(CheckLevels::rawValue(c.level));
    w.key("title").string(c.title);
    w.endObject();
}

}  // namespace

void write(json::Writer& w, const ExportManifest& m) {
    w.beginObject();
    w.key("acknowledgedWarnings").boolean(m.acknowledgedWarnings);
    w.key("checks").beginArray();
    for (const DeliveryCheck& check : m.checks) write(w, check);
    w.endArray();
    w.key("exportedAt").string(iso8601(m.exportedAt));
    w.key("files").beginArray();
    for (const ManifestEntry& entry : m.files) write(w, entry);
    w.endArray();
    w.key("product").string(m.product);
    if (m.projectID) w.key("projectID").uuid(*m.projectID);
    w.key("schemaVersion").integer(m.schemaVersion);
    write(w.key("template"), m.templ);
    w.key("title").string(m.title);
    w.endObject();
}

ManifestEntry decodeManifestEntry(json::Value& value, const json::Path& path) {
    json::Field assetID(path, "assetID"), sourceName(path, "sourceName"), outputPath(path, "outputPath"),
        role(path, "role"), bytes(path, "bytes"), sha256(path, "sha256"), sourceSHA256(path, "sourceSHA256"),
        modified(path, "modified");
    json::readObject(value, path,
                     {&assetID, &bytes, &modified, &outputPath, &role, &sha256, &sourceName, &sourceSHA256});
    ManifestEntry e;
    e.assetID = assetID.optionalUUID();
    e.sourceName = sourceName.string();
    e.outputPath = outputPath.string();
    e.role = readRole(role);
    e.bytes = bytes.integer();
    e.sha256 = sha256.string();
    e.sourceSHA256 = sourceSHA256.string();
    e.modified = modified.boolean();
    return e;
}

ExportManifest decodeExportManifest(json::Value& value, const json::Path& path) {
    json::Field schemaVersion(path, "schemaVersion"), product(path, "product"), projectID(path, "projectID"),
        title(path, "title"), exportedAt(path, "exportedAt"), acknowledgedWarnings(path, "acknowledgedWarnings");
    json::Nested<DeliveryTemplate> templ(path, "template", decodeDeliveryTemplate);
    json::Nested<std::vector<ManifestEntry>> files(path, "files", json::arrayOf<decodeManifestEntry>);
    json::Nested<std::vector<DeliveryCheck>> checks(path, "checks", json::arrayOf<decodeDeliveryCheck>);
    json::readObject(
        value, path,
        {&acknowledgedWarnings, &checks, &exportedAt, &files, &product, &projectID, &schemaVersion, &templ, &title});
    ExportManifest m;
    m.schemaVersion = schemaVersion.integer();
    m.product = product.string();
    m.projectID = projectID.optionalUUID();
    m.title = title.string();
    m.exportedAt = isoDate(exportedAt);
    m.templ = templ.required();
    m.files = files.required();
    m.checks = checks.required();
    m.acknowledgedWarnings = acknowledgedWarnings.boolean();
    return m;
}

}  // namespace coding

std::string encodeManifestFile(const ExportManifest& manifest) {
    // Written straight from the records: building the document first cost a quarter of a
    // verify of small files.
    json::Writer writer(json::Style::pretty, 1024 + manifest.files.size() * 512);
    coding::write(writer, manifest);
    std::string text = writer.finish();
    text += '\n';
    return text;
}

ExportManifest decodeManifestFile(std::string_view bytes, std::size_t capacity) {
    return json::readDocument(json::Source{bytes, capacity}, "manifest", coding::decodeExportManifest);
}

}  // namespace sorvik
