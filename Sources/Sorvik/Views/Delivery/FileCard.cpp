#include "Sorvik/Views/Delivery/FileCard.hpp"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Delivery/DeliveryLists.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr qreal previewInset = 10;
constexpr qreal previewHeight = 150;
constexpr qreal cardHeight = 226;

}  // namespace

FileCard::FileCard(AppStore& store, ThumbnailLoader& loader, QWidget* parent)
    : QAbstractButton(parent), store_(store), loader_(loader) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::clicked, this, &FileCard::activate);
    connect(&loader_, &ThumbnailLoader::pictureReady, this, [this] { update(); });
}

void FileCard::setCard(const FileCardInfo& card) {
    card_ = card;
    look_ = fileCardLook(card);
    // Without a location the preview draws what it can.
    location_ = card_.file ? fileLocation(*card_.file, store_.repository()) : std::nullopt;
    setEnabled(fileCardEnabled(card_, store_.isBusy(), store_.recoveryMode()));
    setAccessibleName(qs(look_.accessibleName));
    setToolTip(card_.file ? qs(card_.file->name) : QString());
    update();
}

QSize FileCard::sizeHint() const { return QSize(220, int(cardHeight)); }

QSize FileCard::minimumSizeHint() const { return QSize(150, int(cardHeight)); }

void FileCard::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    hovering_ = true;
    update();
}

void FileCard::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    hovering_ = false;
    update();
}

void FileCard::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) update();
}

void FileCard::activate() {
    // The state may have moved on since the card was drawn.
    if (store_.isBusy()) return;
    if (card_.file) {
        store_.setSheet(AppSheet::file(card_.file->id));
    } else if (!store_.recoveryMode()) {
        store_.chooseFiles();
    }
}

void FileCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    const bool hover = hovering_ && isEnabled();
    if (!isEnabled()) painter.setOpacity(0.55);

    // The surface.
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath surface;
    surface.addRoundedRect(bounds, corner::fileCard, corner::fileCard);
    painter.fillPath(surface, Theme::withAlpha(Theme::surface(palette), hover ? 1.0 : 0.65));
    painter.setPen(QPen(hover ? Theme::withAlpha(Theme::green(palette), 0.25) : Theme::line(palette), 1));
    painter.drawPath(surface);
    if (hasKeyboardFocus(this)) {
        painter.setPen(QPen(Theme::withAlpha(Theme::green(palette), 0.55), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), corner::fileCard - 1, corner::fileCard - 1);
    }

    // The preview.
    const QRectF preview(previewInset, previewInset, width() - 2 * previewInset, previewHeight);
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(preview, corner::control, corner::control);
    painter.setClipPath(clip);
    if (card_.file) {
        paintFileThumbnail(painter, preview, *card_.file, location_, loader_);
        if (look_.duration) {
            const QFont font = Theme::font(type::caption, QFont::Medium);
            const QFontMetricsF metrics(font);
            const QString text = qs(*look_.duration);
            const QSizeF badge(metrics.horizontalAdvance(text) + 14, metrics.height() + 8);
            const QRectF box(preview.right() - 8 - badge.width(), preview.bottom() - 8 - badge.height(), badge.width(),
                             badge.height());
            QPainterPath pill;
            pill.addRoundedRect(box, corner::chip, corner::chip);
            painter.fillPath(pill, QColor(0, 0, 0, int(0.65 * 255)));
            painter.setPen(Qt::white);
            painter.setFont(font);
            painter.drawText(box, Qt::AlignCenter, text);
        }
    } else {
        const QColor tertiary = Theme::tertiaryText(palette);
        QFont font = Theme::font(type::caption);
        const QFontMetricsF metrics(font);
        const qreal symbol = 24;
        const qreal total = symbol + 9 + metrics.height();
        const qreal top = preview.center().y() - total / 2;
        Icons::paint(painter, QStringLiteral("plus"), QRectF(preview.center().x() - symbol / 2, top, symbol, symbol),
                     tertiary);
        painter.setPen(tertiary);
        painter.setFont(font);
        painter.drawText(QRectF(preview.left(), top + symbol + 9, preview.width(), metrics.height()), Qt::AlignHCenter,
                         metrics.elidedText(qs(look_.placeholder), Qt::ElideRight, preview.width() - 8));
    }
    painter.restore();

    // The info row: state symbol, then the title line and the name line.
    const qreal rowTop = previewInset + previewHeight + previewInset + 3;
    const qreal left = 12;
    const qreal symbolSize = 16;
    Icons::paint(painter, qs(look_.symbol), QRectF(left, rowTop + 1, symbolSize, symbolSize),
                 viewToneColor(look_.tone, palette, look_.opacity));
    const qreal textLeft = left + symbolSize + 8;
    const qreal textWidth = width() - 12 - textLeft;
    const QFont titleFont = Theme::font(type::body, QFont::Medium);
    const QFontMetricsF titleMetrics(titleFont);
    qreal x = textLeft;
    painter.setFont(titleFont);
    const QString number = qs(look_.number);
    painter.setPen(Theme::secondaryText(palette));
    painter.drawText(QPointF(x, rowTop + titleMetrics.ascent()), number);
    x += titleMetrics.horizontalAdvance(number) + 5;
    painter.setPen(Theme::primaryText(palette));
    const QString role = qs(look_.role);
    painter.drawText(QPointF(x, rowTop + titleMetrics.ascent()), role);
    x += titleMetrics.horizontalAdvance(role) + 5;
    if (look_.extra) {
        const QFont extraFont = Theme::font(type::caption);
        painter.setFont(extraFont);
        painter.setPen(Theme::secondaryText(palette));
        painter.drawText(QPointF(x, rowTop + titleMetrics.ascent()), qs(*look_.extra));
    }
    const QFont nameFont = Theme::font(type::caption);
    const QFontMetricsF nameMetrics(nameFont);
    painter.setFont(nameFont);
    painter.setPen(Theme::secondaryText(palette));
    const qreal nameTop = rowTop + titleMetrics.height() + 5;
    painter.drawText(QPointF(textLeft, nameTop + nameMetrics.ascent()),
                     nameMetrics.elidedText(qs(look_.name), Qt::ElideMiddle, std::max<qreal>(0, textWidth)));
}

}  // namespace sorvik::app
