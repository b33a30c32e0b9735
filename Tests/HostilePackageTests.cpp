// The agent against hostile folders and packages: links and ".." in packages, destinations
// and library paths, originals swapped for links, signals and resource limits.
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SorvikCore/ExportManifest.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/TestSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

std::string message(const test::ProcessResult& r) {
    if (r.status != 1 || !r.out.empty()) return "(no failure: status " + std::to_string(r.status) + " " + r.out + ")";
    return json::parse(r.err)["message"].get<std::string>();
}

std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// A library with one project of linked originals, a source folder and a destination.
struct Library {
    test::TempDir dir;
    fs::path root = dir / "Library";
    fs::path sources = dir / "sources";
    fs::path destination = dir / "out";
    WorkspaceState workspace;
    UUID projectID = UUID::make();

    Library() {
        fs::create_directories(sources);
        fs::create_directories(destination);
        workspace.projects.emplace_back(projectID, "Hand-off", std::vector<DeliveryFile>{},
                                        DeliveryTemplate::flexible());
        save();
    }

    /// Links an original as a scan would (empty sha256), under `name` in the project.
    UUID add(const std::string& fileName, const std::string& content, const std::string& name = {}) {
        const fs::path path = sources / fileName;
        if (!fs::exists(path)) test::writeFile(path, content);
        struct stat st {};
        ::stat(path.c_str(), &st);
        DeliveryFile file(UUID::make(), name.empty() ? fileName : name, "", FileRole::extra,
                          static_cast<std::int64_t>(st.st_size), "");
        file.reference = FileReference::make(path, Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), {});
        workspace.assets.emplace_back(file, std::nullopt, "", std::nullopt);
        workspace.projects[0].files.push_back(file);
        save();
        return file.id;
    }
    void save() const { Repository(root).saveWorkspace(workspace); }

    std::vector<std::string> prepareArgs(const std::string& ids, const std::string& dest) const {
        return {"--data-dir", root.string(), "prepare", projectID.string(), ids, dest};
    }
    test::ProcessResult prepare(const std::string& ids, const fs::path& dest) const {
        return test::runAgent(prepareArgs(ids, dest.string()));
    }
    /// A prepared package's manifest.
    fs::path prepared(const std::string& ids) const {
        const auto r = prepare(ids, destination);
        EXPECT_EQ(r.status, 0) << r.err;
        return json::parse(r.out)["manifestPath"].get<std::string>();
    }
};

void editManifest(const fs::path& manifest, const std::function<void(Json&)>& edit) {
    Json j = json::parse(test::readFile(manifest));
    edit(j);
    fs::remove(manifest);
    test::writeFile(manifest, json::dumpPretty(j));
}

test::ProcessResult verify(const fs::path& manifest) { return test::runAgent({"verify", manifest.string()}); }

/// Sets both times of a file to those of another.
void copyTimes(const fs::path& from, const fs::path& to) {
    struct stat st {};
    ASSERT_EQ(::stat(from.c_str(), &st), 0);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

}  // namespace

TEST(HostilePackage, OutputPathsThroughLinksDotsOrAliasesAreRefused) {
    Library lib;
    lib.add("a.txt", "hello");
    const fs::path manifest = lib.prepared(lib.workspace.projects[0].files[0].id.string());
    const fs::path package = manifest.parent_path();
    const std::string listed = ExportManifest(decodeManifestFile(test::readFile(manifest))).files[0].outputPath;
    ASSERT_EQ(verify(manifest).status, 0);

    // "lnk/../05_附件/…" names, for the kernel, a file outside the package: lnk is followed
    // before its "..". Listed with the hash of the file inside, a consumer opening the path
    // would read content that was never checked.
    const fs::path outside = lib.dir / "outside";
    test::writeFile(outside / listed, "planted, never hashed by the exporter");
    fs::create_directories(outside / "sub");
    fs::create_symlink("../outside/sub", package / "lnk");
    const std::string planted = test::readFile(outside / listed);
    const std::string original = test::readFile(manifest);
    const auto withPath = [&](const std::string& path, const std::string& content) {
        test::writeFile(manifest, original);
        editManifest(manifest, [&](Json& j) {
            j["files"][0]["outputPath"] = path;
            j["files"][0]["bytes"] = content.size();
            j["files"][0]["sha256"] = hashing::sha256Hex(content);
        });
        return verify(manifest);
    };
    const std::string hello = "hello";
    EXPECT_EQ(message(withPath("lnk/../" + listed, hello)), "快照文件校验失败：lnk/../" + listed);
    EXPECT_EQ(message(withPath("lnk/../" + listed, planted)), "快照文件校验失败：lnk/../" + listed);

    // Trailing or doubled "/", and "." components: never written by the exporter.
    for (const std::string& alias :
         {listed + "/", "./" + listed, "05_附件//" + listed.substr(listed.find('/') + 1),
          "05_附件/./" + listed.substr(listed.find('/') + 1), std::string("."), std::string()})
        EXPECT_EQ(message(withPath(alias, hello)), "快照文件校验失败：" + alias) << alias;
    EXPECT_EQ(withPath(listed, hello).status, 0);

    // Two entries naming one file, the second through a folder link inside the package: the
    // second is refused before anything is hashed twice.
    fs::create_directory_symlink("05_附件", package / "alias");
    test::writeFile(manifest, original);
    const std::string second = "alias/" + listed.substr(listed.find('/') + 1);
    editManifest(manifest, [&](Json& j) {
        Json entry = j["files"][0];
        entry["assetID"] = UUID::make().string();
        entry["outputPath"] = second;
        j["files"].push_back(entry);
    });
    EXPECT_EQ(message(verify(manifest)), "快照文件校验失败：" + second);
}

