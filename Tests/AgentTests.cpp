#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

constexpr const char* invalid = "命令或参数无效；使用 projects、project、prepare、verify";

/// The error object of a failed run: exit 1, nothing on stdout, one compact line on stderr.
std::string errorMessage(const test::ProcessResult& r) {
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_FALSE(r.err.empty());
    if (r.err.empty()) return {};
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    const Json j = json::parse(r.err);
    EXPECT_EQ(j.size(), 2u);
    EXPECT_EQ(j.at("status"), "error");
    return j.at("message").get<std::string>();
}

Json output(const test::ProcessResult& r) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    return json::parse(r.out);
}

struct Library {
    test::TempDir tmp;
    fs::path root = tmp / "lib";
    Delivery first{UUID::make(), "山间慢生活", {}, DeliveryTemplate::flexible()};
    Delivery second{UUID::make(), "城市夜景", {}, DeliveryTemplate::video()};
    Delivery deleted{UUID::make(), "旧项目", {}, DeliveryTemplate::flexible()};

    Library() {
        DeliveryFile linked(UUID::make(), "cover.png", "", FileRole::cover, 10, "");
        linked.reference = FileReference::make("/src/cover.png", Date{1}, "1:2");
        linked.crop = CropSpec{0.75, 0.5, 0.5};
        DeliveryFile copied(UUID::make(), "正文.txt", "files/A/B/C.txt", FileRole::copy, 3, "");
        copied.editedText = "";
        copied.sourceUpdatePending = true;
        DeliveryFile plain(UUID::make(), "clip.mp4", "", FileRole::video, 5, "");
        plain.reference = FileReference::make("/src/clip.mp4", Date{1}, std::nullopt);
        first.files = {linked, copied, plain};
        WorkspaceState w({first, second, deleted});
        w.deleteProject(deleted.id);
        Repository(root).saveWorkspace(w);
    }
    std::vector<std::string> args(std::vector<std::string> rest) const {
        rest.insert(rest.begin(), {"--data-dir", root.string()});
        return rest;
    }
};

}  // namespace

TEST(Agent, UsageWithoutArguments) {
    const auto r = test::runAgent({});
    EXPECT_EQ(errorMessage(r),
              "用法：sorvik-agent [--data-dir PATH] projects | project UUID | prepare PROJECT_UUID "
              "ASSET_UUID[,ASSET_UUID] DESTINATION | verify MANIFEST");
    EXPECT_EQ(r.err.rfind("{\"message\":", 0), 0u);
}

TEST(Agent, MissingLibraryComesBeforeTheCommandWord) {
    test::TempDir tmp;
    const std::string missing = (tmp / "missing").string();
    EXPECT_EQ(errorMessage(test::runAgent({"--data-dir", missing, "projects"})), "资料库不存在");
    EXPECT_EQ(errorMessage(test::runAgent({"--data-dir", missing, "frobnicate"})), "资料库不存在");
    EXPECT_EQ(errorMessage(test::runAgent({"--data-dir", missing, "verify"})), "资料库不存在");
    EXPECT_FALSE(fs::exists(tmp / "missing")) << "the agent never creates the library";
    // A link to a missing folder names no library either.
    fs::create_symlink(tmp / "missing", tmp / "link");
    EXPECT_EQ(errorMessage(test::runAgent({"--data-dir", (tmp / "link").string(), "projects"})), "资料库不存在");
    EXPECT_FALSE(fs::exists(tmp / "missing"));
}

TEST(Agent, DataDirCountsOnlyInFirstPlace) {
    test::TempDir home;
    const std::vector<std::string> env{"XDG_DATA_HOME=" + (home / "data").string()};
    // Default library missing.
    EXPECT_EQ(errorMessage(test::runAgent({"projects", "--data-dir", "/x"}, env)), "资料库不存在");
    EXPECT_EQ(errorMessage(test::runAgent({"--data-dir"}, env)), "资料库不存在");
    fs::create_directories(home / "data" / "Sorvik");
    EXPECT_EQ(errorMessage(test::runAgent({"projects", "--data-dir", "/x"}, env)), invalid);
    EXPECT_EQ(errorMessage(test::runAgent({"--data-dir"}, env)), invalid);
    // An empty existing default library lists no projects and the agent writes nothing into it.
    EXPECT_EQ(output(test::runAgent({"projects"}, env)), Json::array());
    EXPECT_TRUE(fs::is_empty(home / "data" / "Sorvik"));
    // SORVIK_DATA_DIR is the app's, not the agent's.
    EXPECT_EQ(output(test::runAgent({"projects"}, {env[0], "SORVIK_DATA_DIR=/nonexistent"})), Json::array());
}

