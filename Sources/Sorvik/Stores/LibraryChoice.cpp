#include "Sorvik/Stores/LibraryChoice.hpp"

#include <cstdlib>
#include <system_error>

#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;

namespace sorvik::app {

LibraryChoice chooseLibrary(const std::vector<std::string>& arguments, const std::optional<std::string>& environment,
                            const fs::path& defaultFolder, const fs::path& workingDirectory) {
    std::optional<std::string> chosen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--data-dir") continue;
        // Only the first "--data-dir" counts; one with nothing after it is ignored.
        if (i + 1 < arguments.size()) chosen = arguments[i + 1];
        break;
    }
    if (!chosen && environment) chosen = environment;
    if (!chosen) return {defaultFolder, {}};
    if (chosen->empty()) return {std::nullopt, "资料库位置为空"};
    if (chosen->find('\0') != std::string::npos) return {std::nullopt, "资料库位置无效"};
    fs::path folder(*chosen);
    // Made absolute, never normalised by text: "link/.." must mean what the kernel makes of it.
    if (folder.is_relative()) folder = workingDirectory / folder;
    return {folder, {}};
}

LibraryChoice chooseLibrary(const std::vector<std::string>& arguments) {
    std::optional<std::string> environment;
    if (const char* value = std::getenv("SORVIK_DATA_DIR")) environment = value;
    std::error_code error;
    fs::path cwd = fs::current_path(error);
    if (error) cwd = "/";
    return chooseLibrary(arguments, environment, defaultLibraryFolder(), cwd);
}

}  // namespace sorvik::app
