#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Inspector.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

Date modificationDate(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

std::string message(const test::ProcessResult& r) {
    if (r.status != 1 || !r.out.empty()) return "(no failure: " + r.out + ")";
    const Json error = json::parse(r.err);
    EXPECT_EQ(error["status"], "error");
    EXPECT_EQ(r.err.back(), '\n');
    return error["message"].get<std::string>();
}

/// A library holding one project of three linked files, and an outside destination.
struct Library {
    test::TempDir dir;
    fs::path root = dir / "Library";
    fs::path sources = dir / "sources";
    fs::path destination = dir / "out";
    WorkspaceState workspace;
    UUID projectID = UUID::make();
    std::vector<UUID> ids;

    Library() {
        fs::create_directories(sources);
        fs::create_directories(destination);
        std::vector<DeliveryFile> files;
        for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
                 {"clip.bin", "video-ish bytes"}, {"notes.bin", std::string(5000, 'n')}, {"extra.bin", "extra"}}) {
            const fs::path path = sources / name;
            test::writeFile(path, content);
            DeliveryFile file = FileInspector::inspect(path, "", std::nullopt, false);
            file.reference = FileReference::make(path, modificationDate(path), std::nullopt);
            ids.push_back(file.id);
            files.push_back(file);
            IndexedAsset asset(file, std::nullopt, "", std::nullopt);
            workspace.assets.push_back(asset);
        }
        Delivery project(projectID, "Hand-off: Spring", files, DeliveryTemplate::video());
        workspace.projects.push_back(project);
        save();
    }
    void save() const { Repository(root).saveWorkspace(workspace); }

    test::ProcessResult prepare(const std::string& assets, const std::string& dest,
                                const fs::path& workingDirectory = {}) const {
        return test::runAgent({"--data-dir", root.string(), "prepare", projectID.string(), assets, dest}, {},
                              workingDirectory);
    }
    std::string list(std::initializer_list<std::size_t> which) const {
        std::string s;
        for (auto i : which) s += (s.empty() ? "" : ",") + ids[i].string();
        return s;
    }
};

struct Prepared {
    fs::path manifest;
    std::string sha256;
};

Prepared prepared(const Library& lib, const std::string& assets) {
    const auto r = lib.prepare(assets, lib.destination.string());
    EXPECT_EQ(r.status, 0) << r.err;
    const Json answer = json::parse(r.out);
    return {answer["manifestPath"].get<std::string>(), answer["manifestSHA256"].get<std::string>()};
}

void editManifest(const fs::path& manifest, const std::function<void(Json&)>& edit) {
    Json j = json::parse(test::readFile(manifest));
    edit(j);
    fs::remove(manifest);
    test::writeFile(manifest, json::dumpPretty(j));
}

test::ProcessResult verify(const fs::path& manifest) { return test::runAgent({"verify", manifest.string()}); }

}  // namespace

