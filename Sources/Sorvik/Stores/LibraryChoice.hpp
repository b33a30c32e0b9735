#pragma once
// Which library folder the app opens: the first "--data-dir" value, else SORVIK_DATA_DIR, else
// the default folder. Decided once at start, from the raw argument bytes.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sorvik {
class LibraryGuard;
}

namespace sorvik::app {

class LibraryPreload;

struct LibraryChoice {
    /// The absolute library folder; absent when the choice names no usable folder.
    std::optional<std::filesystem::path> folder;
    /// Why there is no folder: a finished message.
    std::string failure;
    /// Why this process may not write the folder (no lock on it could be had): a finished message.
    /// The library is then read, but opened in recovery mode.
    std::string lockFailure = {};
    /// False when the folder's file system did not answer at start: it is neither read nor written.
    bool answers = true;
    /// The folder's files being read already (start-up); none reads them when the store starts.
    std::shared_ptr<LibraryPreload> preload = {};
    /// The folder the library's lock is held on, through which it is written; none: the store
    /// opens the folder itself.
    std::shared_ptr<LibraryGuard> guard = {};
};

/// `arguments` are the process arguments after the program name; `environment` the value of
/// SORVIK_DATA_DIR when the variable is set (even empty). A relative choice is made absolute
/// against `workingDirectory`; an empty one is refused, never taken as the current folder.
LibraryChoice chooseLibrary(const std::vector<std::string>& arguments, const std::optional<std::string>& environment,
                            const std::filesystem::path& defaultFolder, const std::filesystem::path& workingDirectory);

/// chooseLibrary on this process's environment, default folder and working directory.
LibraryChoice chooseLibrary(const std::vector<std::string>& arguments);

}  // namespace sorvik::app
