#pragma once
// Frames of the player turned into pictures off the GUI thread: colour conversion and scaling in
// one pass of the media module's scaler, then the frame's rotation and mirroring, so a portrait
// clip stands upright.
#include <QImage>
#include <QSize>
#include <QVideoFrame>
#include <memory>

namespace sorvik::app {

/// A scaler kept from one frame to the next; used by one thread at a time.
class FrameScaler {
public:
    FrameScaler();
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    /// The frame upright (rotation and mirroring applied), fitted into `box` device pixels with
    /// the aspect kept (never enlarged; the frame's own size when `box` is empty). Null when the
    /// frame cannot be read.
    QImage upright(QVideoFrame frame, QSize box);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sorvik::app
