#pragma once
// A library as a scan of many client folders leaves it, for the app's benchmarks.
#include <random>
#include <string>
#include <vector>

#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::bench {

/// `projects` projects named after topics. One asset in five carries no clue and waits in the
/// inbox; of the first `largeProject` assets the others go to the first project, later ones are
/// spread over the rest. The files themselves do not exist.
inline WorkspaceState topicLibrary(std::size_t assets, std::size_t projects, std::size_t largeProject) {
    static const std::vector<std::string> words{"Aurora", "Nebula", "Zephyr", "Summit", "Harbor", "Lumen",
                                                "Cedar",  "Falcon", "Orchid", "Vertex", "Willow", "Comet",
                                                "Meadow", "Quartz", "Ember",  "Atlas",  "星河",   "夏日",
                                                "秋季",   "春风",   "山海",   "晨光",   "青禾",   "云端"};
    std::mt19937 random(12);
    WorkspaceState state;
    for (std::size_t p = 0; p < projects; ++p) {
        Delivery project(UUID::make(), words[p % words.size()] + " Launch " + std::to_string(p), {},
                         DeliveryTemplate::flexible());
        project.keywords = std::vector<std::string>{"Code " + std::to_string(p)};
        state.projects.push_back(std::move(project));
    }
    const std::vector<std::string> extensions{".png", ".jpg", ".mp4", ".mov", ".txt", ".srt"};
    for (std::size_t i = 0; i < assets; ++i) {
        const std::string extension = extensions[random() % extensions.size()];
        const bool waiting = i % 5 == 4;
        const std::size_t p = i < largeProject ? 0 : 1 + random() % (projects - 1);
        const std::string name = waiting ? "IMG_" + std::to_string(10000 + i) + extension
                                         : state.projects[p].name + " shot " + std::to_string(i) + extension;
        const std::string folder = "Clients/" + words[random() % words.size()] + "/Rendered " + std::to_string(i % 97);
        DeliveryFile file(UUID::make(), name, "", FileRole::extra, 1000 + static_cast<std::int64_t>(i), "");
        file.reference = FileReference::make("/media/library/" + folder + "/" + name, Date{700000000}, std::nullopt);
        if (extension == ".txt" || extension == ".srt") {
            std::string body;
            for (int s = 0; s < 20; ++s) body += "今天我们来聊一聊这次拍摄的幕后故事，The light was soft. ";
            file.text = body;
        }
        // As a scan leaves them: matched by the matcher, so every regroup matches them again.
        state.assets.emplace_back(std::move(file), std::nullopt, folder, std::nullopt);
    }
    ProjectMatcher::Grouping grouping = ProjectMatcher::group(state.assets, state.projects, {});
    state.assets = std::move(grouping.assets);
    state.projects = std::move(grouping.projects);
    return state;
}

}  // namespace sorvik::bench
