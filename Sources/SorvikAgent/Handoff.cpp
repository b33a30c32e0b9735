// The hand-off commands: prepare a snapshot package, verify a package against its manifest.
#include <filesystem>
#include <string_view>

#include "SorvikAgent/Agent.hpp"
#include "SorvikCore/AccessScope.hpp"
#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Hashing.hpp"

namespace sorvik::agent {

namespace fs = std::filesystem;

namespace {

/// A relative path counts from the current folder; an empty one names that folder.
fs::path absolutePath(const std::string& argument) {
    return argument.empty() ? fs::current_path() : fs::absolute(fs::path(argument));
}

/// Every comma-separated piece, empty ones included, as a UUID.
std::vector<UUID> assetList(std::string_view text) {
    std::vector<UUID> ids;
    for (;;) {
        const auto comma = text.find(',');
        ids.push_back(uuid(text.substr(0, comma)));
        if (comma == std::string_view::npos) return ids;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

void prepare(const Repository& repository, const WorkspaceState& workspace, const std::vector<std::string>& args) {
    // Stopped on every way out, before the error object or after the answer.
    AccessScopes access;
    std::vector<fs::path> urls;
    for (const auto& source : workspace.sources) urls.push_back(source.resolve());
    for (const auto& asset : workspace.assets)
        if (asset.file.reference) urls.push_back(asset.file.reference->resolve(true));
    for (auto& url : urls) access.start(std::move(url));

    const UUID projectID = uuid(args[1]);
    const std::vector<UUID> assetIDs = assetList(args[2]);
    const fs::path destination = absolutePath(args[3]);

    const ExportReceipt receipt = AgentHandoff::prepare(workspace, projectID, assetIDs, repository, destination);
    const fs::path manifestURL = fs::path(receipt.path) / DeliveryExporter::manifestFileName;
    // One read: the bytes checked are the bytes whose hash is reported.
    const std::string bytes = AgentHandoff::readManifest(manifestURL);
    AgentHandoff::verify(manifestURL, bytes);

    Json result = Json::object();
    result["status"] = "prepared_not_published";
    result["projectID"] = projectID.string();
    result["manifestPath"] = manifestURL.string();
    result["manifestSHA256"] = hashing::sha256Hex(bytes);
    emit(result);
}

void verify(const std::vector<std::string>& args) {
    const fs::path manifestURL = absolutePath(args[1]);
    // One read: the bytes compared with the expected hash are the bytes decoded and checked.
    const std::string bytes = AgentHandoff::readManifest(manifestURL);
    if (args.size() == 3 && hashing::sha256Hex(bytes) != args[2])
        throw SorvikError::message("清单与准备时的哈希不一致");
    emit(coding::encode(AgentHandoff::verify(manifestURL, bytes)));
}

}  // namespace sorvik::agent