TEST(Agent, InvalidCommandsAndCounts) {
    Library lib;
    for (const auto& rest : std::vector<std::vector<std::string>>{{"Projects"},
                                                                  {"projects", "extra"},
                                                                  {"project"},
                                                                  {"verify"},
                                                                  {"verify", "a", "b", "c"},
                                                                  {"prepare", "a", "b"},
                                                                  {"--data-dir"}}) {
        EXPECT_EQ(errorMessage(test::runAgent(lib.args(rest))), invalid) << rest[0];
    }
}

TEST(Agent, ProjectsListsLiveProjectsInStoredOrder) {
    Library lib;
    const Json list = output(test::runAgent(lib.args({"projects"})));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].at("projectID"), lib.first.id.string());
    EXPECT_EQ(list[0].at("name"), "山间慢生活");
    EXPECT_EQ(list[0].at("contentCount"), 3);
    EXPECT_EQ(list[1].at("contentCount"), 0);
    EXPECT_EQ(list[0].size(), 3u);
    // Pretty, sorted keys, Chinese unescaped.
    const auto r = test::runAgent(lib.args({"projects"}));
    EXPECT_NE(r.out.find("山间慢生活"), std::string::npos);
    EXPECT_LT(r.out.find("\"contentCount\""), r.out.find("\"name\""));
    EXPECT_LT(r.out.find("\"name\""), r.out.find("\"projectID\""));
    EXPECT_EQ(r.out.back(), '\n');
}

TEST(Agent, ProjectDetail) {
    Library lib;
    std::string lower = lib.first.id.string();
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const Json detail = output(test::runAgent(lib.args({"project", lower})));
    EXPECT_EQ(detail.at("projectID"), lib.first.id.string());
    EXPECT_EQ(detail.at("name"), "山间慢生活");
    const Json& assets = detail.at("assets");
    ASSERT_EQ(assets.size(), 3u);
    EXPECT_EQ(assets[0].at("resolvedPath"), "/src/cover.png");
    EXPECT_EQ(assets[0].at("role"), "cover");
    EXPECT_EQ(assets[0].at("hasDraft"), true);
    EXPECT_EQ(assets[0].at("sourceUpdatePending"), false);
    EXPECT_EQ(assets[1].at("resolvedPath"), (lib.root / "files/A/B/C.txt").string());
    EXPECT_EQ(assets[1].at("hasDraft"), true);
    EXPECT_EQ(assets[1].at("sourceUpdatePending"), true);
    EXPECT_EQ(assets[2].at("hasDraft"), false);
    EXPECT_EQ(assets[2].size(), 6u);

    const Json empty = output(test::runAgent(lib.args({"project", lib.second.id.string()})));
    EXPECT_EQ(empty.at("assets"), Json::array());
}

TEST(Agent, ProjectFailures) {
    Library lib;
    EXPECT_EQ(errorMessage(test::runAgent(lib.args({"project", "abc"}))), "无效 UUID：abc");
    EXPECT_EQ(errorMessage(test::runAgent(lib.args({"project", lib.deleted.id.string()}))), "项目不存在或已删除");
    EXPECT_EQ(errorMessage(test::runAgent(lib.args({"project", UUID::make().string()}))), "项目不存在或已删除");

    // A library-relative path that climbs out fails the whole command.
    WorkspaceState w = Repository(lib.root).loadWorkspace();
    w.projects[0].files[1].relativePath = "../../etc/passwd";
    Repository(lib.root).saveWorkspace(w);
    EXPECT_EQ(errorMessage(test::runAgent(lib.args({"project", lib.first.id.string()}))), "文件路径不属于Sorvik资料库");
}

