#include <algorithm>
#include <map>
#include <random>
#include <stop_token>
#include <unordered_set>

#include <gtest/gtest.h>

#include "SorvikCore/ProjectMatcher.hpp"
#include "SorvikCore/TextMatching.hpp"

using namespace sorvik;
namespace PM = sorvik::ProjectMatcher;

namespace {

IndexedAsset asset(std::string name, std::string folder = "", std::optional<std::string> folderHint = std::nullopt) {
    DeliveryFile file(UUID::make(), name, folder.empty() ? name : folder + "/" + name, FileRole::extra, 10, "");
    return IndexedAsset(std::move(file), std::nullopt, std::move(folder), std::move(folderHint));
}

Delivery project(std::string name, std::optional<std::string> discoveryKey = std::nullopt,
                 std::optional<std::vector<std::string>> keywords = std::nullopt) {
    Delivery d(UUID::make(), std::move(name), {}, DeliveryTemplate::flexible());
    d.discoveryKey = std::move(discoveryKey);
    d.keywords = std::move(keywords);
    d.updatedAt = Date{1000};
    return d;
}

std::vector<std::string> names(const std::vector<DeliveryFile>& files) {
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(f.name);
    return out;
}

bool sameAssets(const std::vector<IndexedAsset>& a, const std::vector<IndexedAsset>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].file != b[i].file || a[i].projectID != b[i].projectID || a[i].reason != b[i].reason ||
            a[i].assignment != b[i].assignment || a[i].isMissing != b[i].isMissing)
            return false;
    }
    return true;
}

// The grouping exactly as described, with none of the fast path: every match through
// matchingProjects (which derives the hint and builds each term's pattern per call).
PM::Grouping literalGroup(std::vector<IndexedAsset> assets, std::vector<Delivery> projects,
                          const std::vector<Delivery>& suppressed) {
    std::unordered_set<UUID> live;
    for (const auto& p : projects) live.insert(p.id);
    std::map<std::string, std::vector<std::pair<std::size_t, ProjectHint>>> groups;
    for (std::size_t i = 0; i < assets.size(); ++i) {
        auto& a = assets[i];
        if (a.isMissing || a.assignment == AssignmentMode::unassigned || (a.projectID && live.contains(*a.projectID)))
            continue;
        const auto m = PM::matchingProjects(a, projects);
        if (m.size() == 1) {
            a.projectID = m[0];
            a.reason = "匹配项目名称或别名";
        } else if (m.size() > 1) {
            a.reason = "同时匹配多个项目，需要确认";
        } else if (!PM::matchingProjects(a, suppressed).empty()) {
            a.reason = "匹配已删除项目，等待手动关联";
        } else if (auto h = PM::hint(a)) {
            groups[PM::key(h->title)].emplace_back(i, *h);
        } else {
            a.reason = "文件名与目录尚无明确项目线索";
        }
    }
    for (const auto& [k, entries] : groups) {
        if (entries.size() >= 2 || entries[0].second.strong) {
            Delivery p(UUID::make(), entries[0].second.title, {}, DeliveryTemplate::flexible());
            p.discoveryKey = k;
            for (const auto& [i, h] : entries) {
                assets[i].projectID = p.id;
                assets[i].reason = h.reason;
            }
            projects.push_back(p);
        } else {
            assets[entries[0].first].reason = "发现主题“" + entries[0].second.title + "”，等待关联素材";
        }
    }
    for (auto& a : assets) {
        if (a.projectID || a.assignment != AssignmentMode::automatic || a.isMissing) continue;
        const auto m = PM::matchingProjects(a, projects);
        if (m.size() == 1) {
            a.projectID = m[0];
            a.reason =
                a.recognizedText && !a.recognizedText->empty() ? "图片文字匹配项目主题" : "正文或目录匹配项目主题";
        } else if (m.size() > 1) {
            a.reason = "同时匹配多个项目，需要确认";
        }
    }
    std::unordered_set<UUID> ids;
    for (const auto& a : assets) ids.insert(a.file.id);
    const text::FileNameOrder order;
    for (auto& p : projects) {
        std::vector<DeliveryFile> files, own;
        for (const auto& f : p.files)
            if (!ids.contains(f.id)) files.push_back(f);
        for (const auto& a : assets)
            if (a.projectID == p.id) own.push_back(a.file);
        std::stable_sort(own.begin(), own.end(), [&](const DeliveryFile& x, const DeliveryFile& y) {
            return order.compare(x.name, y.name) < 0;
        });
        files.insert(files.end(), own.begin(), own.end());
        if (files != p.files) {
            p.files = files;
            p.updatedAt = Date::now();
        }
    }
    return {assets, projects};
}

