#include <optional>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "SorvikMedia/MediaParts.hpp"

namespace sorvik::media {

struct ScalerState {
    SwsContext* context = nullptr;
    ~ScalerState() { sws_freeContext(context); }
};

namespace parts {

namespace {

struct Layout {
    AVPixelFormat format;
    bool yuv;
};

Layout layoutOf(PictureLayout layout) {
    using L = PictureLayout;
    switch (layout) {
        case L::yuv420p: return {AV_PIX_FMT_YUV420P, true};
        case L::yuv422p: return {AV_PIX_FMT_YUV422P, true};
        case L::nv12: return {AV_PIX_FMT_NV12, true};
        case L::nv21: return {AV_PIX_FMT_NV21, true};
        case L::uyvy: return {AV_PIX_FMT_UYVY422, true};
        case L::yuyv: return {AV_PIX_FMT_YUYV422, true};
        case L::p010: return {AV_PIX_FMT_P010LE, true};
        case L::p016: return {AV_PIX_FMT_P016LE, true};
        case L::yuv420p10: return {AV_PIX_FMT_YUV420P10LE, true};
        case L::gray8: return {AV_PIX_FMT_GRAY8, false};
        case L::gray16: return {AV_PIX_FMT_GRAY16LE, false};
        case L::argb: return {AV_PIX_FMT_ARGB, false};
        case L::xrgb: return {AV_PIX_FMT_0RGB, false};
        case L::bgra: return {AV_PIX_FMT_BGRA, false};
        case L::bgrx: return {AV_PIX_FMT_BGR0, false};
        case L::abgr: return {AV_PIX_FMT_ABGR, false};
        case L::xbgr: return {AV_PIX_FMT_0BGR, false};
        case L::rgba: return {AV_PIX_FMT_RGBA, false};
        case L::rgbx: return {AV_PIX_FMT_RGB0, false};
    }
    return {AV_PIX_FMT_NONE, false};
}

int swsColorSpace(PictureColors colors, int height) {
    switch (colors) {
        case PictureColors::bt601: return SWS_CS_ITU601;
        case PictureColors::bt709: return SWS_CS_ITU709;
        case PictureColors::bt2020: return SWS_CS_BT2020;
        case PictureColors::guess: break;
    }
    return height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;  // the usual guess
}

}  // namespace

bool scaleToBGRA(ScalerState*& state, const Picture& picture, int width, int height, std::uint8_t* out, int outStride) {
    const Layout layout = layoutOf(picture.layout);
    if (layout.format == AV_PIX_FMT_NONE || picture.width < 1 || picture.height < 1 || width < 1 || height < 1)
        return false;
    if (!state) state = std::make_unique<ScalerState>().release();  // owned by the caller's PictureScaler
    state->context = sws_getCachedContext(state->context, picture.width, picture.height, layout.format, width, height,
                                          AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!state->context) return false;
    if (layout.yuv) {
        const int* coefficients = sws_getCoefficients(swsColorSpace(picture.colors, picture.height));
        sws_setColorspaceDetails(state->context, coefficients, picture.fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    std::uint8_t* planes[4] = {out, nullptr, nullptr, nullptr};
    int strides[4] = {outStride, 0, 0, 0};
    return sws_scale(state->context, picture.planes.data(), picture.strides.data(), 0, picture.height, planes,
                     strides) > 0;
}

void freeScaler(ScalerState* state) noexcept { const std::unique_ptr<ScalerState> owned(state); }

}  // namespace parts

}  // namespace sorvik::media
