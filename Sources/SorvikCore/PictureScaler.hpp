#pragma once
// Pictures in planes, as a video decoder hands them over, converted and scaled to 32-bit BGRA in
// one pass (libswscale, in the media module).
#include <array>
#include <cstdint>

namespace sorvik::media {

/// Memory layouts of a picture's planes; packed formats are named by their byte order in memory.
enum class PictureLayout {
    yuv420p,
    yuv422p,
    nv12,
    nv21,
    uyvy,
    yuyv,
    p010,
    p016,
    yuv420p10,
    gray8,
    gray16,
    argb,
    xrgb,
    bgra,
    bgrx,
    abgr,
    xbgr,
    rgba,
    rgbx,
};

/// The colour space of YUV samples; `guess` picks BT.709 above 576 lines, BT.601 below.
enum class PictureColors { guess, bt601, bt709, bt2020 };

struct Picture {
    PictureLayout layout = PictureLayout::yuv420p;
    int width = 0;
    int height = 0;
    std::array<const std::uint8_t*, 4> planes{};
    std::array<int, 4> strides{};
    PictureColors colors = PictureColors::guess;
    bool fullRange = false;
};

struct ScalerState;

/// A scaler kept from one picture to the next; used by one thread at a time.
class PictureScaler {
public:
    PictureScaler() = default;
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    /// The picture scaled to width x height into `out` (outStride bytes a row, alpha opaque for
    /// YUV). False when the picture cannot be converted. Throws SorvikError when the media
    /// module cannot be loaded.
    bool toBGRA(const Picture& picture, int width, int height, std::uint8_t* out, int outStride);

private:
    ScalerState* state_ = nullptr;  // the module's
};

}  // namespace sorvik::media