TEST(AgentPrepare, PreparesAndVerifiesWithTheReportedHash) {
    Library lib;
    const auto r = lib.prepare(lib.list({2, 0}), lib.destination.string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    const Json answer = json::parse(r.out);
    EXPECT_EQ(answer["status"], "prepared_not_published");
    EXPECT_EQ(answer["projectID"], lib.projectID.string());
    const fs::path manifest = answer["manifestPath"].get<std::string>();
    EXPECT_EQ(manifest, lib.destination / "Hand-off_ Spring" / "交付清单.json");
    const std::string sha = answer["manifestSHA256"].get<std::string>();
    EXPECT_EQ(sha, hashing::sha256Hex(test::readFile(manifest)));

    // The snapshot: the files asked for, in that order, checked against the flexible rules.
    const ExportManifest m = decodeManifestFile(test::readFile(manifest));
    EXPECT_EQ(m.templ, DeliveryTemplate::flexible());
    EXPECT_FALSE(m.acknowledgedWarnings);
    ASSERT_EQ(m.files.size(), 2u);
    EXPECT_EQ(m.files[0].assetID, lib.ids[2]);
    EXPECT_EQ(m.files[0].outputPath, "05_附件/Hand-off_ Spring_附件_01.bin");
    EXPECT_EQ(m.files[1].assetID, lib.ids[0]);

    const auto ok = test::runAgent({"--data-dir", (lib.dir / "missing").string(), "verify", manifest.string(), sha});
    ASSERT_EQ(ok.status, 0) << ok.err;
    const Json printed = json::parse(ok.out);
    EXPECT_EQ(printed["title"], "Hand-off: Spring");
    EXPECT_EQ(printed["files"].size(), 2u);
    EXPECT_TRUE(printed["exportedAt"].get<std::string>().ends_with("Z"));

    std::string upper = sha;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(message(test::runAgent({"verify", manifest.string(), upper})), "清单与准备时的哈希不一致");

    // The workspace is only read; a second prepare writes a second package beside the first.
    const std::string before = test::readFile(lib.root / "workspace.json");
    const auto again = lib.prepare(lib.list({1}), lib.destination.string());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(json::parse(again.out)["manifestPath"],
              (lib.destination / "Hand-off_ Spring 2" / "交付清单.json").string());
    EXPECT_EQ(test::readFile(manifest), test::readFile(manifest));
    EXPECT_EQ(hashing::sha256Hex(test::readFile(manifest)), sha);
    EXPECT_EQ(test::readFile(lib.root / "workspace.json"), before);
}

TEST(AgentPrepare, RelativePathsAreMadeAbsolute) {
    Library lib;
    const auto r = lib.prepare(lib.list({0}), "out", lib.dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string path = json::parse(r.out)["manifestPath"].get<std::string>();
    EXPECT_EQ(path, (lib.destination / "Hand-off_ Spring" / "交付清单.json").string());
    const auto v = test::runAgent({"verify", "out/Hand-off_ Spring/交付清单.json"}, {}, lib.dir.path());
    EXPECT_EQ(v.status, 0) << v.err;
    // An empty destination names the current folder.
    const auto here = lib.prepare(lib.list({1}), "", lib.destination);
    ASSERT_EQ(here.status, 0) << here.err;
    EXPECT_EQ(json::parse(here.out)["manifestPath"],
              (lib.destination / "Hand-off_ Spring 2" / "交付清单.json").string());
}

TEST(AgentPrepare, RefusesBadRequestsBeforeWriting) {
    Library lib;
    Library& l = lib;
    const std::string a = l.ids[0].string(), b = l.ids[1].string();
    EXPECT_EQ(message(l.prepare("", l.destination.string())), "无效 UUID：");
    EXPECT_EQ(message(l.prepare(a + ",," + b, l.destination.string())), "无效 UUID：");
    EXPECT_EQ(message(l.prepare(a + ",", l.destination.string())), "无效 UUID：");
    EXPECT_EQ(message(l.prepare(a + ", " + b, l.destination.string())), "无效 UUID： " + b);
    EXPECT_EQ(message(l.prepare(a + "," + a, l.destination.string())), "必须明确指定不重复的内容 ID");
    EXPECT_EQ(message(test::runAgent({"--data-dir", l.root.string(), "prepare", "nope", a, l.destination.string()})),
              "无效 UUID：nope");
    const std::string other = UUID::make().string();
    EXPECT_EQ(message(test::runAgent({"--data-dir", l.root.string(), "prepare", other, a, l.destination.string()})),
              "项目不存在或已删除");
    EXPECT_EQ(message(l.prepare(a + "," + other, l.destination.string())), "内容不属于指定项目：" + other);
    EXPECT_EQ(message(test::runAgent({"--data-dir", l.root.string(), "prepare", l.projectID.string(), a})),
              "命令或参数无效；使用 projects、project、prepare、verify");
    EXPECT_EQ(message(l.prepare(a, (l.root / "files").string())), "请将交付包导出到Sorvik资料库以外的文件夹。");

    // An indexed asset that is not a file of the project, and a pending source update.
    IndexedAsset stray = lib.workspace.assets[0];
    stray.file.id = UUID::make();
    lib.workspace.assets.push_back(stray);
    lib.workspace.projects[0].files[1].sourceUpdatePending = true;
    lib.save();
    EXPECT_EQ(message(l.prepare(stray.file.id.string(), l.destination.string())),
              "内容不属于指定项目：" + stray.file.id.string());
    EXPECT_EQ(message(l.prepare(b + "," + other, l.destination.string())),
              "原文件已更新，请先在应用中检查内容：notes.bin");
    lib.workspace.deletedProjects = lib.workspace.projects;
    lib.workspace.projects.clear();
    lib.save();
    EXPECT_EQ(message(l.prepare(a, l.destination.string())), "项目不存在或已删除");
    EXPECT_TRUE(fs::is_empty(l.destination));
}

TEST(AgentVerify, RefusesBadPackages) {
    Library lib;
    const Prepared p = prepared(lib, lib.list({0, 1, 2}));
    const fs::path package = p.manifest.parent_path();
    const std::string original = test::readFile(p.manifest);
    const std::string first = "05_附件/Hand-off_ Spring_附件_01.bin";
    const std::string snapshot = "快照文件校验失败：";
    auto reset = [&] {
        fs::remove(p.manifest);
        test::writeFile(p.manifest, original);
    };
    auto withPath = [&](const std::string& path, std::int64_t bytes) {
        reset();
        editManifest(p.manifest, [&](Json& j) {
            j["files"][1]["outputPath"] = path;
            j["files"][1]["bytes"] = bytes;
        });
        return message(verify(p.manifest));
    };

    test::writeFile(lib.dir / "secret", "extra");  // same size and content as a listed file
    EXPECT_EQ(withPath("../../secret", 5), snapshot + "../../secret");
    EXPECT_EQ(withPath("05_附件/../../secret", 5), snapshot + "05_附件/../../secret");
    EXPECT_EQ(withPath((lib.dir / "secret").string(), 5), snapshot + (lib.dir / "secret").string());
    EXPECT_EQ(withPath(std::string("05_附件/x\0y", 13), 5), snapshot + std::string("05_附件/x\0y", 13));
    EXPECT_EQ(withPath("05_附件", 5), snapshot + "05_附件");

    // A FIFO or a device listed with size 0 is refused, never read (which would hang).
    ASSERT_EQ(::mkfifo((package / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(withPath("pipe", 0), snapshot + "pipe");
    EXPECT_EQ(withPath("../../../../../../../../dev/null", 0), snapshot + "../../../../../../../../dev/null");
    fs::create_symlink("/dev/null", package / "null");
    EXPECT_EQ(withPath("null", 0), snapshot + "null");

    // A file swapped for a link leading out of the package.
    reset();
    fs::rename(package / first, lib.dir / "moved");
    fs::create_symlink(lib.dir / "secret", package / first);
    EXPECT_EQ(message(verify(p.manifest)), snapshot + first);
    fs::remove(package / first);
    // A link that stays inside the package to the same content passes.
    fs::create_symlink(lib.dir / "moved", lib.dir / "unused");
    fs::copy_file(lib.dir / "moved", package / "same.bin");
    fs::create_symlink("../same.bin", package / first);
    EXPECT_EQ(verify(p.manifest).status, 0);
    fs::remove(package / first);
    fs::rename(lib.dir / "moved", package / first);
    EXPECT_EQ(verify(p.manifest).status, 0);

    // Changed content of the same size; then a missing file, which is the platform's failure.
    const std::string clip = "05_附件/Hand-off_ Spring_附件_02.bin";
    const std::string content = test::readFile(package / clip);
    fs::remove(package / clip);
    test::writeFile(package / clip, std::string(content.size(), 'Z'));
    EXPECT_EQ(message(verify(p.manifest)), snapshot + clip);
    fs::remove(package / clip);
    const std::string missing = message(verify(p.manifest));
    EXPECT_FALSE(missing.starts_with(snapshot)) << missing;
    EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;
    test::writeFile(package / clip, content);

    // Extra files and a changed report do not matter.
    test::writeFile(package / "added.txt", "new");
    test::writeFile(package / "交付说明.md", "changed");
    EXPECT_EQ(verify(p.manifest).status, 0);

    // Whole-manifest checks.
    const std::string identifiers = "清单缺少唯一项目或内容标识";
    for (const auto& edit : std::vector<std::function<void(Json&)>>{
             [](Json& j) { j["schemaVersion"] = 2; }, [](Json& j) { j.erase("projectID"); },
             [](Json& j) { j["files"] = Json::array(); }, [](Json& j) { j["files"][2].erase("assetID"); },
             [](Json& j) { j["files"][2]["assetID"] = j["files"][0]["assetID"]; },
             [](Json& j) { j["files"][2]["outputPath"] = j["files"][0]["outputPath"]; }}) {
        reset();
        editManifest(p.manifest, edit);
        EXPECT_EQ(message(verify(p.manifest)), identifiers);
    }
    reset();
    editManifest(p.manifest, [](Json& j) { j["exportedAt"] = "2026-01-01T00:00:00.000Z"; });
    EXPECT_FALSE(message(verify(p.manifest)).empty());

    // The manifest itself as a FIFO, or missing: the platform's failure, at once.
    EXPECT_NE(message(test::runAgent({"verify", (package / "pipe").string()})), "");
    EXPECT_NE(message(test::runAgent({"verify", (package / "nothing.json").string(), p.sha256})), "");
}

TEST(AgentVerify, ReportsTheFirstFailingEntryInManifestOrder) {
    Library lib;
    const Prepared p = prepared(lib, lib.list({0, 1, 2}));
    const ExportManifest m = decodeManifestFile(test::readFile(p.manifest));
    const fs::path package = p.manifest.parent_path();
    for (std::size_t i : {1u, 2u}) {
        const fs::path f = package / m.files[i].outputPath;
        const std::string content = test::readFile(f);
        fs::remove(f);
        test::writeFile(f, std::string(content.size(), '#'));
    }
    for (int run = 0; run < 5; ++run) {
        try {
            AgentHandoff::verify(p.manifest);
            ADD_FAILURE() << "verified";
        } catch (const SorvikError& e) {
            EXPECT_EQ(e.errorDescription(), "快照文件校验失败：" + m.files[1].outputPath);
        }
    }
}

TEST(AgentVerify, UnreadableEntryIsCheckedForSizeFirst) {
    Library lib;
    const Prepared p = prepared(lib, lib.list({0}));
    const fs::path file = p.manifest.parent_path() / decodeManifestFile(test::readFile(p.manifest)).files[0].outputPath;
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    test::withoutPermissionOverride([&] {
        // Same size: the read failure is the platform's.
        EXPECT_THROW(AgentHandoff::verify(p.manifest), std::system_error);
        editManifest(p.manifest, [](Json& j) { j["files"][0]["bytes"] = 1; });
        try {
            AgentHandoff::verify(p.manifest);
            ADD_FAILURE() << "verified";
        } catch (const SorvikError& e) {
            EXPECT_EQ(e.errorDescription(),
                      "快照文件校验失败：" + fs::relative(file, p.manifest.parent_path()).string());
        }
    });
}

TEST(AgentVerify, BytesAfterTheManifestMakeItUnreadable) {
    Library lib;
    const Prepared p = prepared(lib, lib.list({0, 2}));
    const std::string original = test::readFile(p.manifest);
    for (const std::string& tail :
         {std::string("\0garbage", 8), std::string(1, '\0'), std::string("x"), std::string("{}")}) {
        fs::remove(p.manifest);
        test::writeFile(p.manifest, original + tail);
        const std::string bytes = original + tail;
        EXPECT_THROW(AgentHandoff::verify(p.manifest), DecodingError) << tail.size();
        EXPECT_THROW(AgentHandoff::verify(p.manifest, bytes), DecodingError) << tail.size();
        // Through the agent, with and without the hash of these very bytes.
        for (const auto& r :
             {verify(p.manifest), test::runAgent({"verify", p.manifest.string(), hashing::sha256Hex(bytes)})}) {
            EXPECT_TRUE(message(r).starts_with("The data couldn't be read")) << message(r);
        }
    }
    // Whitespace after the document is part of it.
    fs::remove(p.manifest);
    test::writeFile(p.manifest, original + "\n \t\n");
    EXPECT_EQ(verify(p.manifest).status, 0);
}