/// Replaces the random identifiers of created projects by their position, so that two
/// groupings of the same input can be compared.
void normalizeCreated(PM::Grouping& g, std::size_t liveCount) {
    std::map<UUID, UUID> rename;
    for (std::size_t p = liveCount; p < g.projects.size(); ++p) {
        std::array<std::uint8_t, 16> bytes{};
        bytes[0] = 0xEE;
        bytes[15] = static_cast<std::uint8_t>(p);
        bytes[14] = static_cast<std::uint8_t>(p >> 8);
        rename[g.projects[p].id] = UUID(bytes);
        g.projects[p].id = UUID(bytes);
        g.projects[p].createdAt = g.projects[p].updatedAt = Date{};
    }
    for (auto& a : g.assets)
        if (a.projectID)
            if (auto it = rename.find(*a.projectID); it != rename.end()) a.projectID = it->second;
}

void expectSameGrouping(PM::Grouping fast, PM::Grouping literal, const std::vector<Delivery>& input) {
    normalizeCreated(fast, input.size());
    normalizeCreated(literal, input.size());
    ASSERT_EQ(fast.assets.size(), literal.assets.size());
    for (std::size_t i = 0; i < fast.assets.size(); ++i) {
        SCOPED_TRACE(fast.assets[i].file.name);
        EXPECT_EQ(fast.assets[i].projectID, literal.assets[i].projectID);
        EXPECT_EQ(fast.assets[i].reason, literal.assets[i].reason);
    }
    ASSERT_EQ(fast.projects.size(), literal.projects.size());
    for (std::size_t p = 0; p < fast.projects.size(); ++p) {
        SCOPED_TRACE(fast.projects[p].name);
        EXPECT_EQ(fast.projects[p].id, literal.projects[p].id);
        EXPECT_EQ(fast.projects[p].name, literal.projects[p].name);
        EXPECT_EQ(fast.projects[p].discoveryKey, literal.projects[p].discoveryKey);
        EXPECT_EQ(names(fast.projects[p].files), names(literal.projects[p].files));
        EXPECT_TRUE(fast.projects[p].files == literal.projects[p].files);
        if (p < input.size()) {
            EXPECT_EQ(fast.projects[p].updatedAt == input[p].updatedAt,
                      literal.projects[p].updatedAt == input[p].updatedAt);
        }
    }
}

}  // namespace

TEST(ProjectGrouping, SharedFileNameTopicCreatesOneProject) {
    std::vector<IndexedAsset> assets{asset("Summer Sale final.png"), asset("Summer Sale cover.png"),
                                     asset("summer-sale_v2.png")};
    const auto g = PM::group(assets, {}, {});
    ASSERT_EQ(g.projects.size(), 1u);
    const Delivery& created = g.projects[0];
    EXPECT_EQ(created.name, "Summer Sale");
    EXPECT_EQ(created.discoveryKey, "summersale");
    EXPECT_EQ(created.keywords, std::nullopt);
    EXPECT_TRUE(created.exports.empty());
    EXPECT_EQ(created.templ, DeliveryTemplate::flexible());
    for (const auto& a : g.assets) {
        EXPECT_EQ(a.projectID, created.id);
        EXPECT_EQ(a.reason, "共同文件名主题");
        EXPECT_EQ(a.assignment, AssignmentMode::automatic);
    }
    EXPECT_EQ(names(created.files),
              (std::vector<std::string>{"Summer Sale cover.png", "Summer Sale final.png", "summer-sale_v2.png"}));

    // The first asset's title names the project.
    const auto other = PM::group({asset("summer-sale_v2.png"), asset("Summer Sale cover.png")}, {}, {});
    ASSERT_EQ(other.projects.size(), 1u);
    EXPECT_EQ(other.projects[0].name, "summer-sale");
}

