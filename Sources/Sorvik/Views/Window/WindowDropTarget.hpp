#pragma once
// The main window's drop target: files and folders dropped anywhere on the window are linked
// (folders become sources). It takes local files only, answers with copy or link (the originals
// are never moved), refuses while a job runs, in recovery mode or while a sheet is up, and shows
// the overlay while an acceptable drag hovers.
#include <QObject>
#include <QWidget>

namespace sorvik::app {

class AppStore;

/// The card shown over the window while files hover.
class DropOverlay : public QWidget {
    Q_OBJECT
public:
    explicit DropOverlay(QWidget* parent = nullptr);
    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QString text_;
};

class WindowDropTarget : public QObject {
    Q_OBJECT
public:
    /// Watches `window` (which takes drops from now on) and puts the overlay over it.
    WindowDropTarget(AppStore& store, QWidget* window);
    DropOverlay* overlay() const { return overlay_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setTargeted(bool targeted);

    AppStore& store_;
    QWidget* window_;
    DropOverlay* overlay_;
};

}  // namespace sorvik::app
