#include "Sorvik/Views/Window/WindowDropTarget.hpp"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHostInfo>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Window/Logic/DropLogic.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

constexpr int overlayMargin = 16;
const QString uriListType = QStringLiteral("text/uri-list");

/// The local paths a drag carries, with their bytes as the sender wrote them.
std::vector<std::filesystem::path> draggedPaths(const QMimeData* data) {
    if (!data || !data->hasFormat(uriListType)) return {};
    return localFilePaths(data->data(uriListType), QHostInfo::localHostName().toUtf8());
}

}  // namespace

// DropOverlay ---------------------------------------------------------------------------------------

DropOverlay::DropOverlay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
    retranslate();
}

void DropOverlay::retranslate() {
    title_ = Lq("连接来源，让素材自己归位。");
    text_ = Lq("文件夹将加入索引；文件将作为原件引用");
    update();
}

void DropOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette palette = QApplication::palette();
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(card, corner::dropTarget, corner::dropTarget);
    // A translucent material: the window's colour over what lies below, which only shows faintly.
    painter.fillPath(path, Theme::withAlpha(palette.color(QPalette::Window), 0.95));
    painter.setPen(QPen(Theme::line(palette), 1));
    painter.drawPath(path);
    const QColor green = Theme::green(palette);
    QPen dashed(green, 2);
    dashed.setDashPattern({7.0 / 2, 5.0 / 2});  // in pen widths: 7 on, 5 off
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(card.adjusted(12, 12, -12, -12), corner::panel, corner::panel);

    const QFont titleFont = Theme::font(type::title3);
    const QFont textFont = Theme::font(type::callout);
    const qreal symbol = 42, gap = 16;
    const qreal titleHeight = QFontMetricsF(titleFont).height();
    const qreal textHeight = QFontMetricsF(textFont).height();
    const qreal total = symbol + gap + titleHeight + gap + textHeight;
    qreal y = card.center().y() - total / 2;
    Icons::paint(painter, QStringLiteral("folder.badge.plus"),
                 QRectF(card.center().x() - symbol / 2, y, symbol, symbol), green);
    y += symbol + gap;
    painter.setPen(green);
    painter.setFont(titleFont);
    painter.drawText(QRectF(card.left() + 24, y, card.width() - 48, titleHeight), Qt::AlignCenter, title_);
    y += titleHeight + gap;
    painter.setPen(Theme::secondaryText(palette));
    painter.setFont(textFont);
    painter.drawText(QRectF(card.left() + 24, y, card.width() - 48, textHeight), Qt::AlignCenter, text_);
}

// WindowDropTarget --------------------------------------------------------------------------------------

WindowDropTarget::WindowDropTarget(AppStore& store, QWidget* window)
    : QObject(window), store_(store), window_(window), overlay_(new DropOverlay(window)) {
    window_->setAcceptDrops(true);
    window_->installEventFilter(this);
    connect(&store_.preferences(), &Preferences::languageChanged, overlay_, &DropOverlay::retranslate);
}

void WindowDropTarget::setTargeted(bool targeted) {
    if (targeted) {
        overlay_->setGeometry(window_->rect().adjusted(overlayMargin, overlayMargin, -overlayMargin, -overlayMargin));
        overlay_->raise();
    }
    overlay_->setVisible(targeted);
}

bool WindowDropTarget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    switch (event->type()) {
        case QEvent::DragEnter: {
            // A drag of local files is followed while it hovers; whether it may drop is decided
            // at every move, as the store's state may change meanwhile.
            auto* drag = static_cast<QDragEnterEvent*>(event);
            if (draggedPaths(drag->mimeData()).empty() || !dropAction(drag->possibleActions())) {
                drag->ignore();
                return true;
            }
            drag->setDropAction(*dropAction(drag->possibleActions()));
            drag->accept();
            setTargeted(!dropRefused(store_));
            return true;
        }
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            const std::optional<Qt::DropAction> action = dropAction(drag->possibleActions());
            const bool allowed = action && !dropRefused(store_);
            if (allowed) {
                drag->setDropAction(*action);
                drag->accept();
            } else {
                drag->ignore();
            }
            setTargeted(allowed);
            return true;
        }
        case QEvent::DragLeave: setTargeted(false); return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            setTargeted(false);
            const std::optional<Qt::DropAction> action = dropAction(drop->possibleActions());
            const std::vector<std::filesystem::path> paths = draggedPaths(drop->mimeData());
            if (!action || paths.empty() || dropRefused(store_)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(*action);
            drop->accept();
            store_.importURLs(paths);
            return true;
        }
        case QEvent::Resize:
            if (overlay_->isVisible()) setTargeted(true);
            return false;
        default: return false;
    }
}

}  // namespace sorvik::app
