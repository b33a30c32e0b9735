#include "SorvikCore/Exporter.hpp"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include "SorvikCore/FileSystem.hpp"
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
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
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

}  // namespace

std::string safeName(std::string_view name) {
    std::string replaced;
    replaced.reserve(name.size());
    for (char c : name) {
        switch (c) {
            case '/': case '\\': case ':': case '?': case '*': case '"': case '<': case '>': case '|':
            case '\n': case '\r': case '\t': case '\0':
                replaced.push_back('_');
                break;
            default:
                replaced.push_back(c);
        }
    }
    std::string_view text = unicode::trimWhitespaceAndNewlines(replaced);
    while (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty()) return "未命名交付";
    std::size_t length = graphemePrefixLength(text, safeNameCharacters, safeNameBytes);
    // A single cluster longer than the budget (a letter with hundreds of marks) is cut inside.
    if (length == 0) length = codePointPrefixLength(text, safeNameBytes);
    return std::string(text.substr(0, length));
}

images::Image orientedImage(const fs::path& path, int maxPixel) {
    try {
        return images::orientedThumbnail(path, std::max(maxPixel, 1));
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

void cropImage(const fs::path& source, const fs::path& output, const CropSpec& spec) {
    const images::Image decoded = orientedImage(source, exportMaxPixel);
    const CropRect rect = cropRect(decoded.width(), decoded.height(), spec);
    images::Image cut;
    try {
        cut = images::crop(decoded, static_cast<int>(rect.x), static_cast<int>(rect.y), static_cast<int>(rect.width),
                           static_cast<int>(rect.height));
    } catch (const images::ImageError&) {
        fail("无法创建裁切图片");
    }
    files::FileDescriptor fd(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) fail("无法创建裁切图片");
    try {
        const std::string jpeg = images::encodeJPEG(cut, cropJPEGQuality);
        std::string_view rest = jpeg;
        while (!rest.empty()) {
            const ssize_t n = ::write(fd.get(), rest.data(), rest.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("封面写入失败");
            }
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
    } catch (const images::ImageError&) {
        fail("封面写入失败");
    }
    if (::close(fd.release()) != 0) fail("封面写入失败");
}

}  // namespace sorvik::DeliveryExporter
