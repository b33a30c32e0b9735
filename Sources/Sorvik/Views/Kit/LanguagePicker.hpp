#pragma once
// The interface-language choice of the sidebar and the settings window.
#include <QWidget>

#include "Sorvik/Stores/Preferences.hpp"

class QComboBox;

namespace sorvik::app {

class ToneLabel;

class LanguagePicker : public QWidget {
    Q_OBJECT
public:
    /// `pixelSize`: the font of the label and the menu.
    LanguagePicker(Preferences& preferences, qreal pixelSize, QWidget* parent = nullptr);
    /// The values stored, in menu order.
    static const QStringList& values();

private:
    void retranslate();

    Preferences& preferences_;
    ToneLabel* label_;
    QComboBox* combo_;
};

/// A combo box that writes one preference value per entry.
QComboBox* preferenceCombo(QWidget* parent, qreal pixelSize);

}  // namespace sorvik::app
