#pragma once
// The project reference an AI tool is given: the project, a ready query command for the agent and
// how to prepare and verify a hand-off package. Always Chinese.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

/// The path quoted for a POSIX shell: inside single quotes, each ' written as '"'"'.
std::string shellQuoted(std::string_view path);

/// The text put on the clipboard. Line breaks and other control characters in the project's name
/// are written as spaces, so a name can never add a line of its own to the command text.
std::string agentReferenceText(const Delivery& project, const std::optional<UUID>& fileID,
                               const std::filesystem::path& agent, const std::filesystem::path& library);

}  // namespace sorvik::app
