// Sources whose folders are swapped for links to a folder outside while they are scanned and
// exported: no byte of a file outside a source reaches the index or a package.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <thread>

#include <gtest/gtest.h>

#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/FolderDescriptors.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/JsonWriter.hpp"
#include "SorvikCore/ProjectArchiver.hpp"
#include "SorvikCore/ProjectHintFile.hpp"
#include "SorvikCore/Repository.hpp"
#include "Support/ScanSupport.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

// In every file outside, so any of their bytes that leak can be found.
constexpr const char* marker = "OUTSIDE7f3a9c";

bool exchange(const fs::path& a, const fs::path& b) {
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

/// Swaps two items once, at the `at`-th open below a folder whose last component is `target`.
struct SwapPoint {
    static inline std::string target;
    static inline int at = 0;
    static inline fs::path first, second;
    static inline std::atomic<int> calls{0};
    static inline std::atomic<bool> swapped{false};

    static void hook(std::string_view relative) {
        const bool matches = relative == target || relative.ends_with("/" + target);
        if (matches && ++calls == at) swapped = exchange(first, second);
    }
    SwapPoint(std::string name, int number, fs::path a, fs::path b) {
        target = std::move(name);
        at = number;
        first = std::move(a);
        second = std::move(b);
        calls = 0;
        swapped = false;
        files::setBeforeOpenBeneath(&SwapPoint::hook);
    }
    ~SwapPoint() { files::setBeforeOpenBeneath(nullptr); }
};

/// A source holding `folder` (a file and a "project.json") beside a hidden link to a folder
/// outside that holds files of the same names and a secret, all carrying the marker.
struct Swappable {
    test::TempDir dir;
    fs::path source = dir / "source";
    fs::path outside = dir / "outside";
    fs::path folder;
    fs::path link;

    explicit Swappable(const std::string& relative) : folder(source / relative) {
        link = folder.parent_path() / ".swap";
        fs::create_directories(folder);
        fs::create_directories(outside);
        test::writeFile(folder / "one.txt", "inside words");
        test::writeFile(folder / "project.json", R"({"name": "Inside"})");
        test::writeFile(outside / "one.txt", std::string("secret words ") + marker);
        test::writeFile(outside / "secret.txt", marker);
        test::writeFile(outside / "project.json", std::string(R"({"projectName": "银行卡 )") + marker + "\"}");
        fs::create_symlink(outside, link);
    }
};

/// Everything a scan puts into the index, as the library stores it, with the sources' errors.
std::string indexText(const ScanResult& result) {
    WorkspaceState state;
    state.assets = result.assets;
    json::Writer writer(json::Style::compact);
    coding::write(writer, state);
    std::string text = writer.finish();
    for (const auto& [id, error] : result.sourceErrors) text += error;
    return text;
}

void expectNothingOutside(const ScanResult& result) {
    EXPECT_EQ(indexText(result).find(marker), std::string::npos);
    EXPECT_EQ(test::findAsset(result, "secret.txt"), nullptr);
}

/// Every byte of the files below `folder`.
std::string contentBelow(const fs::path& folder) {
    std::string all;
    if (!fs::exists(folder)) return all;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) all += test::readFile(entry.path());
    return all;
}

}  // namespace

TEST(OpenBeneath, RefusesALinkAnywhereOnTheWayWithOrWithoutOpenat2) {
    test::TempDir dir;
    fs::create_directories(dir / "root" / "a" / "b");
    fs::create_directories(dir / "outside" / "b");
    test::writeFile(dir / "root" / "a" / "b" / "f", "in");
    test::writeFile(dir / "outside" / "b" / "f", marker);
    fs::create_symlink(dir / "outside", dir / "root" / "l");
    fs::create_symlink("a/b/f", dir / "root" / "fl");
    const files::FileDescriptor root = files::openFolder(dir / "root");
    for (const auto opener : {&files::openBeneath, &files::openBeneathByName}) {
        const files::FileDescriptor in = opener(root.get(), "a/b/f", O_RDONLY);
        ASSERT_TRUE(in);
        EXPECT_EQ(test::readFile("/proc/self/fd/" + std::to_string(in.get())), "in");
        for (const char* refused : {"l/b/f", "fl", "a/../l/b/f", "/etc/passwd", "a//b/f"}) {
            errno = 0;
            const bool opened = static_cast<bool>(opener(root.get(), refused, O_RDONLY));
            const int error = errno;
            EXPECT_FALSE(opened) << refused;
            EXPECT_TRUE(error == ELOOP || error == EXDEV) << refused << " " << error;
        }
        EXPECT_TRUE(opener(root.get(), "", O_RDONLY | O_DIRECTORY));
    }
}

