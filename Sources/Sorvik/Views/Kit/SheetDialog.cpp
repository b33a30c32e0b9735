#include "Sorvik/Views/Kit/SheetDialog.hpp"

#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Sorvik/Views/Kit/Logic/ScreenFit.hpp"
#include "Sorvik/Views/Kit/ModalFront.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"

namespace sorvik::app {

SheetDialog::SheetDialog(QWidget* parent, QWidget* content, std::function<void()> dismissed)
    : QDialog(parent), content_(content), layout_(new QVBoxLayout(this)), dismissed_(std::move(dismissed)) {
    setWindowModality(Qt::WindowModal);
    setWindowTitle(parent ? parent->window()->windowTitle() : QString());
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSizeConstraint(QLayout::SetFixedSize);
    if (content_) {
        content_->setParent(this);
        layout_->addWidget(content_);
    }
}

void SheetDialog::fitInto(const QSize& room) {
    if (!content_) return;
    // A sheet drawn at a fixed size keeps that size to return to on a larger screen.
    const bool fixed = content_->minimumSize() == content_->maximumSize();
    if (fixed && !drawnSize_) drawnSize_ = content_->minimumSize();
    const QSize wanted = drawnSize_ ? *drawnSize_ : content_->sizeHint();
    const bool fits = !fitIntoRoom(wanted, room, kSlimBarWidth).scrolls;
    // Content whose own layout gives way (a list that scrolls) is only made smaller.
    const QSize least = content_->minimumSizeHint();
    const bool givesWay = drawnSize_ && least.width() <= room.width() && least.height() <= room.height();
    if (fits || givesWay) {
        if (frame_) {
            QScrollArea* frame = std::exchange(frame_, nullptr);
            frame->takeWidget();
            layout_->removeWidget(frame);
            content_->setParent(this);
            layout_->addWidget(content_);
            content_->show();
            frame->deleteLater();
        }
        if (drawnSize_) content_->setFixedSize(drawnSize_->boundedTo(room));
        return;
    }
    if (drawnSize_) content_->setFixedSize(*drawnSize_);
    if (!frame_) {
        frame_ = new QScrollArea(this);
        frame_->setFrameShape(QFrame::NoFrame);
        makeSlim(frame_->verticalScrollBar());
        makeSlim(frame_->horizontalScrollBar());
        layout_->removeWidget(content_);
        content_->resize(wanted);
        frame_->setWidget(content_);
        layout_->addWidget(frame_);
    }
    frame_->setFixedSize(fitIntoRoom(wanted, room, kSlimBarWidth).size);
}

std::optional<QSize> roomOnScreen(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return std::nullopt;
    const QRect outer = window->frameGeometry(), inner = window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    return windowRoom(screen->availableGeometry(), frame);
}

void SheetDialog::setVisible(bool visible) {
    // Fitted before the dialog is placed over its window, so that it is placed at its fitted size.
    // The parent window's frame stands for the one the window manager gives this dialog.
    if (visible && !isVisible()) {
        if (const std::optional<QSize> room = roomOnScreen(parentWidget() ? parentWidget()->window() : this)) {
            fitInto(*room);
            layout_->activate();
        }
    }
    // The control a sheet names as its first (its focus proxy) has the keyboard, and shows it.
    if (visible && !isVisible() && content_ && content_->focusProxy() && content_->focusProxy()->isEnabled()) {
        noteFocusReason(content_->focusProxy(), Qt::TabFocusReason);
        content_->focusProxy()->setFocus(Qt::TabFocusReason);
    }
    QDialog::setVisible(visible);
    // A sheet takes the keyboard when it opens, over a sheet it stands on too.
    if (visible) ModalFront::bringToFront(this);
}

void SheetDialog::closeQuietly() {
    if (closing_) return;
    closing_ = true;
    hide();
    deleteLater();
}

void SheetDialog::reject() {
    if (closing_) return;
    // The store closes the sheet; its change closes this dialog through closeQuietly().
    if (dismissed_) dismissed_();
    if (!closing_) closeQuietly();
}

}  // namespace sorvik::app
