#include "Sorvik/Views/FileDetail/VideoPlayerView.hpp"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEvent>
#include <QHBoxLayout>
#include <QMediaDevices>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QUrl>

#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/FileDetail/VideoFrames.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr int barHeight = 38;

/// The bar under the controls: a dark veil, so white controls read on any frame.
class ControlBar : public QWidget {
public:
    explicit ControlBar(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 0, 0, 140));
    }
};

}  // namespace

VideoPlayerView::VideoPlayerView(const std::optional<std::filesystem::path>& location, QWidget* parent)
    : QWidget(parent), scaler_(std::make_shared<FrameScaler>()), jobs_(this) {
    setMinimumHeight(120);
    bar_ = new ControlBar(this);
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(space::panelPadding, 0, space::panelPadding, 0);
    row->setSpacing(space::item);
    play_ = new StyledButton(StyledButton::Style::plain, {}, bar_);
    play_->setSymbol(QStringLiteral("play.fill"), 14);
    play_->setTone(Tone::white);
    position_ = new QSlider(Qt::Horizontal, bar_);
    position_->setFocusPolicy(Qt::NoFocus);
    // Light on the dark veil in either appearance.
    position_->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { height: 4px; border-radius: 2px; background: rgba(255, 255, 255, 0.3); }"
        "QSlider::sub-page:horizontal { border-radius: 2px; background: rgba(255, 255, 255, 0.9); }"
        "QSlider::handle:horizontal { width: 12px; margin: -4px 0; border-radius: 6px; background: white; }"));
    time_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::white, bar_);
    time_->setFont(Theme::font(type::footnote));
    mute_ = new StyledButton(StyledButton::Style::plain, {}, bar_);
    mute_->setSymbol(QStringLiteral("speaker.wave.2.fill"), 14);
    mute_->setTone(Tone::white);
    row->addWidget(play_);
    row->addWidget(position_, 1);
    row->addWidget(time_);
    row->addWidget(mute_);

    if (location) {
        player_ = std::make_unique<QMediaPlayer>();
        sink_ = std::make_unique<QVideoSink>();
        player_->setVideoSink(sink_.get());
        // Only with a device to play on: without one some back ends fail.
        if (!QMediaDevices::audioOutputs().isEmpty()) {
            audio_ = std::make_unique<QAudioOutput>();
            player_->setAudioOutput(audio_.get());
        }
        connect(sink_.get(), &QVideoSink::videoFrameChanged, this, &VideoPlayerView::frameArrived);
        connect(player_.get(), &QMediaPlayer::playbackStateChanged, this, [this] { refreshControls(); });
        connect(player_.get(), &QMediaPlayer::durationChanged, this, [this] { refreshControls(); });
        connect(player_.get(), &QMediaPlayer::positionChanged, this, [this] { refreshControls(); });
        connect(play_, &QAbstractButton::clicked, this, &VideoPlayerView::togglePlayback);
        connect(position_, &QSlider::sliderMoved, this, [this](int ms) { player_->setPosition(ms); });
        connect(position_, &QSlider::actionTriggered, this, [this](int action) {
            // Clicks on the track and keys move by steps; dragging is handled above.
            if (action != QAbstractSlider::SliderMove) player_->setPosition(position_->sliderPosition());
        });
        connect(mute_, &QAbstractButton::clicked, this, [this] {
            if (audio_) audio_->setMuted(!audio_->isMuted());
            refreshControls();
        });
        player_->setSource(QUrl::fromLocalFile(QString::fromStdString(location->string())));
        // Paused, not playing: the pipeline loads and shows the first frame; time stays at zero.
        player_->pause();
    }
    retranslate();
    refreshControls();
}

VideoPlayerView::~VideoPlayerView() {
    if (!player_) return;
    player_->stop();
    player_->setSource(QUrl());
    // The player goes before the outputs it refers to.
    player_.reset();
    sink_.reset();
    audio_.reset();
}

void VideoPlayerView::togglePlayback() {
    if (!player_) return;
    if (player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
    } else {
        player_->play();
    }
}

void VideoPlayerView::frameArrived(const QVideoFrame& frame) {
    if (!frame.isValid()) return;
    // The newest frame waits while one is converted; older waiting frames are dropped.
    waiting_ = frame;
    if (!converting_) convertNext();
}

void VideoPlayerView::convertNext() {
    if (!waiting_) return;
    converting_ = true;
    QVideoFrame frame = std::move(*waiting_);
    waiting_.reset();
    const QSize box = videoRect().size() * devicePixelRatioF();
    jobs_.run<QImage>(
        [scaler = scaler_, frame, box](std::stop_token) mutable { return scaler->upright(std::move(frame), box); },
        [this](std::optional<QImage> image, std::exception_ptr) {
            converting_ = false;
            if (image && !image->isNull()) {
                picture_ = std::move(*image);
                update(videoRect());
            }
            convertNext();
        });
}

QRect VideoPlayerView::videoRect() const { return rect(); }

void VideoPlayerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), corner::preview, corner::preview);
    painter.setClipPath(clip);
    painter.fillRect(rect(), Qt::black);
    if (picture_.isNull()) return;
    const QRectF area(videoRect());
    const QSizeF fitted = QSizeF(picture_.size()).scaled(area.size(), Qt::KeepAspectRatio);
    const QRectF target(area.center().x() - fitted.width() / 2, area.center().y() - fitted.height() / 2, fitted.width(),
                        fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture_);
}

void VideoPlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    bar_->setGeometry(0, height() - barHeight, width(), barHeight);
}

void VideoPlayerView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (player_ && player_->playbackState() == QMediaPlayer::PlayingState) player_->pause();
}

void VideoPlayerView::retranslate() {
    position_->setAccessibleName(Lq("播放位置"));
    refreshControls();
}

void VideoPlayerView::refreshControls() {
    const bool ready = player_ != nullptr;
    const bool playing = ready && player_->playbackState() == QMediaPlayer::PlayingState;
    play_->setEnabled(ready);
    play_->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), 14);
    play_->setAccessibleName(playing ? Lq("暂停") : Lq("播放"));
    play_->setToolTip(play_->accessibleName());
    const qint64 duration = ready ? std::max<qint64>(0, player_->duration()) : 0;
    const qint64 position = ready ? std::clamp<qint64>(player_->position(), 0, duration) : 0;
    position_->setEnabled(ready && duration > 0);
    position_->setRange(0, static_cast<int>(std::min<qint64>(duration, std::numeric_limits<int>::max())));
    if (!position_->isSliderDown()) position_->setValue(static_cast<int>(position));
    time_->setFullText(qs(shortTime(static_cast<double>(position) / 1000.0) + " / " +
                          shortTime(static_cast<double>(duration) / 1000.0)));
    mute_->setVisible(audio_ != nullptr);
    const bool muted = audio_ && audio_->isMuted();
    mute_->setSymbol(muted ? QStringLiteral("speaker.slash.fill") : QStringLiteral("speaker.wave.2.fill"), 14);
    mute_->setAccessibleName(muted ? Lq("取消静音") : Lq("静音"));
    mute_->setToolTip(mute_->accessibleName());
}

}  // namespace sorvik::app
