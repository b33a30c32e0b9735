#include "SorvikCore/Json.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include <openssl/evp.h>

namespace sorvik {

Date Date::now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return fromUnix(std::chrono::duration<double>(since).count());
}

Date Date::fromTimespec(std::int64_t sec, long nsec) {
    return Date{static_cast<double>(sec - static_cast<std::int64_t>(unixOffset)) + static_cast<double>(nsec) / 1e9};
}

std::string iso8601(Date date) {
    // Held to the years 0000 to 9999, which four digits can write (and the cast stays defined).
    constexpr double first = -62167219200.0, last = 253402300799.0;
    const double unix = std::floor(date.unixSeconds());
    std::time_t t = std::isfinite(unix) ? static_cast<std::time_t>(std::clamp(unix, first, last)) : 0;
    std::tm tm{};
    gmtime_r(&t, &tm);
    // Four-digit years, as ISO 8601 asks and as our reader expects.
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buffer;
}

namespace json {

Json parse(std::string_view text) {
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        throw DecodingError(std::string("The data couldn't be read because it isn't in the correct format. (") +
                            e.what() + ")");
    }
}

namespace {
std::string dump(const Json& value, int indent) {
    try {
        return value.dump(indent, ' ', false, Json::error_handler_t::strict);
    } catch (const Json::exception& e) {
        throw EncodingError(std::string("The data couldn't be written because it isn't in the correct format. (") +
                            e.what() + ")");
    }
}
}  // namespace

std::string dumpPretty(const Json& value) { return dump(value, 2); }

Json number(double value) {
    if (!std::isfinite(value)) throw EncodingError("The data couldn't be written because a number is not finite.");
    return Json(value);
}

std::string base64Encode(const std::vector<std::uint8_t>& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool alphabet =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (c == '=') {
            if (i + 2 < text.size()) return std::nullopt;
            ++padding;
        } else if (!alphabet || padding > 0) {
            return std::nullopt;
        }
    }
    std::vector<std::uint8_t> out(text.size() / 4 * 3);
    if (text.empty()) return out;
    const int n =
        EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

}  // namespace json
}  // namespace sorvik