TEST(HostilePackage, DestinationAndLibraryAreTheFoldersTheKernelFinds) {
    Library lib;
    const UUID id = lib.add("a.txt", "hello");
    // LINK/.. where LINK leads into the library: the kernel writes into the library itself.
    fs::create_directories(lib.root / "inner" / "deeper");
    fs::create_directory_symlink(lib.root / "inner" / "deeper", lib.dir / "link");
    const auto before = listing(lib.root);
    EXPECT_EQ(message(lib.prepare(id.string(), lib.dir / "link" / "..")), "请将交付包导出到Sorvik资料库以外的文件夹。");
    EXPECT_EQ(listing(lib.root / "inner"), std::vector<std::string>{"deeper"});
    EXPECT_EQ(listing(lib.root), before);

    // --data-dir LINK/.. is the folder the kernel finds too, not the link's own folder.
    fs::create_directory_symlink(lib.root / "inner", lib.dir / "into");
    const auto listed = test::runAgent({"--data-dir", (lib.dir / "into" / "..").string(), "projects"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(json::parse(listed.out)[0]["name"], "Hand-off");
    const auto inside = test::runAgent({"--data-dir", (lib.dir / "into" / "..").string(), "prepare",
                                        lib.projectID.string(), id.string(), (lib.root / "inner").string()});
    EXPECT_EQ(message(inside), "请将交付包导出到Sorvik资料库以外的文件夹。");
}

TEST(HostilePackage, AnOriginalSwappedForALinkIsNeverExported) {
    Library lib;
    const fs::path secret = lib.dir / "private" / "id_key";
    test::writeFile(secret, "PRIVATE-KEY-0123");
    const fs::path original = lib.sources / "decoy.bin";
    test::writeFile(original, "decoy-bytes-0123");
    copyTimes(secret, original);
    const UUID id = lib.add("decoy.bin", "");
    // Same size and date: only following the link would tell them apart.
    fs::remove(original);
    fs::create_symlink(secret, original);
    EXPECT_EQ(message(lib.prepare(id.string(), lib.destination)), "“decoy.bin”已更新，请重新扫描后再交付。");
    EXPECT_TRUE(listing(lib.destination).empty());
}

TEST(HostilePackage, SwapsDuringExportNeverBringOtherContentIntoAPackage) {
    Library lib;
    const std::string decoyContent(4096, 'd'), secretContent(4096, 's');
    const fs::path decoy = lib.dir / "decoy", secret = lib.dir / "secret";
    test::writeFile(decoy, decoyContent);
    test::writeFile(secret, secretContent);
    copyTimes(decoy, secret);
    const fs::path source = lib.sources / "clip.bin";
    ASSERT_EQ(::link(decoy.c_str(), source.c_str()), 0);
    const UUID id = lib.add("clip.bin", "");

    // The original flips between a hard link of the decoy and a link to the secret.
    std::atomic<bool> done{false};
    std::atomic<int> swaps{0};
    std::thread swapper([&] {
        const fs::path hard = lib.sources / ".hard", soft = lib.sources / ".soft";
        while (!done.load()) {
            ::unlink(hard.c_str());
            ::unlink(soft.c_str());
            if (::link(decoy.c_str(), hard.c_str()) == 0) ::rename(hard.c_str(), source.c_str());
            if (::symlink(secret.c_str(), soft.c_str()) == 0) ::rename(soft.c_str(), source.c_str());
            swaps.fetch_add(1);
        }
    });
    int exported = 0;
    for (int run = 0; run < 50; ++run) {
        const auto r = lib.prepare(id.string(), lib.destination);
        if (r.status == 0) {
            ++exported;
            const fs::path manifest = json::parse(r.out)["manifestPath"].get<std::string>();
            for (const auto& entry : fs::recursive_directory_iterator(manifest.parent_path()))
                if (entry.is_regular_file()) {
                    EXPECT_EQ(test::readFile(entry.path()).find(secretContent), std::string::npos);
                }
        } else {
            const std::string m = message(r);
            EXPECT_TRUE(m == "“clip.bin”已更新，请重新扫描后再交付。" || m == "“clip.bin”在导出时发生变化，请重试。")
                << m;
        }
    }
    done = true;
    swapper.join();
    EXPECT_GT(swaps.load(), 1000);
    for (const auto& entry : fs::recursive_directory_iterator(lib.destination)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".sorvik-")) << entry.path();
        if (entry.is_regular_file() && !entry.is_symlink()) {
            EXPECT_NE(test::readFile(entry.path()), secretContent) << entry.path();
        }
    }
    RecordProperty("exported", exported);
}