TEST(Agent, BadLibraryIsReportedAndNeverRewritten) {
    test::TempDir tmp;
    const std::string bytes = "{\"schemaVersion\":1,\"projects\":[]";
    test::writeFile(tmp / "workspace.json", bytes);
    const std::string message = errorMessage(test::runAgent({"--data-dir", tmp.path().string(), "unknown"}));
    EXPECT_NE(message, invalid);
    EXPECT_FALSE(message.empty());
    errorMessage(test::runAgent({"--data-dir", tmp.path().string(), "projects"}));
    EXPECT_EQ(test::readFile(tmp / "workspace.json"), bytes);
}

TEST(Agent, DamagedLibrariesFailClearlyAndStayByteIdentical) {
    const std::string valid = coding::text(WorkspaceState{});
    const std::vector<std::pair<std::string, std::string>> damaged{
        {"truncated", valid.substr(0, valid.size() / 2)},
        {"not UTF-8", "{\"schemaVersion\":1,\"projects\":[{\"name\":\"\xff\"}]}"},
        {"wrong type", std::string(valid).replace(valid.find("\"automaticScan\":true"), 20, "\"automaticScan\":\"1\"")},
        {"empty object", "{}"},
        {"bytes after the document", valid + std::string("\0garbage", 8)},
        {"a key twice",
         std::string(valid).replace(valid.find("\"projects\":[]"), 13, "\"projects\":[],\"projects\":[]")},
    };
    const std::string id = UUID::make().string();
    const std::vector<std::vector<std::string>> commands{
        {"projects"}, {"project", id}, {"prepare", id, id, "/tmp/sorvik-never"}, {"bogus"}};
    for (const auto& [label, bytes] : damaged) {
        test::TempDir tmp;
        test::writeFile(tmp / "workspace.json", bytes);
        for (auto args : commands) {
            args.insert(args.begin(), {"--data-dir", tmp.path().string()});
            const std::string message = errorMessage(test::runAgent(args));
            EXPECT_FALSE(message.empty()) << label;
            EXPECT_NE(message, invalid) << label;
            EXPECT_EQ(test::readFile(tmp / "workspace.json"), bytes) << label;
        }
    }
    {
        // Far too large to be a library: refused at once, without reading it (sparse).
        test::TempDir huge;
        test::writeFile(huge / "workspace.json", "");
        ASSERT_EQ(::truncate((huge / "workspace.json").c_str(), off_t{3} << 30), 0);
        EXPECT_EQ(errorMessage(test::runAgent({"--data-dir", huge.path().string(), "projects"})),
                  "“workspace.json”超过 1 GB，不是可以读取的资料库文件。");
    }
    test::TempDir tmp;
    fs::create_symlink(tmp / "nowhere.json", tmp / "workspace.json");
    errorMessage(test::runAgent({"--data-dir", tmp.path().string(), "projects"}));
    EXPECT_TRUE(fs::is_symlink(tmp / "workspace.json"));
    EXPECT_FALSE(fs::exists(tmp / "nowhere.json"));
}

TEST(Agent, LibraryPathThatIsAFileFailsWithThePlatformError) {
    test::TempDir tmp;
    const fs::path file = tmp / "plain\xff.txt";  // also a non-UTF-8 byte in the message
    test::writeFile(file, "x");
    const std::string message = errorMessage(test::runAgent({"--data-dir", file.string(), "projects"}));
    EXPECT_NE(message, "资料库不存在");
    EXPECT_NE(message.find("plain"), std::string::npos);
}

TEST(Agent, RelativeDataDirIsMadeAbsolute) {
    Library lib;
    const auto r = test::runAgent({"--data-dir", "lib", "project", lib.first.id.string()}, {}, lib.tmp.path());
    const Json detail = output(r);
    EXPECT_EQ(detail.at("assets")[1].at("resolvedPath"), (lib.root / "files/A/B/C.txt").string());
}

