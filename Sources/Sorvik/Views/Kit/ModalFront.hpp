#pragma once
// Keeps what blocks a window in front of it: a window that a modal dialog blocks hands its
// activation to that dialog, so keys never go to a window that cannot take them. Window managers
// activate a window they have just mapped or that was clicked, whatever dialog stands over it.
#include <QObject>

class QWidget;

namespace sorvik::app {

class ModalFront : public QObject {
    Q_OBJECT
public:
    explicit ModalFront(QObject* parent = nullptr);
    /// The modal dialog that blocks `window` now, or none.
    static QWidget* blockerOf(const QWidget* window);
    /// Raises and activates `dialog`: it gets the keyboard.
    static void bringToFront(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace sorvik::app
