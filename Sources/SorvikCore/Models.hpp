#pragma once
// Value records of projects (deliveries), their files, rules, checks and exports.
#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Identifier.hpp"
#include "SorvikCore/Json.hpp"
#include "SorvikCore/JsonReader.hpp"
#include "SorvikCore/JsonWriter.hpp"

namespace sorvik {

/// The core's one error: a finished user-facing message.
class SorvikError : public std::exception {
public:
    explicit SorvikError(std::string message) : message_(std::move(message)) {}
    static SorvikError message(std::string text) { return SorvikError(std::move(text)); }
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& errorDescription() const { return message_; }

private:
    std::string message_;
};

/// Long work stopped through its stop token.
class CancellationError : public std::exception {
public:
    const char* what() const noexcept override { return "操作已取消。"; }
};

enum class FileRole { video, cover, subtitle, copy, extra };

namespace FileRoles {
inline constexpr std::array<FileRole, 5> allCases{FileRole::video, FileRole::cover, FileRole::subtitle, FileRole::copy,
                                                  FileRole::extra};
std::string_view rawValue(FileRole role);
std::optional<FileRole> fromRawValue(std::string_view text);
std::string_view label(FileRole role);
std::string_view folder(FileRole role);
std::string_view symbol(FileRole role);
}  // namespace FileRoles

enum class CheckLevel { pass, warning, error };

namespace CheckLevels {
std::string_view rawValue(CheckLevel level);
std::optional<CheckLevel> fromRawValue(std::string_view text);
}  // namespace CheckLevels

struct CropSpec {
    double ratio = 0;
    double x = 0.5;
    double y = 0.5;
    friend bool operator==(const CropSpec&, const CropSpec&) = default;
};

using Bytes = std::vector<std::uint8_t>;

/// Where an original file lives outside the library.
struct FileReference {
    std::string path;
    std::optional<Bytes> bookmark;
    std::optional<std::string> identity;
    Date modifiedAt;

    /// A new reference to a chosen file; no bookmark exists on this platform.
    static FileReference make(const std::filesystem::path& url, Date modifiedAt, std::optional<std::string> identity);
    /// The path to use for the original. Never fails; a reference is never rewritten.
    std::filesystem::path resolve(bool scoped) const;

    friend bool operator==(const FileReference&, const FileReference&) = default;
};

struct DeliveryFile {
    UUID id;
    std::string name;
    std::string relativePath;
    FileRole role = FileRole::extra;
    std::int64_t bytes = 0;
    std::string sha256;
    std::optional<std::int64_t> width;
    std::optional<std::int64_t> height;
    std::optional<double> duration;
    std::optional<std::string> text;
    std::optional<std::string> editedText;
    std::optional<CropSpec> crop;
    std::optional<std::string> inspectionError;
    std::optional<FileReference> reference;
    std::optional<bool> sourceUpdatePending;

    DeliveryFile() = default;
    DeliveryFile(UUID id, std::string name, std::string relativePath, FileRole role, std::int64_t bytes,
                 std::string sha256, std::optional<std::int64_t> width = std::nullopt,
                 std::optional<std::int64_t> height = std::nullopt, std::optional<double> duration = std::nullopt,
                 std::optional<std::string> text = std::nullopt,
                 std::optional<std::string> inspectionError = std::nullopt);

    /// editedText when present (even empty), else text.
    const std::optional<std::string>& effectiveText() const { return editedText ? editedText : text; }
    /// Lower-cased extension of name; empty when there is none.
    std::string fileExtension() const;
    bool isImage() const;
    bool isVideo() const;
    bool isSourceUpdatePending() const { return sourceUpdatePending.value_or(false); }

    friend bool operator==(const DeliveryFile&, const DeliveryFile&) = default;
};

struct DeliveryTemplate {
    std::string name;
    std::vector<FileRole> requiredRoles;
    std::optional<double> coverRatio;
    std::int64_t maxVideoMB = 0;
    std::int64_t maxTitleCharacters = 0;
    std::int64_t maxBodyCharacters = 0;

    static const DeliveryTemplate& video();
    static const DeliveryTemplate& graphic();
    static const DeliveryTemplate& flexible();

    friend bool operator==(const DeliveryTemplate&, const DeliveryTemplate&) = default;
};

struct TemplatePreset {
    UUID id;
    DeliveryTemplate templ;  // "template"
};

struct ExportReceipt {
    UUID id;
    Date date;
    std::string path;
    std::int64_t fileCount = 0;
    std::string signature;

    static ExportReceipt make(Date date, std::string path, std::int64_t fileCount, std::string signature);
};

struct Delivery {
    UUID id;
    std::string name;
    Date createdAt;
    Date updatedAt;
    std::vector<DeliveryFile> files;
    DeliveryTemplate templ;  // "template"
    std::vector<ExportReceipt> exports;
    std::optional<std::string> discoveryKey;
    std::optional<std::vector<std::string>> keywords;

    Delivery() = default;
    /// A new project; both dates are now, no exports, no key or keywords.
    Delivery(UUID id, std::string name, std::vector<DeliveryFile> files, DeliveryTemplate templ);
};

/// A project as a listing shows it: its identifier, name and number of files.
struct ProjectSummary {
    UUID id;
    std::string name;
    std::int64_t fileCount = 0;
};

struct DeliveryCheck {
    std::string id;
    CheckLevel level = CheckLevel::pass;
    std::string title;
    std::string detail;
    std::optional<UUID> fileID;

    DeliveryCheck() = default;
    DeliveryCheck(std::string id, CheckLevel level, std::string title, std::string detail,
                  std::optional<UUID> fileID = std::nullopt)
        : id(std::move(id)), level(level), title(std::move(title)), detail(std::move(detail)), fileID(fileID) {}
};

/// JSON forms of the records: dates as seconds since 2001-01-01, keys sorted.
namespace coding {
void write(json::Writer&, const CropSpec&);
void write(json::Writer&, const FileReference&);
void write(json::Writer&, const DeliveryFile&);
void write(json::Writer&, const DeliveryTemplate&);
void write(json::Writer&, const TemplatePreset&);
void write(json::Writer&, const ExportReceipt&);
void write(json::Writer&, const Delivery&);
inline void write(json::Writer& writer, const std::string& text) { writer.string(text); }
inline void write(json::Writer& writer, FileRole role) { writer.word(FileRoles::rawValue(role)); }

CropSpec decodeCropSpec(json::Value&, const json::Path&);
FileReference decodeFileReference(json::Value&, const json::Path&);
DeliveryFile decodeDeliveryFile(json::Value&, const json::Path&);
DeliveryTemplate decodeDeliveryTemplate(json::Value&, const json::Path&);
TemplatePreset decodeTemplatePreset(json::Value&, const json::Path&);
ExportReceipt decodeExportReceipt(json::Value&, const json::Path&);
Delivery decodeDelivery(json::Value&, const json::Path&);
/// What decodeDelivery reads, validated alike with the same first error, kept as a summary.
ProjectSummary decodeProjectSummary(json::Value&, const json::Path&);
DeliveryCheck decodeDeliveryCheck(json::Value&, const json::Path&);
FileRole decodeRole(json::Value&, const json::Path&);
FileRole readRole(json::Field&);

// Manifests are written from nlohmann-json documents.
Json encode(const DeliveryTemplate&);
Json encode(const DeliveryCheck&);
}  // namespace coding

}  // namespace sorvik
