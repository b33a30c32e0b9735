#include "Sorvik/Views/FileDetail/VideoFrames.hpp"

#include <QTransform>
#include <optional>

#include "SorvikCore/Models.hpp"
#include "SorvikCore/PictureScaler.hpp"

namespace sorvik::app {

namespace {

using media::PictureLayout;

struct Layout {
    PictureLayout layout = PictureLayout::yuv420p;
    bool swapChroma = false;  // YV12 stores V before U
};

std::optional<Layout> layoutOf(QVideoFrameFormat::PixelFormat format) {
    using F = QVideoFrameFormat;
    using L = PictureLayout;
    switch (format) {
        case F::Format_YUV420P: return Layout{L::yuv420p};
        case F::Format_YV12: return Layout{L::yuv420p, true};
        case F::Format_YUV422P: return Layout{L::yuv422p};
        case F::Format_NV12: return Layout{L::nv12};
        case F::Format_NV21: return Layout{L::nv21};
        case F::Format_UYVY: return Layout{L::uyvy};
        case F::Format_YUYV: return Layout{L::yuyv};
        case F::Format_P010: return Layout{L::p010};
        case F::Format_P016: return Layout{L::p016};
        case F::Format_YUV420P10: return Layout{L::yuv420p10};
        case F::Format_Y8: return Layout{L::gray8};
        case F::Format_Y16: return Layout{L::gray16};
        // Qt names packed formats by their byte order in memory, as the scaler does.
        case F::Format_ARGB8888:
        case F::Format_ARGB8888_Premultiplied: return Layout{L::argb};
        case F::Format_XRGB8888: return Layout{L::xrgb};
        case F::Format_BGRA8888:
        case F::Format_BGRA8888_Premultiplied: return Layout{L::bgra};
        case F::Format_BGRX8888: return Layout{L::bgrx};
        case F::Format_ABGR8888: return Layout{L::abgr};
        case F::Format_XBGR8888: return Layout{L::xbgr};
        case F::Format_RGBA8888: return Layout{L::rgba};
        case F::Format_RGBX8888: return Layout{L::rgbx};
        default: return std::nullopt;
    }
}

media::PictureColors colorsOf(QVideoFrameFormat::ColorSpace space) {
    switch (space) {
        case QVideoFrameFormat::ColorSpace_BT601: return media::PictureColors::bt601;
        case QVideoFrameFormat::ColorSpace_BT709: return media::PictureColors::bt709;
        case QVideoFrameFormat::ColorSpace_BT2020: return media::PictureColors::bt2020;
        default: return media::PictureColors::guess;
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
    media::PictureScaler scaler;
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
    std::optional<Layout> layout = layoutOf(frame.pixelFormat());
    if (layout) {
        MappedFrame mapped(frame);
        if (!mapped) return {};
        media::Picture picture;
        picture.layout = layout->layout;
        picture.width = frame.width();
        picture.height = frame.height();
        for (int i = 0; i < frame.planeCount() && i < 4; ++i) {
            picture.planes[static_cast<std::size_t>(i)] = frame.bits(i);
            picture.strides[static_cast<std::size_t>(i)] = frame.bytesPerLine(i);
        }
        if (layout->swapChroma) {
            std::swap(picture.planes[1], picture.planes[2]);
            std::swap(picture.strides[1], picture.strides[2]);
        }
        const QVideoFrameFormat format = frame.surfaceFormat();
        picture.colors = colorsOf(format.colorSpace());
        picture.fullRange = format.colorRange() == QVideoFrameFormat::ColorRange_Full;
        // BGRA in memory is QImage's 32-bit RGB on a little-endian machine; video is opaque.
        static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
        image = QImage(target, QImage::Format_RGB32);
        if (image.isNull()) return {};
        try {
            if (!state_->scaler.toBGRA(picture, target.width(), target.height(), image.bits(),
                                       static_cast<int>(image.bytesPerLine())))
                return {};
            if (format.scanLineDirection() == QVideoFrameFormat::BottomToTop) image.mirror(false, true);
        } catch (const SorvikError&) {
            layout.reset();  // no media module: Qt's own conversion below
        }
    }
    if (!layout) {
        // A format the scaler is not told about: Qt's own conversion, which already turns the frame.
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
