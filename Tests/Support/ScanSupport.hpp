#pragma once
// Helpers for scan tests: real files, a library folder and one call of the scan.
#include <filesystem>
#include <string>
#include <vector>

#include "SorvikCore/FolderIndexer.hpp"
#include "Support/TestSupport.hpp"

namespace sorvik::test {

/// A valid 1x1 PNG.
inline std::string tinyPNG() {
    static const unsigned char bytes[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00,
        0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01,
        0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

/// Runs scans of real folders against a library folder of its own.
struct Scanner {
    TempDir library;
    std::vector<std::filesystem::path> excluded;
    std::int64_t limit = 20000;
    bool recognizeText = false;
    unsigned threads = 0;  // inspection threads; 0: one per core
    std::vector<std::string> progress;

    ScanResult operator()(const std::vector<SourceFolder>& sources, const std::vector<IndexedAsset>& previous = {},
                          std::stop_token stop = {}) {
        progress.clear();
        return FolderIndexer::scan(
            sources, previous, excluded, library.path(), recognizeText, limit,
            [this](const std::string& text) { progress.push_back(text); }, stop, threads);
    }
};

/// The file names of the assets, in result order.
inline std::vector<std::string> names(const ScanResult& result) {
    std::vector<std::string> out;
    for (const auto& asset : result.assets) out.push_back(asset.file.name);
    return out;
}

inline const IndexedAsset* findAsset(const ScanResult& result, const std::string& name) {
    for (const auto& asset : result.assets)
        if (asset.file.name == name) return &asset;
    return nullptr;
}

}  // namespace sorvik::test
