#include "Sorvik/Views/Kit/SheetDialog.hpp"

#include <QVBoxLayout>

namespace sorvik::app {

SheetDialog::SheetDialog(QWidget* parent, QWidget* content, std::function<void()> dismissed)
    : QDialog(parent), content_(content), dismissed_(std::move(dismissed)) {
    setWindowModality(Qt::WindowModal);
    setWindowTitle(parent ? parent->window()->windowTitle() : QString());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (content_) {
        content_->setParent(this);
        layout->addWidget(content_);
    }
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
