#pragma once
// The manifest of an export package ("交付清单.json") and its JSON form.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik {

/// One exported file of a package.
struct ManifestEntry {
    std::optional<UUID> assetID;
    std::string sourceName;
    std::string outputPath;  // relative to the package folder, "/" between components
    FileRole role = FileRole::extra;
    std::int64_t bytes = 0;
    std::string sha256;
    std::string sourceSHA256;
    bool modified = false;
};

/// What a package holds, the rules it was checked against and what the checks said.
struct ExportManifest {
    std::int64_t schemaVersion = 1;
    std::string product = "Sorvik";
    std::optional<UUID> projectID;
    std::string title;
    Date exportedAt;
    DeliveryTemplate templ;  // "template"
    std::vector<ManifestEntry> files;
    std::vector<DeliveryCheck> checks;
    bool acknowledgedWarnings = false;
};

/// Reads ISO 8601 internet date-time text: "YYYY-MM-DDTHH:MM:SS" then "Z" or a numeric
/// UTC offset ("+08:00", "+0800"); no fractional seconds.
std::optional<Date> parseISO8601(std::string_view text);

namespace coding {
Json encode(const ManifestEntry& entry);
/// Dates as ISO 8601 text in whole seconds with "Z".
Json encode(const ExportManifest& manifest);
/// The text encode gives, written straight from the record.
void write(json::Writer& writer, const ExportManifest& manifest);
ManifestEntry decodeManifestEntry(json::Value& value, const json::Path& path);
/// Strict: required keys must hold a value of their type; dates must be ISO 8601 text.
ExportManifest decodeExportManifest(json::Value& value, const json::Path& path);
}  // namespace coding

/// The file's bytes: pretty-printed JSON with sorted keys, UTF-8, ending in a line feed.
std::string encodeManifestFile(const ExportManifest& manifest);
/// Decodes the bytes of a manifest file, which hold nothing but whitespace after the
/// document; throws DecodingError. With the bytes readable from their start (a std::string's
/// capacity) json::readPadding past them, they are read in place instead of copied.
ExportManifest decodeManifestFile(std::string_view bytes, std::size_t capacity = 0);

}  // namespace sorvik
