#pragma once
// Decoded images on libvips, in the image module (ImageModule.hpp) loaded on first use. Untrusted
// loaders are blocked; the library starts once.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <stdexcept>
#include <string>
#include <vector>

typedef struct _VipsImage VipsImage;

namespace sorvik::images {

/// Loads the image module and starts libvips once per process (thread-safe), its untrusted
/// loaders blocked. Throws ImageError when either cannot be done.
void ensureStarted();

/// An owned libvips image (a reference released on destruction).
class Image {
public:
    Image() = default;
    /// Takes over one reference.
    explicit Image(VipsImage* image) : image_(image) {}
    Image(const Image& other);
    Image& operator=(const Image& other);
    Image(Image&& other) noexcept : image_(other.image_) { other.image_ = nullptr; }
    Image& operator=(Image&& other) noexcept;
    ~Image();

    explicit operator bool() const { return image_ != nullptr; }
    VipsImage* get() const { return image_; }
    int width() const;
    int height() const;
    int bands() const;

private:
    VipsImage* image_ = nullptr;
};

/// Interleaved 8-bit pixels of a decoded image.
struct Pixels {
    int width = 0;
    int height = 0;
    int bands = 0;  // 1 gray, 3 RGB, 4 RGBA
    std::vector<std::uint8_t> data;
};

/// A libvips failure, carrying libvips's own description.
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// What the header of an image file says, without decoding its pixels.
struct Properties {
    int width = 0;  // stored pixel grid
    int height = 0;
    int orientation = 1;  // EXIF orientation 1-8; 1 when absent. HEIF files come upright from
                          // their loader (irot/imir applied) and never report another value.
    /// Width and height as the picture is meant to be seen (swapped for orientations 5 to 8).
    int orientedWidth() const { return orientation >= 5 && orientation <= 8 ? height : width; }
    int orientedHeight() const { return orientation >= 5 && orientation <= 8 ? width : height; }
};

/// Header of the first image in a regular file, or nothing when it is not an image of an
/// accepted kind (JPEG, PNG, HEIF/AVIF, TIFF, WebP, GIF) or cannot be read. Never blocks on
/// FIFOs or devices.
std::optional<Properties> properties(const std::filesystem::path& path);

/// The most pixels a decode test decodes: an image larger than this at the loader's reduced
/// size is decoded from its top down to this many pixels.
inline constexpr std::uint64_t decodeTestPixelLimit = 100'000'000;

/// Header and a forced decode of every pixel of the first image, at the loader's smallest size
/// that still covers `maxPixel` on the longer side (truncated data counts as a failure), up to
/// decodeTestPixelLimit. Nothing when either fails. Throws CancellationError when `stop` is
/// requested, within a strip of rows.
std::optional<Properties> decodeTest(const std::filesystem::path& path, int maxPixel = 64, std::stop_token stop = {});
/// decodeTest of the open regular file, read from its start.
std::optional<Properties> decodeTest(int fd, int maxPixel = 64, std::stop_token stop = {});

/// The first image of the file, decoded from its full image (never an embedded preview) at
/// most `maxPixel` on its longer side (never scaled up), orientation applied, as 8-bit sRGB or
/// grey with its alpha kept, held in memory. Throws ImageError, also when the loader would decode
/// more than `maxDecodedPixels` (0: no limit); CancellationError when `stop` is requested
/// during the decode.
Image orientedThumbnail(const std::filesystem::path& path, int maxPixel, std::stop_token stop = {},
                        std::uint64_t maxDecodedPixels = 0);
/// orientedThumbnail of the open regular file, read from its start.
Image orientedThumbnail(int fd, int maxPixel, std::stop_token stop = {}, std::uint64_t maxDecodedPixels = 0);

/// The window of an image; throws ImageError when it lies outside or is empty.
Image crop(const Image& image, int left, int top, int width, int height);

/// The image encoded as a JPEG (alpha flattened on white, no metadata). Throws ImageError.
std::string encodeJPEG(const Image& image, int quality);

/// The 8-bit interleaved pixels of the image. Throws ImageError.
Pixels pixels(const Image& image);

}  // namespace sorvik::images