TEST(HostilePackage, ControlCharactersNeverReachAFileName) {
    Library lib;
    lib.add("clip.bin", "content", std::string("clip.t\0xt", 9));
    lib.workspace.projects[0].name = std::string("Line\x01one\x7f\xc2\x85two", 14);
    lib.save();
    const fs::path manifest = lib.prepared(lib.workspace.projects[0].files[0].id.string());
    const ExportManifest m = decodeManifestFile(test::readFile(manifest));
    EXPECT_EQ(m.files[0].outputPath, "05_附件/Line_one__two_附件_01.t_xt");
    EXPECT_TRUE(fs::is_regular_file(manifest.parent_path() / m.files[0].outputPath));
    EXPECT_EQ(manifest.parent_path().filename(), "Line_one__two");
    EXPECT_EQ(verify(manifest).status, 0);
}

TEST(HostilePackage, AFileSizeLimitIsAClearErrorAndLeavesNothing) {
    Library lib;
    const UUID id = lib.add("big.bin", std::string(1 << 20, 'b'));
    std::vector<std::string> args{"--fsize=65536", "--", SORVIK_AGENT_PATH};
    for (const auto& a : lib.prepareArgs(id.string(), lib.destination.string())) args.push_back(a);
    const auto r = test::runProcess("prlimit", args);
    ASSERT_EQ(r.status, 1) << r.err;
    EXPECT_NE(message(r).find("File too large"), std::string::npos) << r.err;
    EXPECT_TRUE(listing(lib.destination).empty());
}

