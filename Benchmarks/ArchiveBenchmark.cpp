// Archive rerun over files that are all archived already, with a large record list, beside a
// `find -printf` stat walk of the same files. Prints times and ratios.
//
//   ArchiveBenchmark [files=20000] [records=100000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "SorvikCore/FolderIndexer.hpp"
#include "SorvikCore/ProjectArchiver.hpp"

namespace fs = std::filesystem;
using namespace sorvik;

namespace {

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

/// Bytes this process has read through read(2) and friends so far.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

std::size_t countFiles(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) ++n;
    return n;
}

double timeCommand(const std::string& command, int rounds) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "command failed: %s\n", command.c_str());
        best = std::min(best, seconds(std::chrono::steady_clock::now() - start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int fileCount = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int recordCount = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int perProject = 1000;
    const int rounds = std::getenv("SORVIK_BENCH_ROUNDS") ? std::atoi(std::getenv("SORVIK_BENCH_ROUNDS")) : 5;

    std::string templ = (fs::temp_directory_path() / "sorvik-archive-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    const fs::path work = fs::canonical(templ);
    const fs::path sources = work / "src";
    const fs::path archiveRoot = work / "archive";
    Repository repository(work / "library");

    std::printf("preparing %d files in %d projects...\n", fileCount, (fileCount + perProject - 1) / perProject);
    std::vector<Delivery> projects;
    for (int i = 0; i < fileCount; ++i) {
        if (i % perProject == 0)
            projects.emplace_back(UUID::make(), "项目 " + std::to_string(i / perProject), std::vector<DeliveryFile>{},
                                  DeliveryTemplate::flexible());
        const fs::path folder = sources / ("f" + std::to_string(i / 200));
        fs::create_directories(folder);
        const std::string name = "asset_" + std::to_string(i) + (i % 3 == 0 ? ".png" : i % 3 == 1 ? ".mp4" : ".txt");
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << "content of file " << i << std::string(200, 'x');
        struct stat st {};
        ::stat(path.c_str(), &st);
        DeliveryFile file(UUID::make(), name, "",
                          i % 3 == 0   ? FileRole::cover
                          : i % 3 == 1 ? FileRole::video
                                       : FileRole::copy,
                          st.st_size, "");
        file.reference = FileReference::make(path, Date::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec),
                                             FolderIndexer::identity(path));
        projects.back().files.push_back(std::move(file));
    }

    const auto firstStart = std::chrono::steady_clock::now();
    std::vector<ArchiveRecord> archived = ProjectArchiver::archive(projects, repository, archiveRoot, {}, {});
    const double firstRun = seconds(std::chrono::steady_clock::now() - firstStart);

    // Older versions of the same assets and records of assets no longer in any project come
    // first, as a long-lived workspace would hold them.
    std::vector<ArchiveRecord> previous;
    const int extra = std::max(0, recordCount - static_cast<int>(archived.size()));
    previous.reserve(archived.size() + static_cast<std::size_t>(extra));
    for (int i = 0; i < extra; ++i) {
        ArchiveRecord r = archived[static_cast<std::size_t>(i) % archived.size()];
        r.id = UUID::make();
        if (i % 2 == 0) r.assetID = UUID::make();
        r.sourceModifiedAt = Date{r.sourceModifiedAt.seconds - 1000.0 - i};
        r.path += ".old" + std::to_string(i);
        previous.push_back(std::move(r));
    }
    previous.insert(previous.end(), archived.begin(), archived.end());
    const std::size_t archiveFiles = countFiles(archiveRoot);

    const std::string findBoth =
        "find '" + sources.string() + "' '" + archiveRoot.string() + "' -printf '%s %T@ %i\\n' > /dev/null";
    const std::string findSources = "find '" + sources.string() + "' -printf '%s %T@ %i\\n' > /dev/null";
    timeCommand(findBoth, 1);  // warm the caches

    double best = 1e9;
    std::size_t progressCalls = 0;
    bool unchanged = true;
    const long long readBefore = bytesRead();
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = ProjectArchiver::archive(projects, repository, archiveRoot, previous,
                                                     [&](const std::string&) { ++progressCalls; });
        best = std::min(best, seconds(std::chrono::steady_clock::now() - start));
        unchanged = unchanged && result.size() == previous.size();
    }
    const long long readAfter = bytesRead();
    const long long readOverhead = bytesRead() - readAfter;  // reading /proc/self/io itself

    double recordsOnly = 1e9;  // the same records without projects: copying the list
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ProjectArchiver::archive({}, repository, archiveRoot, previous, {});
        recordsOnly = std::min(recordsOnly, seconds(std::chrono::steady_clock::now() - start));
    }
    const std::size_t copies = countFiles(archiveRoot) - archiveFiles;

    const double findBothTime = timeCommand(findBoth, rounds);
    const double findSourcesTime = timeCommand(findSources, rounds);

    std::printf("first run (copy and verify %zu files): %.3f s\n", archived.size(), firstRun);
    std::printf("rerun, %d files, %zu records: %.4f s (best of %d)\n", fileCount, previous.size(), best, rounds);
    std::printf("  copies: %zu, progress calls: %zu, bytes read: %lld, records unchanged: %s\n", copies, progressCalls,
                readAfter - readBefore - readOverhead, unchanged ? "yes" : "NO");
    std::printf("  of which returning the record list (no projects): %.4f s\n", recordsOnly);
    std::printf("find -printf over sources and archive (%zu files): %.4f s\n", fileCount + archiveFiles, findBothTime);
    std::printf("find -printf over sources only (%d files): %.4f s\n", fileCount, findSourcesTime);
    std::printf("ratio rerun / find over the same files (sources and copies): %.2fx (target <= 2x)\n",
                best / findBothTime);
    std::printf("ratio rerun / find over the sources only: %.2fx\n", best / findSourcesTime);

    std::error_code ec;
    fs::remove_all(work, ec);
    return copies == 0 && progressCalls == 0 && readAfter - readBefore == readOverhead && unchanged ? 0 : 1;
}
