#include "Sorvik/Views/Kit/ModalFront.hpp"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace sorvik::app {

ModalFront::ModalFront(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

QWidget* ModalFront::blockerOf(const QWidget* window) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !window || modal == window || !modal->isVisible()) return nullptr;
    if (modal->windowModality() == Qt::ApplicationModal) return modal;
    // A window-modal dialog blocks the windows it stands on, all the way down.
    for (QWidget* below = modal->parentWidget(); below; below = below->window()->parentWidget()) {
        if (below->window() == window) return modal;
    }
    return nullptr;
}

void ModalFront::bringToFront(QWidget* dialog) {
    dialog->raise();
    dialog->activateWindow();
}

bool ModalFront::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::WindowActivate || !watched->isWidgetType()) return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow()) return false;
    if (QWidget* blocker = blockerOf(window)) {
        // After the activation is done with: activating another window inside it is undone by it.
        QTimer::singleShot(0, blocker, [blocker = QPointer<QWidget>(blocker)] {
            if (blocker && blocker->isVisible() && !blocker->isActiveWindow()) bringToFront(blocker);
        });
    }
    return false;
}

}  // namespace sorvik::app