TEST(ProjectGrouping, StrongClueAloneCreatesAProjectWeakOneWaits) {
    const auto strong = PM::group({asset("IMG_0001.png", "客户/秋季发布会", "秋季发布会")}, {}, {});
    ASSERT_EQ(strong.projects.size(), 1u);
    EXPECT_EQ(strong.projects[0].name, "秋季发布会");
    EXPECT_EQ(strong.assets[0].reason, "项目目录或同目录说明");

    const auto weak = PM::group({asset("Moonrise_cover.png")}, {}, {});
    EXPECT_TRUE(weak.projects.empty());
    EXPECT_EQ(weak.assets[0].projectID, std::nullopt);
    EXPECT_EQ(weak.assets[0].reason, "发现主题“Moonrise”，等待关联素材");

    const auto none = PM::group({asset("IMG_0002.png")}, {}, {});
    EXPECT_EQ(none.assets[0].reason, "文件名与目录尚无明确项目线索");
}

TEST(ProjectGrouping, NewProjectsFollowInKeyOrder) {
    const auto g = PM::group({asset("Zephyr_v1.png"), asset("Zephyr_v2.png"), asset("Aurora_v1.png"),
                              asset("Aurora_v2.png"), asset("夏日新品_封面.png", "", "夏日新品")},
                             {project("Existing")}, {});
    ASSERT_EQ(g.projects.size(), 4u);
    EXPECT_EQ(g.projects[0].name, "Existing");
    EXPECT_EQ(g.projects[1].name, "Aurora");
    EXPECT_EQ(g.projects[2].name, "Zephyr");
    EXPECT_EQ(g.projects[3].name, "夏日新品");
}

TEST(ProjectGrouping, DeletedProjectsAreNotRecreated) {
    const Delivery gone = project("Gala Archive", "wintergala");
    std::vector<IndexedAsset> assets{asset("Winter Gala_cover.png"), asset("Winter Gala_v2.png"),
                                     asset("Moonrise_cover.png", "Gala Archive"), asset("Moonrise_v2.png")};
    const auto g = PM::group(assets, {}, {gone});
    EXPECT_TRUE(g.projects.empty());
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(g.assets[i].reason, "匹配已删除项目，等待手动关联");
        EXPECT_EQ(g.assets[i].projectID, std::nullopt);
    }
    // The asset sharing the topic is alone in its group now, with a weak clue.
    EXPECT_EQ(g.assets[3].reason, "发现主题“Moonrise”，等待关联素材");

    // Without a discovery key the deleted project's name gives the key; its aliases count too.
    const Delivery renamed = project("Harbor Lights", std::nullopt, std::vector<std::string>{"Dock Night"});
    const auto h = PM::group({asset("HarborLights_cover.png"), asset("HarborLights_v2.png"),
                              asset("Teaser_cover.png", "dock night"), asset("Teaser_v2.png", "dock night")},
                             {}, {renamed});
    EXPECT_TRUE(h.projects.empty());
    for (const IndexedAsset& a : h.assets) EXPECT_EQ(a.reason, "匹配已删除项目，等待手动关联") << a.file.name;
}

TEST(ProjectGrouping, LiveProjectsByNameAliasAndSeveral) {
    const Delivery launch = project("Acme Launch", std::nullopt, std::vector<std::string>{"Moon Shot"});
    const Delivery poster = project("Poster Series");
    const UUID previous = UUID::make();  // a project that no longer exists
    auto several = asset("acme launch poster series.png");
    several.projectID = previous;
    const auto g = PM::group({asset("moon_shot teaser.mp4"), several}, {launch, poster}, {});
    EXPECT_EQ(g.assets[0].projectID, launch.id);
    EXPECT_EQ(g.assets[0].reason, "匹配项目名称或别名");
    EXPECT_EQ(g.assets[1].projectID, previous);
    EXPECT_EQ(g.assets[1].reason, "同时匹配多个项目，需要确认");
    EXPECT_EQ(names(g.projects[0].files), std::vector<std::string>{"moon_shot teaser.mp4"});
    EXPECT_TRUE(g.projects[1].files.empty());
    EXPECT_NE(g.projects[0].updatedAt, launch.updatedAt);
    EXPECT_EQ(g.projects[1].updatedAt, poster.updatedAt);
}

