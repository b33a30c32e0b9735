#pragma once
// The records' JSON reading and writing through nlohmann-json documents, as the core did it
// before its streaming reader and writer: the reference those are compared with, byte for
// byte and error for error.
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/ExportManifest.hpp"
#include "SorvikCore/JsonReader.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::reference {

/// nlohmann-json's parser (which stops at a NUL byte) and strict dumps.
Json parse(std::string_view text);
std::string dumpCompact(const Json& value);
std::string dumpPretty(const Json& value);

/// Reads the members of one JSON object, naming the path in its errors.
class Reader {
public:
    Reader(const Json& value, std::string path);

    const std::string& path() const { return path_; }
    std::string child(std::string_view key) const;

    /// The member's value, or null when missing or null.
    const Json* find(std::string_view key) const;
    const Json& require(std::string_view key) const;

    std::string string(std::string_view key) const;
    std::optional<std::string> optionalString(std::string_view key) const;
    std::int64_t integer(std::string_view key) const;
    std::optional<std::int64_t> optionalInteger(std::string_view key) const;
    double number(std::string_view key) const;
    std::optional<double> optionalNumber(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::optional<bool> optionalBoolean(std::string_view key) const;
    UUID uuid(std::string_view key) const;
    std::optional<UUID> optionalUUID(std::string_view key) const;
    Date date(std::string_view key) const;
    std::optional<Date> optionalDate(std::string_view key) const;
    std::vector<std::uint8_t> data(std::string_view key) const;
    std::optional<std::vector<std::uint8_t>> optionalData(std::string_view key) const;
    const Json& array(std::string_view key) const;
    const Json* optionalArray(std::string_view key) const;

private:
    const Json& object_;
    std::string path_;
};

[[noreturn]] void typeMismatch(const std::string& path, std::string_view expected);

// Value readers shared by Reader and by array elements.
std::string asString(const Json& value, const std::string& path);
std::int64_t asInteger(const Json& value, const std::string& path);
double asNumber(const Json& value, const std::string& path);
bool asBoolean(const Json& value, const std::string& path);
UUID asUUID(const Json& value, const std::string& path);
const Json& asArray(const Json& value, const std::string& path);

/// Decodes every element of an array with decode(element, path).
template <typename T, typename F>
std::vector<T> decodeArray(const Json& array, const std::string& path, F decode) {
    const Json& items = asArray(array, path);
    std::vector<T> out;
    out.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        out.push_back(decode(items[i], path + "[" + std::to_string(i) + "]"));
    return out;
}

Json encode(const CropSpec&);
Json encode(const FileReference&);
Json encode(const DeliveryFile&);
Json encode(const TemplatePreset&);
Json encode(const ExportReceipt&);
Json encode(const Delivery&);
Json encode(const SourceFolder&);
Json encode(const IndexedAsset&);
Json encode(const ArchiveRecord&);
Json encode(const WorkspaceState&);

CropSpec decodeCropSpec(const Json&, const std::string& path);
FileReference decodeFileReference(const Json&, const std::string& path);
DeliveryFile decodeDeliveryFile(const Json&, const std::string& path);
DeliveryTemplate decodeDeliveryTemplate(const Json&, const std::string& path);
TemplatePreset decodeTemplatePreset(const Json&, const std::string& path);
ExportReceipt decodeExportReceipt(const Json&, const std::string& path);
Delivery decodeDelivery(const Json&, const std::string& path);
DeliveryCheck decodeDeliveryCheck(const Json&, const std::string& path);
FileRole decodeRole(const Json&, const std::string& path);
SourceFolder decodeSourceFolder(const Json&, const std::string& path);
IndexedAsset decodeIndexedAsset(const Json&, const std::string& path);
ArchiveRecord decodeArchiveRecord(const Json&, const std::string& path);
WorkspaceState decodeWorkspaceState(const Json&, const std::string& path = "workspace");
ManifestEntry decodeManifestEntry(const Json& value, const std::string& path);
ExportManifest decodeExportManifest(const Json& value, const std::string& path = "manifest");

// The library files and manifests, whole.
WorkspaceState readWorkspace(std::string_view text, const std::string& root = "workspace.json");
std::vector<Delivery> readDeliveries(std::string_view text, const std::string& root = "library.json");
std::vector<TemplatePreset> readPresets(std::string_view text, const std::string& root = "templates.json");
ExportManifest readManifest(std::string_view text);
std::string workspaceText(const WorkspaceState& state);
std::string deliveriesText(const std::vector<Delivery>& deliveries);
std::string presetsText(const std::vector<TemplatePreset>& presets);

/// What reading a text gave: the records written back as text, or the error message.
struct Outcome {
    bool ok = false;
    bool syntax = false;  // a json::SyntaxError
    std::string text;
};

template <typename Read>
Outcome outcome(Read read) {
    try {
        return {true, false, read()};
    } catch (const json::SyntaxError& e) {
        return {false, true, e.what()};
    } catch (const DecodingError& e) {
        return {false, false, e.what()};
    }
}

/// Whether the strict reader (`now`) agrees with the former one (`before`) on `text`: the same
/// records or the same error, a syntax error only where the former failed too, except where
/// the former was wrong: bytes after a NUL it took for the end, nesting deeper than the strict
/// reader follows.
bool agree(std::string_view text, const Outcome& now, const Outcome& before);

}  // namespace sorvik::reference
