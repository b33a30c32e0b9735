#include "SorvikCore/Exporter.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include "SorvikCore/CanonicalJson.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::DeliveryExporter {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t safeNameCharacters = 70;
// Every name built from a safe name must fit the 255-byte limit of a file name. The longest
// additions are the archive's "__" + 6 + "_" + 8 + "." + extension (about 25 bytes) and the
// export's "_" + role label (6 bytes) + "_" + number + "." + extension, or " 2", " 3"... on a
// package folder. 200 bytes leaves 55 for them, so 70 emoji or heavily combined characters can
// no longer make every export fail with a name that is too long.
constexpr std::size_t safeNameBytes = 200;

struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};

/// Length in bytes of the longest prefix of at most `characters` grapheme clusters and at most
/// `maxBytes` bytes that ends on a cluster boundary.
std::size_t graphemePrefixLength(std::string_view text, std::size_t characters, std::size_t maxBytes) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> ut(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return 0;
    it->setText(ut.get(), status);
    if (U_FAILURE(status)) return 0;
    std::size_t length = 0, count = 0;
    it->first();
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE && count < characters; b = it->next(), ++count) {
        if (static_cast<std::size_t>(b) > maxBytes) break;
        length = static_cast<std::size_t>(b);
    }
    return length;
}

/// Longest prefix of at most maxBytes that ends on a code point boundary.
std::size_t codePointPrefixLength(std::string_view text, std::size_t maxBytes) {
    std::size_t end = std::min(maxBytes, text.size());
    while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

[[noreturn]] void fail(const char* message) { throw SorvikError::message(message); }

std::string localDateTime(Date date) {
    std::time_t t = static_cast<std::time_t>(date.unixSeconds());
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &tm);
    return buffer;
}

}  // namespace

namespace {

/// The text with each character that cannot stand in a file name replaced by "_": path and
/// shell separators, and every control character (C0, DEL and C1, NUL included).
std::string replacingUnsafe(std::string_view text) {
    std::string replaced;
    replaced.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '/':
            case '\\':
            case ':':
            case '?':
            case '*':
            case '"':
            case '<':
            case '>':
            case '|': replaced.push_back('_'); continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            replaced.push_back('_');
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            replaced.push_back('_');  // U+0080 to U+009F
            ++i;
        } else {
            replaced.push_back(static_cast<char>(c));
        }
    }
    return replaced;
}

}  // namespace

std::string safeName(std::string_view name) {
    const std::string replaced = replacingUnsafe(name);
    std::string_view text = unicode::trimWhitespaceAndNewlines(replaced);
    while (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty()) return "未命名交付";
    std::size_t length = graphemePrefixLength(text, safeNameCharacters, safeNameBytes);
    // A single cluster longer than the budget (a letter with hundreds of marks) is cut inside.
    if (length == 0) length = codePointPrefixLength(text, safeNameBytes);
    return std::string(text.substr(0, length));
}

std::string safeExtension(std::string_view extension) { return replacingUnsafe(extension); }

images::Image orientedImage(const fs::path& path, int maxPixel, std::stop_token stop, std::uint64_t maxDecodedPixels) {
    try {
        return images::orientedThumbnail(path, std::max(maxPixel, 1), std::move(stop), maxDecodedPixels);
    } catch (const images::ImageError&) {
        fail("无法打开图片");
    } catch (const std::system_error&) {
        fail("无法打开图片");
    }
}

CropRect cropRect(std::int64_t width, std::int64_t height, const CropSpec& spec) {
    if (!std::isfinite(spec.ratio) || spec.ratio <= 0 || !std::isfinite(spec.x) || !std::isfinite(spec.y) ||
        width < 1 || height < 1)
        fail("裁切参数无效");
    const double W = static_cast<double>(width), H = static_cast<double>(height);
    const double w = std::min(H * spec.ratio, W);
    const double h = std::min(W / spec.ratio, H);
    const double px = spec.x < 0 ? 0 : std::min(spec.x, 1.0);
    const double py = spec.y < 0 ? 0 : std::min(spec.y, 1.0);
    return CropRect{std::floor((W - w) * px), std::floor((H - h) * py), std::floor(w), std::floor(h)};
}

std::string croppedJPEG(int sourceFd, const CropSpec& spec) {
    images::Image decoded;
    try {
        decoded = images::orientedThumbnail(sourceFd, exportMaxPixel);
    } catch (const images::ImageError&) {
        fail("无法打开图片");
    }
    const CropRect rect = cropRect(decoded.width(), decoded.height(), spec);
    images::Image cut;
    try {
        cut = images::crop(decoded, static_cast<int>(rect.x), static_cast<int>(rect.y), static_cast<int>(rect.width),
                           static_cast<int>(rect.height));
    } catch (const images::ImageError&) {
        fail("无法创建裁切图片");
    }
    try {
        return images::encodeJPEG(cut, cropJPEGQuality);
    } catch (const images::ImageError&) {
        fail("封面写入失败");
    }
}

void writeCrop(int outputFd, std::string_view jpeg) {
    try {
        files::writeAll(outputFd, jpeg, {});
    } catch (const std::system_error&) {
        fail("封面写入失败");
    }
}

void cropImage(const fs::path& source, const fs::path& output, const CropSpec& spec) {
    files::FileDescriptor in;
    try {
        in = files::openRegularFile(source);
    } catch (const std::system_error&) {
        fail("无法打开图片");
    }
    const std::string jpeg = croppedJPEG(in.get(), spec);
    files::FileDescriptor fd(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) fail("无法创建裁切图片");
    writeCrop(fd.get(), jpeg);
    if (::close(fd.release()) != 0) fail("封面写入失败");
}

std::string reportText(const ExportManifest& m) {
    std::string text = "# " + m.title;
    text += "\n\n由Sorvik整理 · " + localDateTime(m.exportedAt);
    text += "\n\n规则：" + m.templ.name + "（用户自定规则，不代表平台审核结果）\n\n## 文件\n\n";
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        if (i > 0) text += '\n';
        text += "- " + m.files[i].outputPath;
        if (m.files[i].modified) text += "（已生成修改副本）";
    }
    text += "\n\n## 检查\n\n";
    for (std::size_t i = 0; i < m.checks.size(); ++i) {
        const auto& check = m.checks[i];
        if (i > 0) text += '\n';
        text += std::string("- [") + (check.level == CheckLevel::pass ? "通过" : "提醒") + "] " + check.title + "：" +
                check.detail;
    }
    text += "\n\n只验证本地文件与所选规则；不判断内容质量、版权或外部平台审核结果。\n";
    return text;
}

std::string signature(const Delivery& delivery) { return hashing::sha256Hex(canonical::signaturePayload(delivery)); }

}  // namespace sorvik::DeliveryExporter