TEST(ProjectGrouping, SeparatorHeavyNamesAndTextsGroupPromptly) {
    // Names with pieces made only of "-" or "_", against texts with long runs of separators:
    // the runs once took the matching minutes per asset.
    const Delivery brand = project("Brand - - Sale", std::nullopt, std::vector<std::string>{"- _ Launch", "Moon _ _"});
    const Delivery deleted = project("Dock - - - - - - - - - - Night");
    const std::string run(20000, '-');
    auto copyText = [&](std::string name, std::string text) {
        auto a = asset(std::move(name));
        a.file.text = std::move(text);
        return a;
    };
    const auto g = PM::group({copyText("a.txt", "brand " + run),             // no "Sale" after the run
                              copyText("b.txt", "brand " + run + " sale"),   // the name
                              copyText("c.txt", "x" + run + "launch"),       // no "_" in the run
                              copyText("d.txt", run + "_ launch"),           // the first alias
                              copyText("e.txt", "MOON" + run + "_-_"),       // the second alias
                              copyText("f.txt", "dock " + run + " night")},  // the deleted project
                             {brand}, {deleted});
    EXPECT_EQ(g.assets[0].projectID, std::nullopt);
    EXPECT_EQ(g.assets[1].projectID, brand.id);
    EXPECT_EQ(g.assets[2].projectID, std::nullopt);
    EXPECT_EQ(g.assets[3].projectID, brand.id);
    EXPECT_EQ(g.assets[4].projectID, brand.id);
    EXPECT_EQ(g.assets[5].projectID, std::nullopt);
    EXPECT_EQ(g.assets[5].reason, "匹配已删除项目，等待手动关联");
}

TEST(ProjectGrouping, SecondPassAssignsToNewProjects) {
    auto recognised = asset("IMG_0001.png");
    recognised.recognizedText = "AURORA TOUR 2024";
    auto notes = asset("notes.txt");
    notes.file.text = "Set list for the aurora-tour encore";
    auto manual = asset("IMG_0002.png", "aurora tour");
    manual.assignment = AssignmentMode::manual;
    const auto g =
        PM::group({asset("Aurora Tour_v1.png"), asset("Aurora Tour_cover.png"), recognised, notes, manual}, {}, {});
    ASSERT_EQ(g.projects.size(), 1u);
    const UUID created = g.projects[0].id;
    EXPECT_EQ(g.assets[2].projectID, created);
    EXPECT_EQ(g.assets[2].reason, "图片文字匹配项目主题");
    EXPECT_EQ(g.assets[3].projectID, created);
    EXPECT_EQ(g.assets[3].reason, "正文或目录匹配项目主题");
    // A manual asset without a live project takes no part in the second pass.
    EXPECT_EQ(g.assets[4].projectID, std::nullopt);
    EXPECT_EQ(g.assets[4].reason, "文件名与目录尚无明确项目线索");
    EXPECT_EQ(g.projects[0].files.size(), 4u);
}

TEST(ProjectGrouping, UntouchableAssetsAndFileLists) {
    Delivery launch = project("Acme Launch");
    DeliveryFile imported(UUID::make(), "zz imported.txt", "files/zz imported.txt", FileRole::copy, 3, "");
    launch.files = {imported};
    auto manual = asset("file 10.png");
    manual.assignment = AssignmentMode::manual;
    manual.projectID = launch.id;
    manual.reason = "手动";
    auto missing = asset("file 2.png");
    missing.isMissing = true;
    missing.projectID = launch.id;
    auto unassigned = asset("Acme Launch teaser.mp4");
    unassigned.assignment = AssignmentMode::unassigned;
    unassigned.reason = "用户移出";
    const auto g = PM::group({manual, missing, unassigned, asset("FILE 2.png", "acme launch")}, {launch}, {});
    EXPECT_EQ(g.assets[0].reason, "手动");
    EXPECT_EQ(g.assets[1].projectID, launch.id);
    EXPECT_EQ(g.assets[2].projectID, std::nullopt);
    EXPECT_EQ(g.assets[2].reason, "用户移出");
    EXPECT_EQ(g.assets[3].projectID, launch.id);
    // Kept files first; then by name, digits by value, case ignored and ties in asset order.
    EXPECT_EQ(names(g.projects[0].files),
              (std::vector<std::string>{"zz imported.txt", "file 2.png", "FILE 2.png", "file 10.png"}));
}

