#pragma once
// JSON basics: the errors, dates, Base64, and nlohmann-json documents for the agent's
// answers, manifests and small files read whole. Records are read with JsonReader.hpp and
// written with JsonWriter.hpp.
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
/// Indented text, one member per line.
std::string dumpPretty(const Json& value);

Json number(double value);  // throws EncodingError for NaN and infinities

std::string base64Encode(const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

template <typename T, typename F>
Json encodeArray(const std::vector<T>& items, F encode) {
    Json out = Json::array();
    for (const auto& item : items) out.push_back(encode(item));
    return out;
}

}  // namespace json
}  // namespace sorvik
