#pragma once
// Video files on FFmpeg: container facts without decoding.
#include <filesystem>
#include <stdexcept>
#include <stop_token>

namespace sorvik::video {

/// A failure to read a video; what() is the description shown after "无法读取视频：".
class VideoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Probe {
    double duration = 0;  // seconds, finite and > 0
    int width = 0;        // first video stream, display rotation applied
    int height = 0;
};

/// Duration and first video stream size of a regular file in one of the accepted containers
/// (QuickTime/MP4, Matroska/WebM, AVI). Attached pictures (cover art) are not video streams.
/// Reads only through the opened descriptor: no other file or protocol is ever opened, FIFOs
/// and devices are refused, probing is bounded. Throws VideoError, and CancellationError
/// when `stop` is requested.
Probe probe(const std::filesystem::path& path, std::stop_token stop = {});
/// probe of the open regular file, read from its start (the descriptor's offset moves).
Probe probe(int fd, std::stop_token stop = {});

}  // namespace sorvik::video
