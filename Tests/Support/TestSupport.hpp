#pragma once
// Helpers for tests: temporary folders, files and running programs.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sorvik::test {

/// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& content);
std::string readFile(const std::filesystem::path& path);

struct ProcessResult {
    int status = -1;  // exit status, or -1 when killed by a signal
    std::string out;
    std::string err;
};

/// Runs a program with arguments and optional extra environment ("KEY=VALUE"), capturing both streams.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {},
                         const std::filesystem::path& workingDirectory = {});

/// Runs `work` on a thread without the capabilities that bypass file permissions, so
/// unreadable files and folders are unreadable even when the tests run as root.
void withoutPermissionOverride(const std::function<void()>& work);

/// Runs a shell command and fails the test when it does not exit 0.
void shell(const std::string& command);

/// Runs the built sorvik-agent.
ProcessResult runAgent(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
                       const std::filesystem::path& workingDirectory = {});

}  // namespace sorvik::test
