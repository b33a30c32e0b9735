// Verification of a foreign package: any manifest is refused cleanly or passes only when
// every entry lies inside the package; nothing outside it is ever accepted, nothing hangs.
#include <sys/stat.h>
#include <unistd.h>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

/// A package folder with one real file, a link leading out, a FIFO and a folder.
const fs::path& package() {
    static const fuzz::TemporaryFolder folder("sorvik-verify-fuzz");
    static const fs::path root = [] {
        const std::string templ = folder.path().string();
        const fs::path p = fs::path(templ) / "pkg";
        fs::create_directories(p / "01_成片");
        files::writeFileAtomically(p / "01_成片" / "a.txt", "hello");
        files::writeFileAtomically(fs::path(templ) / "outside.txt", "secret");
        fs::create_symlink("../outside.txt", p / "escape.txt");
        ::mkfifo((p / "fifo").c_str(), 0644);
        fs::create_directories(p / "folder");
        return p;
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path manifest = package() / "交付清单.json";
    ExportManifest checked;
    try {
        checked = AgentHandoff::verify(manifest, fuzz::text(data, size));
    } catch (const SorvikError&) {
        return 0;
    } catch (const DecodingError&) {
        return 0;
    } catch (const std::system_error&) {
        return 0;
    }
    fuzz::check("checking the entries verify accepted", [&] {
        for (const auto& entry : checked.files) {
            const fs::path resolved = fs::weakly_canonical(package() / entry.outputPath);
            fuzz::require(Repository::contains(fs::canonical(package()), resolved), "entry inside the package");
            fuzz::require(hashing::sha256File(resolved) == entry.sha256, "entry's hash");
        }
    });
    return 0;
}
