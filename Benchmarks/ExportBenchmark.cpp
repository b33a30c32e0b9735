// Export and verify of a package against what a user would script with cp and sha256sum.
//
//   ExportBenchmark [--quick] [--only=large|medium|small] [--dir=PATH] [--runs=N]
//
// Default sets: 1 file of 2 GiB, 200 of 5 MB, 2,000 of 4 KB (--quick: 128 MiB, 40 and 400).
// Caches are warmed before every timed run; every run writes into a fresh folder (a set of
// at most 1 GiB keeps the earlier runs' folders until its last run, so that no deletion just
// before the timing decides where the file system puts the new files); each figure is the
// median of the runs. Targets: export at most 0.5x "cp + sha256sum" and
// at most 1.1x the floor "cp --reflink=auto + 3 openssl dgst passes"; verify at most 1x
// "sha256sum -c", in process and as the command line "sorvik-agent verify" (both whole
// processes started from a shell).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "BenchmarkFiles.hpp"
#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/FileSystem.hpp"

namespace fs = std::filesystem;
using namespace sorvik;
using namespace sorvik::bench;

namespace {

std::string quote(const fs::path& p) { return "'" + p.string() + "'"; }

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The median of `runs` timed runs of work(i); prepare(i) runs untimed before each.
double median(int runs, const std::function<void(int)>& prepare, const std::function<void(int)>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare(i);
        times.push_back(seconds([&] { work(i); }));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void benchmark(const ExportSet& set, const fs::path& root, int runs) {
    const fs::path work = root / set.name;
    fs::remove_all(work);
    const fs::path sources = work / "sources";
    fs::create_directories(sources);
    Repository repository(work / "Library");

    std::cout << "== " << set.name << ": " << set.count << " x " << set.bytes << " bytes\n" << std::flush;
    const Delivery delivery(UUID::make(), "Bench", makeSourceFiles(sources, set), DeliveryTemplate::flexible());
    // Shell commands run inside the work folder and name files by glob, which keeps the
    // command itself short however many files there are.
    const std::string in = "cd " + quote(work) + " && ";
    const fs::path out = work / "out", copy = work / "copy";
    const auto warm = [&] {
        run("sync");
        run(in + "cat sources/* > /dev/null");
    };
    const bool keepRuns = set.count * set.bytes * static_cast<std::uint64_t>(runs) <= (1ull << 30);
    const auto runFolder = [](const fs::path& parent, int i) { return parent / ("run" + std::to_string(i)); };
    // A fresh folder for run i under `parent`; the earlier one goes first when the runs are not kept.
    const auto fresh = [&](const fs::path& parent, int i) {
        if (!keepRuns && i > 0) fs::remove_all(runFolder(parent, i - 1));
        fs::create_directories(runFolder(parent, i));
        warm();
    };
    const auto freshOut = [&](int i) { fresh(out, i); };
    const auto freshCopy = [&](int i) { fresh(copy, i); };
    const auto copyFolder = [&](int i) { return "copy/run" + std::to_string(i); };

    ExportReceipt receipt;
    const double ours = median(runs, freshOut, [&](int i) {
        receipt = DeliveryExporter::exportDelivery(delivery, repository, runFolder(out, i), false);
    });
    const fs::path package = receipt.path;
    const fs::path kept = work / "package";
    fs::rename(package, kept);
    fs::remove_all(out);

    const double cpSum = median(runs, freshCopy, [&](int i) {
        run(in + "cp -r sources/. " + copyFolder(i) + " && sha256sum sources/* " + copyFolder(i) + "/* > /dev/null");
    });
    fs::remove_all(copy);
    const double floor = median(runs, freshCopy, [&](int i) {
        run(in + "cp --reflink=auto -r sources/. " + copyFolder(i) +
            " && openssl dgst -sha256 sources/* > /dev/null && " + "openssl dgst -sha256 " + copyFolder(i) +
            "/* > /dev/null && openssl dgst -sha256 sources/* > /dev/null");
    });

    // Verify the same package: ours against sha256sum -c over the same files.
    fs::remove_all(copy);
    const fs::path keptManifest = kept / DeliveryExporter::manifestFileName;
    const ExportManifest m = AgentHandoff::verify(keptManifest);
    {
        std::ofstream sums(work / "sums.txt");
        for (const auto& e : m.files) sums << e.sha256 << "  " << e.outputPath << "\n";
    }
    const auto warmPackage = [&](int) {
        run("sync");
        run(in + "cat package/*/* > /dev/null");
    };
    const double verify = median(runs, warmPackage, [&](int) { AgentHandoff::verify(keptManifest); });
    const double sumCheck =
        median(runs, warmPackage, [&](int) { run(in + "cd package && sha256sum --quiet -c ../sums.txt"); });
    const double agentVerify = median(runs, warmPackage, [&](int) {
        run(in + "cd package && " + quote(SORVIK_AGENT_PATH) + " verify " + quote(DeliveryExporter::manifestFileName) +
            " > /dev/null");
    });

    std::printf("  (medians of %d runs)\n", runs);
    std::printf(
        "  export          %8.3f s\n  cp + sha256sum  %8.3f s   ratio %.2fx (target <= 0.5x)\n"
        "  floor           %8.3f s   ratio %.2fx (target <= 1.1x)\n"
        "  verify          %8.3f s\n  sha256sum -c    %8.3f s   ratio %.2fx (target <= 1x)\n"
        "  sorvik-agent verify %4.3f s   ratio %.2fx of sha256sum -c (target <= 1x)\n",
        ours, cpSum, ours / cpSum, floor, ours / floor, verify, sumCheck, verify / sumCheck, agentVerify,
        agentVerify / sumCheck);
    std::fflush(stdout);
    fs::remove_all(work);
}

}  // namespace

int main(int argc, char** argv) {
    ExportOptions options;
    options.root = fs::temp_directory_path() / "sorvik-export-benchmark";
    if (!parseExportOptions(argc, argv, "ExportBenchmark", options)) return 2;
    return runExportSets(options, 1, 3, benchmark);
}
