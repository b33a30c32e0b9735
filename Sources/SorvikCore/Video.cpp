#include "SorvikCore/Video.hpp"

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::video {

namespace fs = std::filesystem;

namespace {

/// The regular file at `path`, opened once, never blocking; the system's reason when it cannot be.
files::FileDescriptor openVideoFile(const fs::path& path, const std::stop_token& stop) {
    if (stop.stop_requested()) throw CancellationError();
    try {
        return files::openRegularFile(path);
    } catch (const std::system_error& error) {
        throw VideoError(error.code().message());
    }
}

}  // namespace

Probe probe(const fs::path& path, std::stop_token stop) {
    const files::FileDescriptor fd = openVideoFile(path, stop);
    return probe(fd.get(), std::move(stop));
}

Probe probe(int fd, std::stop_token stop) { return media::functions().probe(fd, std::move(stop)); }

images::Pixels firstFrame(const fs::path& path, int maxWidth, int maxHeight, std::stop_token stop, int coverWidth,
                          int coverHeight) {
    if (maxWidth < 1 || maxHeight < 1) throw VideoError("invalid picture size");
    const files::FileDescriptor fd = openVideoFile(path, stop);
    return media::functions().firstFrame(fd.get(), maxWidth, maxHeight, std::move(stop), coverWidth, coverHeight);
}

}  // namespace sorvik::video