// Each place where the scan opens a folder again after listing it: the walk entering a folder,
// the inspections of its files, the read of its "project.json" (and, with images, recognition).
TEST(SwappedSource, AFolderSwappedForALinkAtEachOpenLetsNothingOutsideIn) {
    ASSERT_TRUE(ProjectHintFile::read(Swappable("a").outside));  // the hint outside would be taken
    for (const std::string relative : {"a", "top/a"}) {
        for (int at = 1; at <= 4; ++at) {
            SCOPED_TRACE(relative + " at open " + std::to_string(at));
            Swappable tree(relative);
            test::Scanner scan;
            const SourceFolder source = SourceFolder::make(tree.source);
            const SwapPoint swap("a", at, tree.folder, tree.link);
            const ScanResult result = scan({source});
            EXPECT_TRUE(SwapPoint::swapped);
            expectNothingOutside(result);
        }
    }
}

TEST(SwappedSource, AnImageSwappedBeforeRecognitionIsNotReadFromOutside) {
    Swappable tree("a");
    fs::remove(tree.folder / "one.txt");
    test::shell("vips black " + (tree.folder / "IMG_0001.png").string() + " 32 32");
    test::shell("vips text " + (tree.outside / "IMG_0001.png").string() + " " + marker + " --dpi 200");
    test::Scanner scan;
    scan.recognizeText = true;
    const SourceFolder source = SourceFolder::make(tree.source);
    fs::remove(tree.folder / "project.json");
    // The walk, the inspection, then recognition.
    const SwapPoint swap("a", 3, tree.folder, tree.link);
    const ScanResult result = scan({source});
    EXPECT_TRUE(SwapPoint::swapped);
    expectNothingOutside(result);
}

TEST(SwappedSource, ExportRefusesAnOriginalWhoseFolderNowLeadsOutside) {
    Swappable tree("a");
    test::TempDir library;
    const fs::path destination = tree.dir / "out";
    fs::create_directories(destination);
    // Outside, a file of the same name, size and date: only where it is tells it apart.
    const fs::path inside = tree.folder / "clip.bin";
    test::writeFile(inside, std::string(40, 'i'));
    test::writeFile(tree.outside / "clip.bin", std::string(marker) + std::string(40 - std::strlen(marker), 'o'));
    struct stat info {};
    ASSERT_EQ(::stat(inside.c_str(), &info), 0);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree.outside / "clip.bin").c_str(), times, 0), 0);

    DeliveryFile file = FileInspector::inspect(inside, "", std::nullopt, false);
    file.reference = FileReference::make(inside, Date::fromTimespec(info.st_mtim.tv_sec, info.st_mtim.tv_nsec), {});
    WorkspaceState workspace;
    workspace.sources.push_back(SourceFolder::make(tree.source));
    workspace.projects.push_back(Delivery(UUID::make(), "Spring", {file}, DeliveryTemplate::flexible()));
    const Repository repository(library.path());
    const auto prepare = [&] {
        return AgentHandoff::prepare(workspace, workspace.projects[0].id, {file.id}, repository, destination);
    };
    {
        const SwapPoint swap("a/clip.bin", 1, tree.folder, tree.link);
        try {
            prepare();
            ADD_FAILURE() << "exported";
        } catch (const SorvikError& error) {
            EXPECT_STREQ(error.what(), "“clip.bin”现在指向来源文件夹以外，已拒绝导出。");
        }
        EXPECT_TRUE(SwapPoint::swapped);
    }
    EXPECT_TRUE(fs::is_empty(destination));
    // Swapped back, the same export succeeds.
    ASSERT_TRUE(exchange(tree.folder, tree.link));
    const ExportReceipt receipt = prepare();
    EXPECT_NE(contentBelow(receipt.path).find(std::string(40, 'i')), std::string::npos);
}

TEST(SwappedSource, ArchivingSkipsAnOriginalWhoseFolderNowLeadsOutside) {
    Swappable tree("a");
    test::TempDir library;
    const fs::path archive = tree.dir / "archive";
    const fs::path inside = tree.folder / "one.txt";
    DeliveryFile file = FileInspector::inspect(inside, "", std::nullopt, false);
    struct stat info {};
    ASSERT_EQ(::stat(inside.c_str(), &info), 0);
    file.reference = FileReference::make(inside, Date::fromTimespec(info.st_mtim.tv_sec, info.st_mtim.tv_nsec), {});
    const Delivery project(UUID::make(), "Spring", {file}, DeliveryTemplate::flexible());
    const Repository repository(library.path());
    const std::vector<fs::path> sources{tree.source};

    // The folder is a link to outside when the archive opens the original.
    ASSERT_TRUE(exchange(tree.folder, tree.link));
    const auto skipped = ProjectArchiver::archive({project}, repository, archive, {}, {}, {}, sources);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(contentBelow(archive).find(marker), std::string::npos);

    // Swapped back, the original is archived.
    ASSERT_TRUE(exchange(tree.folder, tree.link));
    const auto archived = ProjectArchiver::archive({project}, repository, archive, {}, {}, {}, sources);
    ASSERT_EQ(archived.size(), 1u);
    EXPECT_NE(contentBelow(archive).find("inside words"), std::string::npos);
    EXPECT_EQ(contentBelow(archive).find(marker), std::string::npos);
}

