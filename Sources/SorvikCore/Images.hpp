#pragma once
// Decoded images on libvips. Untrusted loaders are blocked; the library starts once.
#include <cstdint>
#include <filesystem>
#include <vector>

typedef struct _VipsImage VipsImage;

namespace sorvik::images {

/// Starts libvips once per process (thread-safe) and blocks its untrusted loaders.
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

}  // namespace sorvik::images
