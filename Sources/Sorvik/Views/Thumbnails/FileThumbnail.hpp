#pragma once
// Previews of files for every card and list: an image's picture with its cover crop, a video's
// first frame, or the paper glyph, painted from what `ThumbnailLoader` has ready.
#include <QImage>
#include <QWidget>
#include <filesystem>
#include <optional>

#include "Sorvik/Views/Thumbnails/ThumbnailLoader.hpp"
#include "SorvikCore/Models.hpp"

class QPainter;

namespace sorvik::app {

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
    QString key_;
    std::optional<DeliveryFile> file_;
    std::optional<std::filesystem::path> location_;
};

}  // namespace sorvik::app