TEST(Agent, EmptyDataDirNamesTheCurrentFolder) {
    Library lib;
    const Json list = output(test::runAgent({"--data-dir", "", "projects"}, {}, lib.root));
    EXPECT_EQ(list.size(), 2u);
}

TEST(Agent, FailedOutputWriteIsAnError) {
    Library lib;
    const std::string command =
        std::string("'") + SORVIK_AGENT_PATH + "' --data-dir '" + lib.root.string() + "' projects";
    const auto full = test::runProcess("/bin/sh", {"-c", command + " >/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(json::parse(full.err).at("status"), "error");
    const auto closed = test::runProcess("/bin/sh", {"-c", command + " >&-"});
    EXPECT_EQ(closed.status, 1);
    // A reader that goes away: SIGPIPE is ignored and the exit status stays 0 or 1.
    const auto piped = test::runProcess("/bin/bash", {"-c", "set -o pipefail; " + command + " | true"});
    EXPECT_TRUE(piped.status == 0 || piped.status == 1) << piped.status;
}

TEST(Agent, DamageDeepInTheLibraryFailsEveryReadingCommandWithTheCoreMessage) {
    // The commands build only what they print, yet every record is checked as a whole load
    // checks it, and the first error in the load's own order is the one reported.
    Library lib;
    WorkspaceState w = Repository(lib.root).loadWorkspace();
    for (int i = 0; i < 3; ++i) {
        DeliveryFile file(UUID::make(), "原片" + std::to_string(i) + ".mp4", "", FileRole::video, 5, "");
        file.reference = FileReference::make("/src/" + file.name, Date{1}, "1:" + std::to_string(i));
        w.assets.emplace_back(file, std::nullopt, "folder", std::nullopt);
        w.archives.push_back(ArchiveRecord{UUID::make(), file.id, Date{2}, 5, "/archive/" + file.name, "ab", Date{3}});
    }
    w.projects[0].files.push_back(w.assets[2].file);
    const Json whole = json::parse(coding::text(w));
    const auto damaged = [&](const std::function<void(Json&)>& damage) {
        Json j = whole;
        damage(j);
        return j.dump();
    };
    const std::vector<std::pair<std::string, std::string>> cases{
        {"last asset", damaged([](Json& j) { j["assets"][2]["file"]["id"] = "not a UUID"; })},
        {"last archive", damaged([](Json& j) { j["archives"][2]["sha256"] = 7; })},
        {"deleted project", damaged([](Json& j) { j["deletedProjects"][0]["files"] = Json::object(); })},
        {"listed project's last file", damaged([](Json& j) { j["projects"][0]["files"][3]["role"] = "poster"; })},
        {"second listed project", damaged([](Json& j) { j["projects"][1].erase("template"); })},
        // Written earlier in the file, checked later: the project's error is the one reported.
        {"two errors", damaged([](Json& j) {
             j["archives"][0]["date"] = "yesterday";
             j["projects"][0]["files"][3].erase("name");
         })},
    };
    const std::string id = lib.first.id.string();
    for (const auto& [label, bytes] : cases) {
        test::writeFile(lib.root / "workspace.json", bytes);
        std::string expected;
        try {
            Repository(lib.root).loadWorkspace();
        } catch (const std::exception& e) {
            expected = e.what();
        }
        ASSERT_FALSE(expected.empty()) << label;
        for (const std::vector<std::string>& command : {std::vector<std::string>{"projects"}, {"project", id}, {"x"}})
            EXPECT_EQ(errorMessage(test::runAgent(lib.args(command))), expected) << label << ": " << command[0];
    }
    // The earlier "library.json" is checked the same way while no "workspace.json" exists.
    fs::remove(lib.root / "workspace.json");
    Json projects = whole["projects"];
    projects[1]["files"] = Json::array({whole["projects"][0]["files"][0]});
    projects[1]["files"][0]["bytes"] = 1.5;
    test::writeFile(lib.root / "library.json", projects.dump());
    EXPECT_EQ(errorMessage(test::runAgent(lib.args({"projects"}))),
              "The data couldn't be read because it isn't in the correct format. (Expected an integer at "
              "library.json[1].files[0].bytes)");
}
