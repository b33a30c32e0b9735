#pragma once
// The settings window's content: brand and version, language, appearance, reveal after export,
// and the library actions.
#include <QWidget>
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"

class QComboBox;

namespace sorvik::app {

class ToneLabel;
class StyledButton;
class ToggleSwitch;

class SettingsView : public QWidget {
    Q_OBJECT
public:
    /// `showMainWindow` brings the main window forward, where the sources sheet is shown.
    SettingsView(AppStore& store, std::function<void()> showMainWindow, QWidget* parent = nullptr);
    ToggleSwitch* revealSwitch() const { return reveal_; }
    StyledButton* sampleButton() const { return sample_; }
    StyledButton* openLibraryButton() const { return openLibrary_; }

private:
    void retranslate();
    void refresh();

    AppStore& store_;
    std::function<void()> showMainWindow_;
    ToneLabel* version_;
    ToneLabel* tagline_;
    ToneLabel* appearanceLabel_;
    QComboBox* appearance_;
    ToneLabel* revealLabel_;
    ToggleSwitch* reveal_;
    ToneLabel* libraryHeader_;
    ToneLabel* libraryNote_;
    StyledButton* manageSources_;
    StyledButton* openLibrary_;
    StyledButton* sample_;
};

}  // namespace sorvik::app
