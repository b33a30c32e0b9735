#pragma once
// The store's seams on the desktop: Qt's file chooser, the question before quitting unsaved, the
// clipboard, the file manager over D-Bus or xdg-open, the system tray and the system clock.
#include <QPointer>
#include <QWidget>

#include "Sorvik/Stores/Platform.hpp"

namespace sorvik::app {

class QtPlatform : public Platform {
public:
    /// Choosers are modal to `window` when it is set.
    void setWindow(QWidget* window) { window_ = window; }

    std::vector<std::filesystem::path> choose(const ChooserRequest& request) override;
    void copyText(const std::string& text) override;
    void reveal(const std::filesystem::path& path, std::function<void()> unopened) override;
    void open(const std::filesystem::path& path, std::function<void()> unopened) override;
    UnsavedQuitChoice askUnsavedQuit(const UnsavedQuitRequest& request) override;
    Date now() override;
    /// Whether the desktop shows tray icons; without one the app cannot run with no window.
    virtual bool hasSystemTray();

private:
    QPointer<QWidget> window_;
};

/// A path as Qt text and back, keeping the file system's bytes.
QString pathText(const std::filesystem::path& path);
std::filesystem::path pathFromText(const QString& text);

}  // namespace sorvik::app
