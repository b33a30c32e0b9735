#pragma once
// Previews of files for every card and list: an image's picture with its cover crop, a video's
// first frame, or the paper glyph. Pictures are decoded off the GUI thread on a small pool of their
// own and cached; views paint what is ready and repaint when `pictureReady` says more is.
#include <QImage>
#include <QObject>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>

#include "SorvikCore/Models.hpp"

class QPainter;

namespace sorvik::app {

class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    explicit ThumbnailLoader(QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    /// The picture of the file for a frame of `pixelSize` device pixels: ready from the cache, or
    /// null while it loads (a load starts) and for files without a picture.
    QImage picture(const DeliveryFile& file, const std::optional<std::filesystem::path>& location, QSize pixelSize);

signals:
    /// A picture for this load key is ready: repaint what shows it.
    void pictureReady(const QString& key);

private:
    struct State;
    std::unique_ptr<State> state_;
};

/// Draws the preview of a file filling `rect`: the faint background, then the picture (scaled to
/// fill, clipped) or the paper glyph labelled with the upper-case extension.
void paintFileThumbnail(QPainter& painter, const QRectF& rect, const DeliveryFile& file,
                        const std::optional<std::filesystem::path>& location, ThumbnailLoader& loader);

/// The paper glyph: a tilted sheet with a few text lines and `label`, 84 by 106, centred in `rect`.
void paintPaperGlyph(QPainter& painter, const QRectF& rect, const QString& label);

/// One preview as a widget, for places that show a single file.
class FileThumbnail : public QWidget {
    Q_OBJECT
public:
    FileThumbnail(ThumbnailLoader& loader, QWidget* parent = nullptr);
    void setFile(const DeliveryFile& file, const std::optional<std::filesystem::path>& location);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ThumbnailLoader& loader_;
    std::optional<DeliveryFile> file_;
    std::optional<std::filesystem::path> location_;
};

}  // namespace sorvik::app