TEST(HostilePackage, TerminationDuringPrepareRemovesTheTemporaryFolder) {
    Library lib;
    std::string big(256 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
    const UUID id = lib.add("big.bin", big);
    big.clear();
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        // Watch the destination, start the agent and signal it once its temporary folder appears.
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, lib.destination.c_str(), IN_CREATE), 0);
        int errPipe[2];
        ASSERT_EQ(::pipe2(errPipe, O_CLOEXEC), 0);
        const auto args = lib.prepareArgs(id.string(), lib.destination.string());
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(errPipe[1], STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(SORVIK_AGENT_PATH)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(SORVIK_AGENT_PATH, argv.data());
            ::_exit(127);
        }
        ::close(errPipe[1]);
        bool signalled = false;
        alignas(inotify_event) char events[4096];
        for (pollfd p{watch, POLLIN, 0}; !signalled && ::poll(&p, 1, 30000) > 0;) {
            const ssize_t n = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                if (e->len > 0 && std::string_view(e->name).starts_with(".sorvik-"))
                    signalled = ::kill(pid, signal) == 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        ::close(watch);
        std::string err;
        char buffer[4096];
        for (ssize_t n; (n = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
            err.append(buffer, static_cast<std::size_t>(n));
        ::close(errPipe[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(signalled);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(json::parse(err)["status"], "error") << err;
        // Every answer of the agent is Chinese, this one too.
        EXPECT_EQ(json::parse(err)["message"], "操作已取消。") << err;
        EXPECT_TRUE(listing(lib.destination).empty());
    }
}

TEST(HostilePackage, WithoutThreadsAnIntactPackageIsPreparedAndVerified) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer cannot start without a thread of its own";
#endif
    Library lib;
    for (int i = 0; i < 6; ++i) lib.add("f" + std::to_string(i) + ".bin", std::string(1000 + i, 'x'));
    std::string ids;
    for (const auto& f : lib.workspace.projects[0].files) ids += (ids.empty() ? "" : ",") + f.id.string();
    // Root is never refused a thread: the agent runs as another user there.
    std::vector<std::string> prefix{"--nproc=1", "--"};
    if (::geteuid() == 0) {
        for (const auto& p : fs::recursive_directory_iterator(lib.dir.path()))
            if (p.is_directory()) fs::permissions(p.path(), fs::perms::all, fs::perm_options::add);
        fs::permissions(lib.dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                            fs::perms::group_read | fs::perms::others_read);
        for (const char* a : {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}) prefix.push_back(a);
    }
    const auto run = [&](std::vector<std::string> args) {
        std::vector<std::string> all = prefix;
        all.push_back(SORVIK_AGENT_PATH);
        all.insert(all.end(), args.begin(), args.end());
        // The leak checker's own thread would be refused too.
        return test::runProcess("prlimit", all, {"ASAN_OPTIONS=detect_leaks=0"});
    };
    const auto prepared = run(lib.prepareArgs(ids, lib.destination.string()));
    ASSERT_EQ(prepared.status, 0) << prepared.err;
    const Json answer = json::parse(prepared.out);
    const auto verified =
        run({"verify", answer["manifestPath"].get<std::string>(), answer["manifestSHA256"].get<std::string>()});
    ASSERT_EQ(verified.status, 0) << verified.err;
    EXPECT_EQ(json::parse(verified.out)["files"].size(), 6u);
}

namespace {

/// Starts `prepare` in another process and sends it `signal` as soon as its temporary folder
/// appears; the temporary folder's name, or empty when none appeared.
std::string signalDuringPrepare(const Library& lib, const UUID& id, int signal, pid_t& pid) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, lib.destination.c_str(), IN_CREATE) < 0) return {};
    const auto args = lib.prepareArgs(id.string(), lib.destination.string());
    pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(SORVIK_AGENT_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(SORVIK_AGENT_PATH, argv.data());
        ::_exit(127);
    }
    std::string temporary;
    alignas(inotify_event) char events[4096];
    for (pollfd p{watch, POLLIN, 0}; temporary.empty() && ::poll(&p, 1, 30000) > 0;) {
        const ssize_t n = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->len > 0 && std::string_view(e->name).starts_with(".sorvik-")) temporary = e->name;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    ::close(watch);
    ::kill(pid, signal);
    return temporary;
}

}  // namespace

TEST(HostilePackage, TemporaryFoldersOfKilledExportsGoWithTheNextExportOnly) {
    Library lib;
    std::string big(64 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
    const UUID id = lib.add("big.bin", big);
    big.clear();
    const UUID small = lib.add("small.txt", "small");

    // A stopped export still holds its folder: another export into the same place leaves it be.
    pid_t stopped = 0;
    const std::string held = signalDuringPrepare(lib, id, SIGSTOP, stopped);
    ASSERT_FALSE(held.empty());
    int status = 0;
    ASSERT_EQ(::waitpid(stopped, &status, WUNTRACED), stopped);
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_TRUE(fs::is_directory(lib.destination / held));
    ASSERT_EQ(lib.prepare(small.string(), lib.destination).status, 0);
    EXPECT_TRUE(fs::is_directory(lib.destination / held));

    // Killed, it holds nothing: the next export removes what it left, and nothing else. Here
    // that export is killed in turn, and the one after it removes its folder.
    ASSERT_EQ(::kill(stopped, SIGKILL), 0);
    ASSERT_EQ(::waitpid(stopped, &status, 0), stopped);
    ASSERT_TRUE(WIFSIGNALED(status));
    pid_t killed = 0;
    const std::string left = signalDuringPrepare(lib, id, SIGKILL, killed);
    ASSERT_FALSE(left.empty());
    ASSERT_EQ(::waitpid(killed, &status, 0), killed);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the export ended before it was killed";
    // That export removed the first one's folder before it made its own.
    EXPECT_FALSE(fs::exists(lib.destination / held));
    EXPECT_TRUE(fs::is_directory(lib.destination / left));
    ASSERT_EQ(lib.prepare(small.string(), lib.destination).status, 0);
    EXPECT_EQ(listing(lib.destination), (std::vector<std::string>{"Hand-off", "Hand-off 2"}));
}