TEST(ProjectGrouping, EmptyInputs) {
    Delivery launch = project("Acme Launch");
    launch.files = {DeliveryFile(UUID::make(), "kept.txt", "files/kept.txt", FileRole::copy, 1, "")};
    const auto g = PM::group({}, {launch}, {});
    ASSERT_EQ(g.projects.size(), 1u);
    EXPECT_EQ(g.projects[0].files, launch.files);
    EXPECT_EQ(g.projects[0].updatedAt, launch.updatedAt);
    EXPECT_TRUE(PM::group({}, {}, {}).projects.empty());
}

namespace {

/// A mixed library: live, deleted and new topics in Latin and Han script, aliases, folder
/// hints, generation records, copy titles, recognised text and every kind of assignment.
struct MixedLibrary {
    std::vector<IndexedAsset> assets;
    std::vector<Delivery> projects, suppressed;
};

MixedLibrary mixedLibrary(std::size_t count, unsigned seed) {
    MixedLibrary lib;
    lib.projects = {project("Summer Sale", std::nullopt, std::vector<std::string>{"夏日特卖", "A"}),
                    project("Acme Launch", std::nullopt, std::vector<std::string>{"Moon Shot", "C++ Guide"}),
                    project("夏日新品"),
                    project("Renamed Project", "autumndrop"),
                    project("Straße Kampagne", std::nullopt, std::vector<std::string>{}),
                    project("Sale"),
                    project("Ｆｕｌｌ Ｗｉｄｔｈ")};
    lib.suppressed = {project("Winter Gala", "wintergala"),
                      project("旧品牌", std::nullopt, std::vector<std::string>{"Old Brand"})};
    const std::vector<std::string> topics{"Summer Sale",
                                          "summer_sale",
                                          "SUMMER-SALE",
                                          "summersale",
                                          "夏日新品",
                                          "夏日 新品",
                                          "Acme Launch",
                                          "moon shot",
                                          "Moon-Shot",
                                          "Autumn Drop",
                                          "autumn-drop",
                                          "Winter Gala",
                                          "Old Brand",
                                          "旧品牌",
                                          "Aurora Tour",
                                          "aurora_tour",
                                          "Zephyr",
                                          "星河计划",
                                          "星河 计划",
                                          "Wholesale",
                                          "STRASSE Kampagne",
                                          "Straße-Kampagne",
                                          "c++ guide",
                                          "full width",
                                          "Café Noël",
                                          "Cafe\u0301 Noe\u0308l",
                                          "IMG_1234",
                                          "Final",
                                          "新品",
                                          "Nebula",
                                          "Nebula Tour",
                                          "Poster Series",
                                          "summer sale2",
                                          "xsummer sale"};
    const std::vector<std::string> folders{
        "",     "output",          "客户/夏日新品", "Clients/Aurora Tour/Rendered Media",
        "下载", "projects/Nebula", "Gala Archive",  "素材/星河计划/封面"};
    const std::vector<std::string> prefixes{"", "2024-05-01_", "20240501 ", "01 - ", "07_"};
    const std::vector<std::string> suffixes{"", "_v2", " final", "_封面", " cover", "-1920x1080", "_03", " 文案"};
    const std::vector<std::string> extensions{".png", ".mp4", ".txt", ".json", ".srt"};
    std::mt19937 random(seed);
    auto pick = [&](const auto& list) -> const auto& { return list[random() % list.size()]; };
    for (std::size_t i = 0; i < count; ++i) {
        const std::string ext = pick(extensions);
        const std::string topic = pick(topics);
        std::string name = pick(prefixes) + topic + pick(suffixes) + ext;
        if (random() % 9 == 0) name = "IMG_" + std::to_string(1000 + i) + ext;
        const std::string folder = pick(folders);
        std::optional<std::string> hint = PM::folderTopic(folder);
        IndexedAsset a = asset(name, folder, hint);
        if (ext == ".txt") {
            a.file.role = FileRole::copy;
            a.file.text = (random() % 2 ? "# " + pick(topics) + "\n" : std::string("\n")) + "正文 " + pick(topics);
        } else if (ext == ".json") {
            a.file.text = random() % 2 ? R"({"prompt":"x","project":")" + pick(topics) + "\"}" : "{broken";
        } else if (ext == ".srt") {
            a.file.role = FileRole::subtitle;
            a.file.text = "1\n00:00:01,000 --> 00:00:02,000\n" + pick(topics) + "\n";
        } else if (random() % 4 == 0) {
            a.recognizedText = random() % 3 ? pick(topics) : std::string();
        }
        switch (random() % 10) {
            case 0:
                a.assignment = AssignmentMode::manual;
                a.projectID = pick(lib.projects).id;
                break;
            case 1: a.assignment = AssignmentMode::manual; break;
            case 2: a.assignment = AssignmentMode::unassigned; break;
            case 3: a.projectID = UUID::make(); break;
            case 4:
                a.isMissing = true;
                a.projectID = pick(lib.projects).id;
                break;
            case 5: a.projectID = pick(lib.projects).id; break;
            default: break;
        }
        a.reason = "旧理由";
        lib.assets.push_back(std::move(a));
    }
    // A file already listed in a project, one that is no asset, and a stale asset file.
    lib.projects[0].files.push_back(
        DeliveryFile(UUID::make(), "imported.txt", "files/imported.txt", FileRole::copy, 1, ""));
    lib.projects[1].files.push_back(lib.assets[0].file);
    return lib;
}

}  // namespace

