#pragma once
// The window-modal dialog a sheet is shown in. The store decides which sheet is up; the dialog only
// reports that the person closed it (Escape or the window's close button). On a screen too small
// for the sheet, its content scrolls in a frame cut to the screen.
#include <QDialog>
#include <functional>
#include <optional>

class QScrollArea;
class QVBoxLayout;

namespace sorvik::app {

/// The room a window like `window` has on its screen, inside the frame `window` has; none off screen.
std::optional<QSize> roomOnScreen(const QWidget* window);

class SheetDialog : public QDialog {
    Q_OBJECT
public:
    /// `dismissed` runs when the person closes the dialog, never when closeQuietly() does.
    SheetDialog(QWidget* parent, QWidget* content, std::function<void()> dismissed);
    QWidget* content() const { return content_; }
    /// Hides and deletes the dialog without reporting a dismissal.
    void closeQuietly();
    /// Fits the content into this much room: as it is where it fits; else made smaller where its
    /// layout allows (a sheet whose list scrolls); else in a scrolling frame.
    /// Done whenever it is shown, for the room on the parent window's screen.
    void fitInto(const QSize& room);
    /// The scrolling frame the content is in, or none while it fits.
    QScrollArea* scrollFrame() const { return frame_; }

    void setVisible(bool visible) override;

public slots:
    void reject() override;

private:
    QWidget* content_;
    QVBoxLayout* layout_;
    QScrollArea* frame_ = nullptr;
    std::optional<QSize> drawnSize_;
    std::function<void()> dismissed_;
    bool closing_ = false;
};

}  // namespace sorvik::app
