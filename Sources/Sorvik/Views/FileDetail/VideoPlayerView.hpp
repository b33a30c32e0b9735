#pragma once
// The inline player of the file detail sheet: the video fitted on black with its rotation applied,
// and a small bar with play/pause, position, time and mute. It shows the first frame when it
// opens and never plays until the person presses play; closing it stops and releases the player.
#include <QImage>
#include <QMediaPlayer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>

#include "Sorvik/Support/DetachedJobs.hpp"

class QAudioOutput;
class QSlider;

namespace sorvik::app {

class FrameScaler;
class StyledButton;
class ToneLabel;

class VideoPlayerView : public QWidget {
    Q_OBJECT
public:
    /// Without a location there is no player: the view stays empty.
    explicit VideoPlayerView(const std::optional<std::filesystem::path>& location, QWidget* parent = nullptr);
    ~VideoPlayerView() override;

    /// The player; none without a location (tests).
    QMediaPlayer* player() const { return player_.get(); }
    /// The last frame shown, upright (tests).
    const QImage& picture() const { return picture_; }
    bool hasAudio() const { return audio_ != nullptr; }
    /// Play or pause, as the button does.
    void togglePlayback();
    /// Applies the interface language to the controls' names.
    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void frameArrived(const QVideoFrame& frame);
    void convertNext();
    void refreshControls();
    QRect videoRect() const;

    std::unique_ptr<QMediaPlayer> player_;
    std::unique_ptr<QVideoSink> sink_;
    std::unique_ptr<QAudioOutput> audio_;
    QWidget* bar_;
    StyledButton* play_;
    QSlider* position_;
    ToneLabel* time_;
    StyledButton* mute_;
    QImage picture_;
    // One frame is converted at a time; the newest one waits.
    std::shared_ptr<FrameScaler> scaler_;
    std::optional<QVideoFrame> waiting_;
    bool converting_ = false;
    DetachedJobs jobs_;
};

}  // namespace sorvik::app
