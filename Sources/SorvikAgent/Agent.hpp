#pragma once
// Shared pieces of the agent's commands: output, identifiers and the failure path.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Repository.hpp"

namespace sorvik::agent {

enum class Command { usage, verify, projects, project, prepare, invalid };

/// What one run of the agent is asked to do.
struct Invocation {
    std::filesystem::path library;  // absolute
    Command command = Command::usage;
    std::vector<std::string> args;  // the command word first
};

/// The argument grammar: "--data-dir PATH" only in first place, then the command word and
/// its exact argument count. Pure; an unknown command is `invalid` (reported after the
/// library test, which comes first).
Invocation parseArguments(std::vector<std::string> args, const std::filesystem::path& defaultLibrary);

/// Pretty JSON with sorted keys on the standard output, then a line feed.
/// An encoding failure or a failed write throws before or instead of success.
void emit(const Json& value);
/// A text written whole on the standard output, as emit writes its JSON.
void emitText(std::string_view text);

/// The UUID the text spells, or "无效 UUID：" followed by the text.
UUID uuid(std::string_view text);

/// The live project with that identifier, or "项目不存在或已删除".
const Delivery* liveProject(const std::vector<Delivery>& projects, const UUID& id);

/// Writes {"message":…,"status":"error"} to the standard error and exits with status 1.
[[noreturn]] void fail(std::string_view message);

/// `prepare PROJECT_UUID ASSET_UUID[,ASSET_UUID] DESTINATION`.
void prepare(const Repository& repository, const WorkspaceState& workspace, const std::vector<std::string>& args);
/// `verify MANIFEST [SHA256]`.
void verify(const std::vector<std::string>& args);

}  // namespace sorvik::agent
