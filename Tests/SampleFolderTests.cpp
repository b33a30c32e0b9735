// The sample folders shipped with the app: files scattered over three folders that one scan
// gathers into a project which passes the video rules and exports, with one spare photo left
// in the inbox.
#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/ProjectMatcher.hpp"
#include "Support/ScanSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

const fs::path sampleRoot = SORVIK_SAMPLE_DIR;
const std::vector<std::string> sampleFolders = {"视频输出", "图片输出", "文案输出"};

/// The sample as the app sees it after connecting its three folders: one scan, one grouping.
struct Sample {
    test::Scanner scanner;
    std::vector<SourceFolder> sources;
    ScanResult scan;
    ProjectMatcher::Grouping grouping;

    Sample() {
        for (const auto& name : sampleFolders) sources.push_back(SourceFolder::make(sampleRoot / name));
        scanner.recognizeText = true;  // as the app's default setting
        scan = scanner(sources);
        grouping = ProjectMatcher::group(scan.assets, {}, {});
    }

    const IndexedAsset& asset(const std::string& name) const {
        const auto it = std::find_if(grouping.assets.begin(), grouping.assets.end(),
                                     [&](const IndexedAsset& a) { return a.file.name == name; });
        if (it == grouping.assets.end()) throw std::runtime_error("no asset " + name);
        return *it;
    }
};

std::map<FileRole, std::vector<std::string>> namesByRole(const Delivery& project) {
    std::map<FileRole, std::vector<std::string>> out;
    for (const auto& file : project.files) out[file.role].push_back(file.name);
    return out;
}

}  // namespace

TEST(SampleFolder, EveryFileIsIndexedAndReadable) {
    const Sample sample;
    EXPECT_TRUE(sample.scan.sourceErrors.empty());
    EXPECT_EQ(sample.scan.inspectedCount, 5);
    EXPECT_EQ(sample.scan.assets.size(), 5u);
    // Every name has a topic, so no image goes to text recognition.
    EXPECT_EQ(sample.scan.ocrCount, 0);

    std::int64_t total = 0;
    for (const auto& asset : sample.scan.assets) {
        EXPECT_FALSE(asset.isMissing) << asset.file.name;
        EXPECT_FALSE(asset.file.inspectionError) << asset.file.name << ": " << *asset.file.inspectionError;
        total += asset.file.bytes;
    }
    // The app carries the sample in its data folder: it stays small.
    EXPECT_LT(total, 1'500'000);

    const auto& video = sample.asset("洱海骑行_成片.mp4").file;
    ASSERT_TRUE(video.duration);
    EXPECT_NEAR(*video.duration, 8.0, 0.1);
    EXPECT_EQ(video.width, 360);
    EXPECT_EQ(video.height, 640);

    const auto& cover = sample.asset("洱海骑行_封面.jpg").file;
    EXPECT_EQ(cover.width, 600);
    EXPECT_EQ(cover.height, 800);

    EXPECT_EQ(sample.asset("洱海骑行_封面.jpg").sourceID, sample.sources[1].id);
    EXPECT_EQ(sample.asset("洱海骑行_发布文案.txt").sourceID, sample.sources[2].id);
}

TEST(SampleFolder, SharedTopicMakesOneProjectAndOnePhotoWaitsInTheInbox) {
    const Sample sample;
    ASSERT_EQ(sample.grouping.projects.size(), 1u);
    const Delivery& project = sample.grouping.projects[0];
    EXPECT_EQ(project.name, "洱海骑行");
    EXPECT_EQ(project.discoveryKey, "洱海骑行");

    using Names = std::vector<std::string>;
    const auto roles = namesByRole(project);
    EXPECT_EQ(roles.at(FileRole::video), Names{"洱海骑行_成片.mp4"});
    EXPECT_EQ(roles.at(FileRole::cover), Names{"洱海骑行_封面.jpg"});
    EXPECT_EQ(roles.at(FileRole::subtitle), Names{"洱海骑行_字幕.srt"});
    EXPECT_EQ(roles.at(FileRole::copy), Names{"洱海骑行_发布文案.txt"});
    EXPECT_EQ(project.files.size(), 4u);

    for (const auto& file : project.files) {
        const auto& asset = sample.asset(file.name);
        EXPECT_EQ(asset.projectID, project.id) << file.name;
        EXPECT_EQ(asset.reason, "共同文件名主题") << file.name;
    }

    std::vector<const IndexedAsset*> inbox;
    for (const auto& asset : sample.grouping.assets)
        if (!asset.projectID && !asset.isMissing) inbox.push_back(&asset);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0]->file.name, "苍山日出.jpg");
    EXPECT_EQ(inbox[0]->assignment, AssignmentMode::automatic);
    EXPECT_EQ(inbox[0]->reason, "发现主题“苍山日出”，等待关联素材");
}

TEST(SampleFolder, ProjectPassesTheVideoRulesAndExportsAVerifiedPackage) {
    const Sample sample;
    ASSERT_EQ(sample.grouping.projects.size(), 1u);
    Delivery project = sample.grouping.projects[0];
    project.templ = DeliveryTemplate::video();

    const auto checks = CheckEngine::checks(project);
    std::map<std::string, std::string> passes;  // check kind -> title
    for (const auto& check : checks) {
        EXPECT_EQ(check.level, CheckLevel::pass) << check.id << ": " << check.title << " / " << check.detail;
        passes[check.id.substr(0, check.id.find('-'))] = check.title;
    }
    EXPECT_EQ(passes["ratio"], "封面比例符合规则");
    EXPECT_EQ(passes["srt"], "字幕时间在成片范围内");
    EXPECT_EQ(passes["title"], "标题长度合适");
    const auto roleChecks =
        std::count_if(checks.begin(), checks.end(), [](const DeliveryCheck& c) { return c.id.starts_with("role-"); });
    EXPECT_EQ(roleChecks, 4);

    const test::TempDir destination;
    const Repository repository(sample.scanner.library.path());
    const ExportReceipt receipt = DeliveryExporter::exportDelivery(project, repository, destination.path(), false);
    EXPECT_EQ(receipt.fileCount, 4);

    const ExportManifest manifest = AgentHandoff::verify(fs::path(receipt.path) / DeliveryExporter::manifestFileName);
    EXPECT_EQ(manifest.projectID, project.id);
    EXPECT_EQ(manifest.title, "洱海骑行");
    EXPECT_FALSE(manifest.acknowledgedWarnings);
    ASSERT_EQ(manifest.files.size(), 4u);
    for (const auto& entry : manifest.files) {
        const auto& assets = sample.grouping.assets;
        const auto it =
            std::find_if(assets.begin(), assets.end(), [&](const IndexedAsset& a) { return a.id() == entry.assetID; });
        ASSERT_NE(it, assets.end()) << entry.sourceName;
        // Unedited files travel as exact copies of the originals.
        EXPECT_FALSE(entry.modified) << entry.sourceName;
        EXPECT_EQ(entry.role, it->file.role) << entry.sourceName;
        EXPECT_EQ(entry.sha256, FileInspector::hash(it->file.reference->path)) << entry.sourceName;
    }
}
