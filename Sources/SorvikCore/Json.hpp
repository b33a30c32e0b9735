#pragma once
// Strict JSON coding on top of nlohmann-json: required keys must hold a value of their
// type, optional keys may be missing or null, unknown keys are ignored, integers must be
// integral and in range, doubles must be finite when written.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "SorvikCore/Identifier.hpp"

namespace sorvik {

using Json = nlohmann::json;  // objects keep their keys sorted

/// A JSON document that does not decode into the expected record.
class DecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A value that cannot be written as JSON (a non-finite number, invalid UTF-8).
class EncodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A point in time as seconds since 2001-01-01 00:00:00 UTC.
struct Date {
    double seconds = 0;  // since the reference date

    static constexpr double unixOffset = 978307200.0;
    static Date now();
    static Date fromUnix(double unixSeconds) { return Date{unixSeconds - unixOffset}; }
    /// Exact, deterministic conversion of a file time stamp.
    static Date fromTimespec(std::int64_t sec, long nsec);
    double unixSeconds() const { return seconds + unixOffset; }

    friend auto operator<=>(const Date&, const Date&) = default;
    friend bool operator==(const Date&, const Date&) = default;
};

/// ISO 8601 in UTC with whole seconds and a "Z" suffix ("2026-01-02T03:04:05Z").
std::string iso8601(Date date);

namespace json {

/// Parses a whole document; syntax errors and invalid UTF-8 throw DecodingError.
Json parse(std::string_view text);
/// Compact text; refuses invalid UTF-8 with EncodingError.
std::string dumpCompact(const Json& value);
/// Indented text, one member per line.
std::string dumpPretty(const Json& value);

Json number(double value);  // throws EncodingError for NaN and infinities

std::string base64Encode(const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

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

template <typename T, typename F>
Json encodeArray(const std::vector<T>& items, F encode) {
    Json out = Json::array();
    for (const auto& item : items) out.push_back(encode(item));
    return out;
}

}  // namespace json
}  // namespace sorvik
