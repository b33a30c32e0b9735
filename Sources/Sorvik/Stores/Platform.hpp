#pragma once
// The store's seams to the desktop: choosers, clipboard, the file manager and the clock. The app
// gives the store real ones; tests give it fakes and drive everything without a display.
#include <filesystem>
#include <functional>
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
    /// What is chosen ("files", "export", "sources", "archive"): the chooser opens where the last
    /// one for the same purpose ended.
    std::string purpose;

    friend bool operator==(const ChooserRequest&, const ChooserRequest&) = default;
};

/// The question at quit when the library could not be saved; texts are already translated.
struct UnsavedQuitRequest {
    std::filesystem::path library;
    std::string title;
    std::string text;
    std::string detail;
    std::string retry;
    std::string quitWithoutSaving;

    friend bool operator==(const UnsavedQuitRequest&, const UnsavedQuitRequest&) = default;
};

enum class UnsavedQuitChoice { retry, quitWithoutSaving };

class Platform {
public:
    virtual ~Platform() = default;

    /// Runs a modal chooser (a nested event loop); the chosen paths, empty when cancelled.
    virtual std::vector<std::filesystem::path> choose(const ChooserRequest& request) = 0;
    /// Replaces the clipboard's content with plain text.
    virtual void copyText(const std::string& text) = 0;
    /// Shows the item selected in the file manager. `unopened` runs later on the calling thread when
    /// nothing answered: no file manager, and no program that opens its folder.
    virtual void reveal(const std::filesystem::path& path, std::function<void()> unopened) = 0;
    /// Opens the item with its default application (a folder in the file manager); `unopened` runs
    /// later on the calling thread when no program could open it.
    virtual void open(const std::filesystem::path& path, std::function<void()> unopened) = 0;
    /// Runs a modal question (a nested event loop): retry saving or quit without it.
    virtual UnsavedQuitChoice askUnsavedQuit(const UnsavedQuitRequest& request) = 0;
    /// The current time.
    virtual Date now() = 0;
};

}  // namespace sorvik::app
