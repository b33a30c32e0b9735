#include "SorvikAgent/Agent.hpp"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

#include "SorvikCore/FileSystem.hpp"

namespace sorvik::agent {

namespace {
void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw files::systemError(errno, fd == STDOUT_FILENO ? "standard output" : "standard error",
                                     "cannot write to");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}
}  // namespace

Invocation parseArguments(std::vector<std::string> args, const std::filesystem::path& defaultLibrary) {
    Invocation invocation;
    invocation.library = defaultLibrary;
    if (args.size() >= 2 && args[0] == "--data-dir") {
        // Relative paths count from the current folder; an empty one names that folder. The
        // path is not standardized as text: "LINK/.." is the folder the kernel finds there.
        std::error_code ec;
        const std::filesystem::path given =
            args[1].empty() ? std::filesystem::path(".") : std::filesystem::path(args[1]);
        invocation.library = std::filesystem::absolute(given, ec);
        if (ec) invocation.library = given;
        args.erase(args.begin(), args.begin() + 2);
    }
    invocation.args = std::move(args);
    const auto& a = invocation.args;
    if (a.empty()) invocation.command = Command::usage;
    else if (a[0] == "verify" && (a.size() == 2 || a.size() == 3)) invocation.command = Command::verify;
    else if (a[0] == "projects" && a.size() == 1) invocation.command = Command::projects;
    else if (a[0] == "project" && a.size() == 2) invocation.command = Command::project;
    else if (a[0] == "prepare" && a.size() == 4) invocation.command = Command::prepare;
    else invocation.command = Command::invalid;
    return invocation;
}

void emit(const Json& value) {
    std::string text = json::dumpPretty(value);
    text += '\n';
    writeAll(STDOUT_FILENO, text);
}

void emitText(std::string_view text) { writeAll(STDOUT_FILENO, text); }

UUID uuid(std::string_view text) {
    if (auto id = UUID::parse(text)) return *id;
    throw SorvikError::message("无效 UUID：" + std::string(text));
}

const Delivery* liveProject(const std::vector<Delivery>& projects, const UUID& id) {
    for (const auto& project : projects)
        if (project.id == id) return &project;
    throw SorvikError::message("项目不存在或已删除");
}

void fail(std::string_view message) {
    std::string line;
    try {
        Json error = Json::object();
        error["message"] = std::string(message);
        error["status"] = "error";
        // Invalid UTF-8 (a raw path byte) is replaced, so the object always parses.
        line = error.dump(-1, ' ', false, Json::error_handler_t::replace);
    } catch (...) {
        line = "error";
    }
    line += '\n';
    try {
        writeAll(STDERR_FILENO, line);
    } catch (...) {
    }
    std::_Exit(1);
}

}  // namespace sorvik::agent