// The library inside a source, its "files" folder also reached through a link, and excluded
// under a name that goes through a link: set aside by what they are, not by how they are named.
TEST(SwappedSource, TheLibraryAndExcludedFoldersAreNeverIndexedUnderAnyName) {
    test::TempDir dir;
    const fs::path source = dir / "source";
    const fs::path library = source / "library";
    fs::create_directories(library / "files");
    fs::create_directories(source / "archive");
    fs::create_directories(source / "work");
    test::writeFile(library / "files" / "kept.txt", marker);
    test::writeFile(source / "archive" / "old.txt", marker);
    test::writeFile(source / "work" / "new.txt", "work");
    fs::create_symlink(library / "files", source / "work" / "into-library");
    fs::create_symlink(source, dir / "alias");

    const ScanResult result = FolderIndexer::scan({SourceFolder::make(source)}, {}, {dir / "alias" / "archive"},
                                                  dir / "alias" / "library", false, 1000, {});
    EXPECT_EQ(test::names(result), std::vector<std::string>{"new.txt"});
    expectNothingOutside(result);

    // The library's "files" folder exchanged with a folder the walk lists, just before its
    // file is inspected: the folder found there is not the one listed, and is not read.
    const SwapPoint swap("work", 2, source / "work", library / "files");
    const ScanResult swapped =
        FolderIndexer::scan({SourceFolder::make(source)}, {}, {dir / "alias" / "archive"}, library, false, 1000, {});
    EXPECT_TRUE(SwapPoint::swapped);
    EXPECT_EQ(swapped.assets.size(), 0u);
    expectNothingOutside(swapped);
}

// Folders swapped with links to outside as fast as a thread can, while scans and exports run.
TEST(SwappedSource, ScansAndExportsUnderConstantSwapsNeverTakeAnOutsideByte) {
    Swappable top("a");
    const fs::path nested = top.source / "top" / "b";
    fs::create_directories(nested);
    test::writeFile(nested / "two.txt", "nested words");
    fs::create_symlink(top.outside, nested.parent_path() / ".swap");
    test::TempDir library, packages;
    WorkspaceState workspace;
    workspace.sources.push_back(SourceFolder::make(top.source));
    const Repository repository(library.path());

    // Swaps until the test ends, however it ends.
    struct Swapper {
        std::atomic<bool> done{false};
        std::atomic<long> swaps{0};
        std::thread thread;
        ~Swapper() {
            done = true;
            if (thread.joinable()) thread.join();
        }
    } swapper;
    swapper.thread = std::thread([&] {
        while (!swapper.done) {
            swapper.swaps += exchange(top.folder, top.link);
            swapper.swaps += exchange(nested, nested.parent_path() / ".swap");
        }
    });
    test::Scanner scan;
    ScanResult last;
    int scans = 0, exports = 0;
    std::size_t scannedBytes = 0, exportedBytes = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (scans < 400 && elapsed() < 2.5) {
        // Every other scan inspects everything again.
        last = scan(workspace.sources, scans % 2 ? last.assets : std::vector<IndexedAsset>{});
        ++scans;
        const std::string index = indexText(last);
        scannedBytes += index.size();
        ASSERT_EQ(index.find(marker), std::string::npos) << "scan " << scans;
        for (const IndexedAsset& asset : last.assets) {
            if (asset.isMissing || !asset.file.reference) continue;
            const fs::path destination = packages / ("out" + std::to_string(scans));
            fs::create_directories(destination);
            Delivery project(UUID::make(), "Swap", {asset.file}, DeliveryTemplate::flexible());
            workspace.projects = {project};
            try {
                AgentHandoff::prepare(workspace, project.id, {asset.file.id}, repository, destination);
                ++exports;
            } catch (const std::exception&) {
                // Refused or changed meanwhile: either way nothing was written.
            }
            const std::string written = contentBelow(destination);
            exportedBytes += written.size();
            ASSERT_EQ(written.find(marker), std::string::npos) << "export after scan " << scans;
            fs::remove_all(destination);
        }
    }
    const double seconds = elapsed();
    const long swaps = swapper.swaps;
    EXPECT_GT(swaps, scans);
    std::printf(
        "%d scans and %d exports in %.2f s under %ld swaps: %zu index bytes, %zu package bytes, "
        "0 from outside\n",
        scans, exports, seconds, swaps, scannedBytes, exportedBytes);
}
