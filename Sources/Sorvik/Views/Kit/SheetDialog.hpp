#pragma once
// The window-modal dialog a sheet is shown in. The store decides which sheet is up; the dialog only
// reports that the person closed it (Escape or the window's close button).
#include <QDialog>
#include <functional>

namespace sorvik::app {

class SheetDialog : public QDialog {
    Q_OBJECT
public:
    /// `dismissed` runs when the person closes the dialog, never when closeQuietly() does.
    SheetDialog(QWidget* parent, QWidget* content, std::function<void()> dismissed);
    QWidget* content() const { return content_; }
    /// Hides and deletes the dialog without reporting a dismissal.
    void closeQuietly();

public slots:
    void reject() override;

private:
    QWidget* content_;
    std::function<void()> dismissed_;
    bool closing_ = false;
};

}  // namespace sorvik::app
