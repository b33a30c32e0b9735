// Export and verify of a package against what a user would script with cp and sha256sum.
//
//   ExportBenchmark [--quick] [--only=large|medium|small] [--dir=PATH] [--runs=N]
//
// Default sets: 1 file of 2 GiB, 200 of 5 MB, 2,000 of 4 KB (--quick: 128 MiB, 40 and 400).
// Caches are warmed before every timed run. Targets: export at most 0.5x "cp + sha256sum" and
// at most 1.1x the floor "cp --reflink=auto + 3 openssl dgst passes"; verify at most 1x
// "sha256sum -c".
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

/// Best of `runs` timed runs; `prepare` runs untimed before each.
double best(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
    double result = 1e300;
    for (int i = 0; i < runs; ++i) {
        prepare();
        result = std::min(result, seconds(work));
    }
    return result;
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
    const auto clean = [&] {
        fs::remove_all(out);
        fs::remove_all(copy);
        fs::create_directories(out);
        fs::create_directories(copy);
        warm();
    };

    ExportReceipt receipt;
    const double ours = best(runs, clean, [&] { receipt = DeliveryExporter::exportDelivery(delivery, repository, out, false); });
    const fs::path package = receipt.path;
    const fs::path kept = work / "package";
    fs::rename(package, kept);

    const double cpSum = best(runs, clean, [&] {
        run(in + "cp -r sources/. copy && sha256sum sources/* copy/* > /dev/null");
    });
    const double floor = best(runs, clean, [&] {
        run(in + "cp --reflink=auto -r sources/. copy && openssl dgst -sha256 sources/* > /dev/null && "
                 "openssl dgst -sha256 copy/* > /dev/null && openssl dgst -sha256 sources/* > /dev/null");
    });

    // Verify the same package: ours against sha256sum -c over the same files.
    fs::remove_all(out);
    fs::remove_all(copy);
    const fs::path keptManifest = kept / DeliveryExporter::manifestFileName;
    const ExportManifest m = AgentHandoff::verify(keptManifest);
    {
        std::ofstream sums(work / "sums.txt");
        for (const auto& e : m.files) sums << e.sha256 << "  " << e.outputPath << "\n";
    }
    const auto warmPackage = [&] {
        run("sync");
        run(in + "cat package/*/* > /dev/null");
    };
    const double verify = best(runs, warmPackage, [&] { AgentHandoff::verify(keptManifest); });
    const double sumCheck = best(runs, warmPackage, [&] {
        run(in + "cd package && sha256sum --quiet -c ../sums.txt");
    });

    std::printf("  export          %8.3f s\n  cp + sha256sum  %8.3f s   ratio %.2fx (target <= 0.5x)\n"
                "  floor           %8.3f s   ratio %.2fx (target <= 1.1x)\n"
                "  verify          %8.3f s\n  sha256sum -c    %8.3f s   ratio %.2fx (target <= 1x)\n",
                ours, cpSum, ours / cpSum, floor, ours / floor, verify, sumCheck, verify / sumCheck);
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
