#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {
std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
}  // namespace

TEST(Repository, NewFolderLoadsFreshStateAndWritesNothing) {
    test::TempDir tmp;
    const Repository repo(tmp / "a" / "b" / "lib");
    EXPECT_TRUE(fs::is_directory(repo.root()));
    const WorkspaceState w = repo.loadWorkspace();
    EXPECT_TRUE(w.projects.empty());
    EXPECT_TRUE(w.automaticScan);
    EXPECT_FALSE(w.automaticArchive);
    EXPECT_TRUE(repo.loadPresets().empty());
    EXPECT_TRUE(repo.load().empty());
    EXPECT_TRUE(entries(repo.root()).empty());
}

TEST(Repository, RootThatIsAFileFails) {
    test::TempDir tmp;
    test::writeFile(tmp / "file", "x");
    EXPECT_THROW(Repository(tmp / "file"), fs::filesystem_error);
}

TEST(Repository, LibraryJsonIsReadUntilWorkspaceExists) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    repo.save({Delivery(UUID::make(), "一", {}, DeliveryTemplate::video()),
               Delivery(UUID::make(), "二", {}, DeliveryTemplate::flexible())});
    WorkspaceState w = repo.loadWorkspace();
    ASSERT_EQ(w.projects.size(), 2u);
    EXPECT_EQ(w.projects[1].name, "二");
    EXPECT_EQ(w.schemaVersion, 1);
    EXPECT_TRUE(w.recognizeImageText);
    EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"library.json"});

    w.projects.pop_back();
    repo.saveWorkspace(w);
    EXPECT_EQ(entries(tmp.path()), (std::vector<std::string>{"library.json", "workspace.json"}));
    EXPECT_EQ(repo.loadWorkspace().projects.size(), 1u);
    EXPECT_EQ(repo.load().size(), 2u);
}

TEST(Repository, WorkspaceIsCompactSortedAndPresetsPretty) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    WorkspaceState w({Delivery(UUID::make(), "项目", {}, DeliveryTemplate::graphic())});
    repo.saveWorkspace(w);
    const std::string text = test::readFile(tmp / "workspace.json");
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.rfind("{\"archives\":[],\"assets\":[],\"automaticArchive\":false,", 0), 0u) << text;
    EXPECT_NE(text.find("项目"), std::string::npos);  // not escaped

    repo.savePresets({TemplatePreset{UUID::make(), DeliveryTemplate::video()}});
    const std::string presets = test::readFile(tmp / "templates.json");
    EXPECT_NE(presets.find("\n  "), std::string::npos);
    const auto back = repo.loadPresets();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].templ, DeliveryTemplate::video());
}

TEST(Repository, BadWorkspaceFailsAndIsLeftAlone) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    for (const std::string& bad : {std::string("{}"), std::string("{\"schemaVersion\":1"), std::string("\xff\xfe")}) {
        test::writeFile(tmp / "workspace.json", bad);
        EXPECT_ANY_THROW(repo.loadWorkspace()) << bad;
        EXPECT_EQ(test::readFile(tmp / "workspace.json"), bad);
    }
}

TEST(Repository, BytesAfterTheDocumentMakeLibraryFilesUnreadable) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    repo.saveWorkspace(WorkspaceState({Delivery(UUID::make(), "项目", {}, DeliveryTemplate::video())}));
    repo.savePresets({TemplatePreset{UUID::make(), DeliveryTemplate::graphic()}});
    repo.save({Delivery(UUID::make(), "旧", {}, DeliveryTemplate::flexible())});
    const std::vector<std::pair<std::string, std::function<void()>>> files{
        {"workspace.json", [&] { repo.loadWorkspace(); }},
        {"templates.json", [&] { repo.loadPresets(); }},
        {"library.json", [&] { repo.load(); }},
    };
    for (const auto& [name, load] : files) {
        const std::string good = test::readFile(tmp / name);
        for (const std::string& tail : {std::string("\0garbage", 8), std::string(1, '\0'), std::string(" x"),
                                        std::string("{}"), std::string("\n]")}) {
            fs::remove(tmp / name);
            test::writeFile(tmp / name, good + tail);
            EXPECT_THROW(load(), DecodingError) << name << " + " << tail.size() << " bytes";
            EXPECT_EQ(test::readFile(tmp / name), good + tail) << name;
        }
        fs::remove(tmp / name);
        test::writeFile(tmp / name, good + " \n\t\r\n");
        EXPECT_NO_THROW(load()) << name;
    }
    // library.json is read for the workspace only while workspace.json is absent.
    fs::remove(tmp / "workspace.json");
    test::writeFile(tmp / "library.json", test::readFile(tmp / "library.json") + std::string("\0x", 2));
    EXPECT_THROW(repo.loadWorkspace(), DecodingError);
}

TEST(Repository, DanglingWorkspaceLinkFailsInsteadOfLoadingEmpty) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    // With library.json present, a broken workspace link must not fall back to it either.
    repo.save({Delivery(UUID::make(), "old", {}, DeliveryTemplate::flexible())});
    fs::create_symlink(tmp / "gone.json", tmp / "workspace.json");
    EXPECT_THROW(repo.loadWorkspace(), std::system_error);
    EXPECT_TRUE(fs::is_symlink(tmp / "workspace.json"));
}

TEST(Repository, FifoWorkspaceFailsWithoutBlocking) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    ASSERT_EQ(::mkfifo((tmp / "workspace.json").c_str(), 0644), 0);
    EXPECT_THROW(repo.loadWorkspace(), std::system_error);
}

