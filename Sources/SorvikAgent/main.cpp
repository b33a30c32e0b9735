// sorvik-agent: reads a Sorvik library folder and answers in JSON for AI tools.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "SorvikAgent/Agent.hpp"
#include "SorvikCore/Repository.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

constexpr const char* usage =
    "用法：sorvik-agent [--data-dir PATH] projects | project UUID | prepare PROJECT_UUID "
    "ASSET_UUID[,ASSET_UUID] DESTINATION | verify MANIFEST";
constexpr const char* invalidCommand = "命令或参数无效；使用 projects、project、prepare、verify";

/// Links are followed: a dangling link names no library.
bool libraryExists(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

Json summary(const ProjectSummary& project) {
    Json j = Json::object();
    j["projectID"] = project.id.string();
    j["name"] = project.name;
    j["contentCount"] = project.fileCount;
    return j;
}

Json asset(const Repository& repository, const DeliveryFile& file) {
    Json j = Json::object();
    j["assetID"] = file.id.string();
    j["name"] = file.name;
    j["role"] = FileRoles::rawValue(file.role);
    j["resolvedPath"] = repository.fileURL(file).string();
    j["sourceUpdatePending"] = file.isSourceUpdatePending();
    j["hasDraft"] = file.editedText.has_value() || file.crop.has_value();
    return j;
}

/// Ends the process once an answer is out: a large library's records are not freed one by
/// one, which would take a good part of the time reading them took.
[[noreturn]] void answered() { std::exit(0); }

int run(std::vector<std::string> args) {
    const agent::Invocation invocation = agent::parseArguments(std::move(args), defaultLibraryFolder());
    switch (invocation.command) {
        case agent::Command::usage: throw SorvikError::message(usage);
        case agent::Command::verify: agent::verify(invocation.args); return 0;
        default: break;
    }
    if (!libraryExists(invocation.library)) throw SorvikError::message("资料库不存在");
    const Repository repository(invocation.library);
    // Every command reads and checks the whole workspace first, but builds only what it uses.
    switch (invocation.command) {
        case agent::Command::projects:
            agent::emit(json::encodeArray(repository.loadProjectSummaries(), summary));
            answered();
        case agent::Command::project: {
            const std::vector<Delivery> projects = repository.loadProjects();
            const UUID id = agent::uuid(invocation.args[1]);
            const Delivery* project = agent::liveProject(projects, id);
            Json detail = Json::object();
            detail["projectID"] = id.string();
            detail["name"] = project->name;
            detail["assets"] =
                json::encodeArray(project->files, [&](const DeliveryFile& f) { return asset(repository, f); });
            agent::emit(detail);
            answered();
        }
        case agent::Command::prepare: agent::prepare(repository, repository.loadWorkspace(), invocation.args); return 0;
        default: repository.loadProjectSummaries(); throw SorvikError::message(invalidCommand);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit makes writes fail with EFBIG, reported like any failed write, instead
    // of ending the process with its work half done.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        return run(std::move(args));
    } catch (const SorvikError& e) {
        agent::fail(e.errorDescription());
    } catch (const std::exception& e) {
        agent::fail(e.what());
    } catch (...) {
        agent::fail("unknown error");
    }
}
