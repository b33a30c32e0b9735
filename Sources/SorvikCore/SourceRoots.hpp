#pragma once
// Source folders opened once, so that originals inside them are opened below their folder's
// descriptor and never through a link on the way (a folder swapped for a link meanwhile).
#include <filesystem>
#include <string>
#include <vector>

#include "SorvikCore/FileSystem.hpp"

namespace sorvik::files {

/// A source folder, resolved and opened.
struct SourceRoot {
    std::string path;
    FileDescriptor fd;
};

/// Resolves and opens each folder that is one; a folder that cannot be resolved or opened is
/// left out (it holds no original to open below it).
std::vector<SourceRoot> openSourceRoots(const std::vector<std::filesystem::path>& folders);

/// The source folder holding `path` by whole components and `path` relative to it; the
/// innermost one when sources nest. Nothing for a path outside every source.
const SourceRoot* sourceRootOf(const std::vector<SourceRoot>& roots, const std::string& path, std::string& relative);

}  // namespace sorvik::files
