// Verification of a foreign package: any manifest is refused cleanly or passes only when
// every entry names, as the kernel resolves it, a distinct file inside the package with the
// listed content; nothing outside it is ever accepted, nothing hangs.
#include <climits>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/AgentHandoff.hpp"
#include "SorvikCore/Hashing.hpp"

using namespace sorvik;
namespace fs = std::filesystem;

namespace {

/// A package folder with one real file, a file link leading out, a folder link leading out
/// (so that "lnk/.." is outside), a folder link inside, a FIFO and a folder.
const fs::path& package() {
    static const fuzz::TemporaryFolder folder("sorvik-verify-fuzz");
    static const fs::path root = [] {
        const fs::path base = folder.path();
        const fs::path p = base / "pkg";
        fs::create_directories(p / "01_成片");
        fs::create_directories(base / "outside" / "sub");
        fs::create_directories(base / "outside" / "01_成片");
        fuzz::writeFile(p / "01_成片" / "a.txt", "hello");
        fuzz::writeFile(base / "outside.txt", "secret");
        fuzz::writeFile(base / "outside" / "01_成片" / "a.txt", "other");
        fs::create_symlink("../outside.txt", p / "escape.txt");
        fs::create_directory_symlink("../outside/sub", p / "lnk");
        fs::create_directory_symlink("01_成片", p / "alias");
        ::mkfifo((p / "fifo").c_str(), 0644);
        fs::create_directories(p / "folder");
        char* real = ::realpath(p.c_str(), nullptr);
        fuzz::require(real != nullptr);
        const fs::path resolved(real);
        std::free(real);
        return resolved;
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path manifest = package() / "交付清单.json";
    ExportManifest checked;
    try {
        checked = AgentHandoff::verify(manifest, std::string(fuzz::text(data, size)));
    } catch (const SorvikError&) {
        return 0;
    } catch (const DecodingError&) {
        return 0;
    } catch (const std::system_error&) {
        return 0;
    }
    // Every accepted entry exists: realpath is the kernel's own resolution of its path.
    fuzz::check("checking the entries verify accepted", [&] {
        const std::string prefix = package().string() + "/";
        std::set<std::string> seen;
        for (const auto& entry : checked.files) {
            char* real = ::realpath((prefix + entry.outputPath).c_str(), nullptr);
            fuzz::require(real != nullptr);
            const std::string resolved = real;
            std::free(real);
            fuzz::require(resolved.starts_with(prefix) && resolved.size() > prefix.size());
            fuzz::require(seen.insert(resolved).second);
            std::string hash;
            try {
                hash = hashing::sha256File(resolved);
            } catch (const std::exception&) {
                fuzz::require(false);  // accepted, yet unreadable: the check above read it
            }
            fuzz::require(hash == entry.sha256);
        }
    });
    return 0;
}