TEST(ProjectGrouping, FastPathEqualsTheLiteralAlgorithm) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        const auto lib = mixedLibrary(700, seed);
        const auto fast = PM::group(lib.assets, lib.projects, lib.suppressed);
        const auto literal = literalGroup(lib.assets, lib.projects, lib.suppressed);
        // The set exercises every outcome.
        std::map<std::string, int> reasons;
        for (const auto& a : fast.assets) ++reasons[a.reason];
        for (const char* r : {"匹配项目名称或别名", "同时匹配多个项目，需要确认", "匹配已删除项目，等待手动关联",
                              "文件名与目录尚无明确项目线索", "共同文件名主题", "项目目录或同目录说明",
                              "正文或目录匹配项目主题", "旧理由"})
            EXPECT_GT(reasons[r], 0) << r;
        EXPECT_GT(fast.projects.size(), lib.projects.size());
        expectSameGrouping(fast, literal, lib.projects);
    }
}

TEST(ProjectGrouping, RegroupingItsOwnOutputChangesNothing) {
    // Only automatic and unassigned assets, none naming a project that is not live.
    auto lib = mixedLibrary(500, 9);
    std::unordered_set<UUID> live;
    for (const auto& p : lib.projects) live.insert(p.id);
    for (auto& a : lib.assets) {
        if (a.assignment == AssignmentMode::manual) a.assignment = AssignmentMode::automatic;
        if (a.projectID && !live.contains(*a.projectID)) a.projectID.reset();
    }
    const auto first = PM::group(lib.assets, lib.projects, lib.suppressed);
    const auto second = PM::group(first.assets, first.projects, lib.suppressed);
    EXPECT_TRUE(sameAssets(first.assets, second.assets));
    ASSERT_EQ(first.projects.size(), second.projects.size());
    for (std::size_t p = 0; p < first.projects.size(); ++p) {
        EXPECT_EQ(first.projects[p].id, second.projects[p].id);
        EXPECT_TRUE(first.projects[p].files == second.projects[p].files) << first.projects[p].name;
        EXPECT_EQ(first.projects[p].updatedAt, second.projects[p].updatedAt) << first.projects[p].name;
    }
}

TEST(ProjectGrouping, AStopRequestedEndsTheGroupingWithoutAResult) {
    // Small enough for one thread, and large enough for several.
    for (const std::size_t count : {std::size_t{20}, std::size_t{4000}}) {
        const auto lib = mixedLibrary(count, 5);
        std::stop_source stop;
        stop.request_stop();
        EXPECT_THROW(PM::group(lib.assets, lib.projects, lib.suppressed, stop.get_token()), CancellationError) << count;
        // The same input with a token that is never stopped is grouped.
        const auto done = PM::group(lib.assets, lib.projects, lib.suppressed, std::stop_source().get_token());
        EXPECT_EQ(done.assets.size(), lib.assets.size()) << count;
    }
}
