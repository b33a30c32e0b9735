#pragma once
// The store's seams to the desktop: choosers, clipboard, the file manager and the clock. The app
// gives the store real ones; tests give it fakes and drive everything without a display.
#include <filesystem>
#include <string>
#include <vector>

#include "SorvikCore/Json.hpp"

namespace sorvik::app {

/// A modal open panel: title, button text and message are already translated.
struct ChooserRequest {
    enum class Kind { files, folders };
    Kind kind = Kind::folders;
    std::string title;
    std::string prompt;
    std::string message;
    bool multiple = false;
    bool canCreateFolders = false;

    friend bool operator==(const ChooserRequest&, const ChooserRequest&) = default;
};

class Platform {
public:
    virtual ~Platform() = default;

    /// Runs a modal chooser (a nested event loop); the chosen paths, empty when cancelled.
    virtual std::vector<std::filesystem::path> choose(const ChooserRequest& request) = 0;
    /// Replaces the clipboard's content with plain text.
    virtual void copyText(const std::string& text) = 0;
    /// Shows the item selected in the file manager.
    virtual void reveal(const std::filesystem::path& path) = 0;
    /// Opens the item with its default application (a folder in the file manager).
    virtual void open(const std::filesystem::path& path) = 0;
    /// The current time.
    virtual Date now() = 0;
};

}  // namespace sorvik::app