TEST(Repository, AtomicSaveLeavesNoTemporaryFiles) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    WorkspaceState w;
    for (int i = 0; i < 5; ++i) {
        w.projects.push_back(Delivery(UUID::make(), "p" + std::to_string(i), {}, DeliveryTemplate::flexible()));
        repo.saveWorkspace(w);
    }
    EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"workspace.json"});
    EXPECT_EQ(repo.loadWorkspace().projects.size(), 5u);
}

TEST(Repository, FailedEncodingKeepsThePreviousFile) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    WorkspaceState w({Delivery(UUID::make(), "good", {}, DeliveryTemplate::flexible())});
    repo.saveWorkspace(w);
    const std::string before = test::readFile(tmp / "workspace.json");
    w.projects[0].name = "bad\xc3";
    EXPECT_THROW(repo.saveWorkspace(w), EncodingError);
    w.projects[0].name = "nan";
    w.lastScan = Date{std::nan("")};
    EXPECT_THROW(repo.saveWorkspace(w), EncodingError);
    EXPECT_EQ(test::readFile(tmp / "workspace.json"), before);
    EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"workspace.json"});
}

TEST(Repository, AStoppedEncodingIsCancelledAndAnUnstoppedOneIsWhole) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    WorkspaceState w({Delivery(UUID::make(), "one", {}, DeliveryTemplate::flexible())});
    repo.saveWorkspace(w);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW((void)repo.workspaceText(w, w.projects, stop.get_token()), CancellationError);
    EXPECT_EQ(repo.workspaceText(w, w.projects, std::stop_source().get_token()), repo.workspaceText(w, w.projects));
}

TEST(Repository, WriteIntoUnwritableFolderFailsCleanly) {
    test::TempDir tmp;
    const Repository repo(tmp.path());
    fs::permissions(tmp.path(), fs::perms::owner_read | fs::perms::owner_exec);
    test::withoutPermissionOverride([&] { EXPECT_THROW(repo.saveWorkspace(WorkspaceState{}), std::system_error); });
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(Repository, FileUrlContainment) {
    test::TempDir tmp;
    const Repository repo(tmp / "lib");
    DeliveryFile f(UUID::make(), "a.png", "files/P/B/C.png", FileRole::cover, 1, "");
    EXPECT_EQ(repo.fileURL(f), tmp / "lib" / "files/P/B/C.png");  // need not exist

    for (const std::string& bad :
         {std::string(""), std::string("../outside.png"), std::string("files/../../x"), std::string("a\0b", 3)}) {
        f.relativePath = bad;
        try {
            repo.fileURL(f);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const SorvikError& e) {
            EXPECT_EQ(e.errorDescription(), "文件路径不属于Sorvik资料库");
        }
    }
    // An absolute relative path is appended, not substituted.
    f.relativePath = "/etc/passwd";
    EXPECT_EQ(repo.fileURL(f), tmp / "lib" / "etc/passwd");

    // A link inside the library that leads out is refused.
    fs::create_directories(tmp / "elsewhere");
    fs::create_symlink(tmp / "elsewhere", tmp / "lib" / "escape");
    f.relativePath = "escape/x.png";
    EXPECT_THROW(repo.fileURL(f), SorvikError);

    f.reference = FileReference::make("/anywhere/x.png", Date{1}, std::nullopt);
    EXPECT_EQ(repo.fileURL(f), fs::path("/anywhere/x.png"));
}

TEST(Repository, RootFolderAsLibraryContainsItsChildren) {
    EXPECT_TRUE(Repository::contains("/", "/tmp/x"));
    EXPECT_FALSE(Repository::contains("/", "/"));
    EXPECT_TRUE(Repository::contains("/a/files", "/a/files/x"));
    EXPECT_FALSE(Repository::contains("/a/files", "/a/files2/x"));
}

TEST(DefaultLibraryFolder, FollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/custom/data", 1);
    EXPECT_EQ(defaultLibraryFolder(), fs::path("/custom/data/Sorvik"));
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (home) {
        EXPECT_EQ(defaultLibraryFolder(), fs::path(home) / ".local/share/Sorvik");
    }
    if (saved) ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
}

TEST(Repository, LibraryFilesAboveOneGibibyteAreRefusedUnread) {
    // Sparse files: their size is all that is looked at, before any byte is read.
    test::TempDir tmp;
    const Repository repo(tmp.path());
    const std::vector<std::pair<std::string, std::function<void()>>> files{
        {"workspace.json", [&] { repo.loadWorkspace(); }},
        {"templates.json", [&] { repo.loadPresets(); }},
        {"library.json", [&] { repo.load(); }},
    };
    for (const auto& [name, load] : files) {
        for (const off_t size : {(off_t{1} << 30) + 1, off_t{3} << 30}) {
            test::writeFile(tmp / name, "");
            ASSERT_EQ(::truncate((tmp / name).c_str(), size), 0);
            try {
                load();
                ADD_FAILURE() << name << " was read";
            } catch (const SorvikError& e) {
                EXPECT_EQ(e.errorDescription(), "“" + name + "”超过 1 GB，不是可以读取的资料库文件。");
            }
            EXPECT_EQ(fs::file_size(tmp / name), static_cast<std::uintmax_t>(size)) << name;
        }
        fs::remove(tmp / name);
    }
    // Up to the limit a file is read as usual: here a damaged one, as its decoding says.
    test::writeFile(tmp / "templates.json", "[" + std::string(1 << 20, ' ') + "]");
    EXPECT_TRUE(repo.loadPresets().empty());
}
