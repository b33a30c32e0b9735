#include "SorvikCore/CanonicalJson.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sorvik::canonical {

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

/// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there starts none
/// (overlong forms, surrogates and values above U+10FFFF are not well-formed).
std::size_t sequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    const std::size_t left = text.size() - i;
    const auto cont = [&](std::size_t k) { return (byte(k) & 0xC0) == 0x80; };
    if (b0 < 0x80) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) return left >= 2 && cont(i + 1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3 || !cont(i + 1) || !cont(i + 2)) return 0;
        const unsigned char b1 = byte(i + 1);
        if (b0 == 0xE0 && b1 < 0xA0) return 0;   // overlong
        if (b0 == 0xED && b1 >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4 || !cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
        const unsigned char b1 = byte(i + 1);
        if (b0 == 0xF0 && b1 < 0x90) return 0;   // overlong
        if (b0 == 0xF4 && b1 >= 0x90) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace

std::string string(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(text, i);
        if (length == 0) {
            // Not UTF-8: the byte as a lone low surrogate, which valid text never produces.
            out += "\\udc";
            out += hexDigits[c >> 4];
            out += hexDigits[c & 0xF];
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += hexDigits[c >> 4];
                    out += hexDigits[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string number(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string integer(std::int64_t value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string boolean(bool value) { return value ? "true" : "false"; }

Object& Object::add(std::string key, std::string encodedValue) {
    members_.emplace_back(std::move(key), std::move(encodedValue));
    return *this;
}

std::string Object::str() const {
    auto sorted = members_;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out = "{";
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i > 0) out += ',';
        out += string(sorted[i].first);
        out += ':';
        out += sorted[i].second;
    }
    out += '}';
    return out;
}

std::string array(const std::vector<std::string>& encodedValues) {
    std::string out = "[";
    for (std::size_t i = 0; i < encodedValues.size(); ++i) {
        if (i > 0) out += ',';
        out += encodedValues[i];
    }
    out += ']';
    return out;
}

std::string encode(const CropSpec& crop) {
    return Object().add("ratio", number(crop.ratio)).add("x", number(crop.x)).add("y", number(crop.y)).str();
}

std::string encode(const FileReference& reference) {
    Object o;
    o.add("path", string(reference.path));
    if (reference.bookmark) o.add("bookmark", string(json::base64Encode(*reference.bookmark)));
    if (reference.identity) o.add("identity", string(*reference.identity));
    o.add("modifiedAt", number(reference.modifiedAt.seconds));
    return o.str();
}

std::string encode(const DeliveryFile& f) {
    Object o;
    o.add("id", string(f.id.string()));
    o.add("name", string(f.name));
    o.add("relativePath", string(f.relativePath));
    o.add("role", string(FileRoles::rawValue(f.role)));
    o.add("bytes", integer(f.bytes));
    o.add("sha256", string(f.sha256));
    if (f.width) o.add("width", integer(*f.width));
    if (f.height) o.add("height", integer(*f.height));
    if (f.duration) o.add("duration", number(*f.duration));
    if (f.text) o.add("text", string(*f.text));
    if (f.editedText) o.add("editedText", string(*f.editedText));
    if (f.crop) o.add("crop", encode(*f.crop));
    if (f.inspectionError) o.add("inspectionError", string(*f.inspectionError));
    if (f.reference) o.add("reference", encode(*f.reference));
    if (f.sourceUpdatePending) o.add("sourceUpdatePending", boolean(*f.sourceUpdatePending));
    return o.str();
}

std::string encode(const DeliveryTemplate& t) {
    std::vector<std::string> roles;
    roles.reserve(t.requiredRoles.size());
    for (FileRole role : t.requiredRoles) roles.push_back(string(FileRoles::rawValue(role)));
    Object o;
    o.add("name", string(t.name));
    o.add("requiredRoles", array(roles));
    if (t.coverRatio) o.add("coverRatio", number(*t.coverRatio));
    o.add("maxVideoMB", integer(t.maxVideoMB));
    o.add("maxTitleCharacters", integer(t.maxTitleCharacters));
    o.add("maxBodyCharacters", integer(t.maxBodyCharacters));
    return o.str();
}

std::string signaturePayload(const Delivery& delivery) {
    std::vector<std::string> files;
    files.reserve(delivery.files.size());
    for (const auto& file : delivery.files) files.push_back(encode(file));
    return Object()
        .add("name", string(delivery.name))
        .add("files", array(files))
        .add("template", encode(delivery.templ))
        .str();
}

}  // namespace sorvik::canonical
