#include "Sorvik/Views/FileDetail/VideoFrames.hpp"

#include <QTransform>
#include <array>
#include <optional>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace sorvik::app {

namespace {

struct Layout {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    bool swapChroma = false;  // YV12 stores V before U
};

std::optional<Layout> layoutOf(QVideoFrameFormat::PixelFormat format) {
    using F = QVideoFrameFormat;
    switch (format) {
        case F::Format_YUV420P: return Layout{AV_PIX_FMT_YUV420P};
        case F::Format_YV12: return Layout{AV_PIX_FMT_YUV420P, true};
        case F::Format_YUV422P: return Layout{AV_PIX_FMT_YUV422P};
        case F::Format_NV12: return Layout{AV_PIX_FMT_NV12};
        case F::Format_NV21: return Layout{AV_PIX_FMT_NV21};
        case F::Format_UYVY: return Layout{AV_PIX_FMT_UYVY422};
        case F::Format_YUYV: return Layout{AV_PIX_FMT_YUYV422};
        case F::Format_P010: return Layout{AV_PIX_FMT_P010LE};
        case F::Format_P016: return Layout{AV_PIX_FMT_P016LE};
        case F::Format_YUV420P10: return Layout{AV_PIX_FMT_YUV420P10LE};
        case F::Format_Y8: return Layout{AV_PIX_FMT_GRAY8};
        case F::Format_Y16: return Layout{AV_PIX_FMT_GRAY16LE};
        // Qt names packed formats by their byte order in memory, as FFmpeg does.
        case F::Format_ARGB8888:
        case F::Format_ARGB8888_Premultiplied: return Layout{AV_PIX_FMT_ARGB};
        case F::Format_XRGB8888: return Layout{AV_PIX_FMT_0RGB};
        case F::Format_BGRA8888:
        case F::Format_BGRA8888_Premultiplied: return Layout{AV_PIX_FMT_BGRA};
        case F::Format_BGRX8888: return Layout{AV_PIX_FMT_BGR0};
        case F::Format_ABGR8888: return Layout{AV_PIX_FMT_ABGR};
        case F::Format_XBGR8888: return Layout{AV_PIX_FMT_0BGR};
        case F::Format_RGBA8888: return Layout{AV_PIX_FMT_RGBA};
        case F::Format_RGBX8888: return Layout{AV_PIX_FMT_RGB0};
        default: return std::nullopt;
    }
}

bool isYUV(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_ARGB:
        case AV_PIX_FMT_0RGB:
        case AV_PIX_FMT_BGRA:
        case AV_PIX_FMT_BGR0:
        case AV_PIX_FMT_ABGR:
        case AV_PIX_FMT_0BGR:
        case AV_PIX_FMT_RGBA:
        case AV_PIX_FMT_RGB0:
        case AV_PIX_FMT_GRAY8:
        case AV_PIX_FMT_GRAY16LE: return false;
        default: return true;
    }
}

int swsColorSpace(QVideoFrameFormat::ColorSpace space, int height) {
    switch (space) {
        case QVideoFrameFormat::ColorSpace_BT601: return SWS_CS_ITU601;
        case QVideoFrameFormat::ColorSpace_BT709: return SWS_CS_ITU709;
        case QVideoFrameFormat::ColorSpace_BT2020: return SWS_CS_BT2020;
        default: return height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;  // the usual guess
    }
}

/// Maps the frame for reading and unmaps it when done.
class MappedFrame {
public:
    explicit MappedFrame(QVideoFrame& frame) : frame_(frame), mapped_(frame.map(QVideoFrame::ReadOnly)) {}
    ~MappedFrame() {
        if (mapped_) frame_.unmap();
    }
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;
    explicit operator bool() const { return mapped_; }

private:
    QVideoFrame& frame_;
    bool mapped_;
};

}  // namespace

struct FrameScaler::State {
    SwsContext* context = nullptr;
    ~State() { sws_freeContext(context); }
};

FrameScaler::FrameScaler() : state_(std::make_unique<State>()) {}
FrameScaler::~FrameScaler() = default;

QImage FrameScaler::upright(QVideoFrame frame, QSize box) {
    if (!frame.isValid() || frame.width() < 1 || frame.height() < 1) return {};
    const int angle = static_cast<int>(frame.rotationAngle());
    const bool quarter = angle == 90 || angle == 270;
    const QSize shown = quarter ? frame.size().transposed() : frame.size();
    QSize fitted = box.isEmpty() ? shown : shown.scaled(box, Qt::KeepAspectRatio);
    if (fitted.width() > shown.width() || fitted.height() > shown.height()) fitted = shown;
    fitted = fitted.expandedTo(QSize(1, 1));
    const QSize target = quarter ? fitted.transposed() : fitted;

    QImage image;
    const std::optional<Layout> layout = layoutOf(frame.pixelFormat());
    if (layout) {
        MappedFrame mapped(frame);
        if (!mapped) return {};
        std::array<const std::uint8_t*, 4> planes{};
        std::array<int, 4> strides{};
        for (int i = 0; i < frame.planeCount() && i < 4; ++i) {
            planes[static_cast<std::size_t>(i)] = frame.bits(i);
            strides[static_cast<std::size_t>(i)] = frame.bytesPerLine(i);
        }
        if (layout->swapChroma) {
            std::swap(planes[1], planes[2]);
            std::swap(strides[1], strides[2]);
        }
        state_->context =
            sws_getCachedContext(state_->context, frame.width(), frame.height(), layout->format, target.width(),
                                 target.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!state_->context) return {};
        if (isYUV(layout->format)) {
            const QVideoFrameFormat format = frame.surfaceFormat();
            const int* coefficients = sws_getCoefficients(swsColorSpace(format.colorSpace(), frame.height()));
            const int sourceRange = format.colorRange() == QVideoFrameFormat::ColorRange_Full ? 1 : 0;
            sws_setColorspaceDetails(state_->context, coefficients, sourceRange, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                     0, 1 << 16, 1 << 16);
        }
        // BGRA in memory is QImage's 32-bit RGB on a little-endian machine; video is opaque.
        static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
        image = QImage(target, QImage::Format_RGB32);
        if (image.isNull()) return {};
        std::array<std::uint8_t*, 4> out{image.bits(), nullptr, nullptr, nullptr};
        std::array<int, 4> outStrides{static_cast<int>(image.bytesPerLine()), 0, 0, 0};
        if (sws_scale(state_->context, planes.data(), strides.data(), 0, frame.height(), out.data(),
                      outStrides.data()) <= 0)
            return {};
        if (frame.surfaceFormat().scanLineDirection() == QVideoFrameFormat::BottomToTop) image.mirror(false, true);
    } else {
        // A format swscale is not told about: Qt's own conversion, which already turns the frame.
        image = frame.toImage();
        if (image.isNull()) return {};
        return image.size() == fitted ? image : image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (angle != 0 || frame.mirrored()) {
        QTransform turn;
        turn.rotate(angle);  // clockwise on screen
        image = image.transformed(turn);
        if (frame.mirrored()) image.mirror(true, false);
    }
    return image;
}

}  // namespace sorvik::app
