#pragma once
// Video files on FFmpeg (in the media module): container facts, and the first picture for previews.
#include <filesystem>
#include <stdexcept>
#include <stop_token>

#include "SorvikCore/Images.hpp"

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

/// The first picture of the first video stream of a file that `probe` accepts, as it is meant
/// to be seen (pixel aspect and the stream's quarter turns and mirrors applied), shrunk (never
/// enlarged) to fit within maxWidth by maxHeight and, when a cover size is given, further down to
/// the smallest size that still covers coverWidth by coverHeight; as 8-bit RGB. Opens and reads
/// the file like `probe`, and only common video decoders may decode it. Throws VideoError, and
/// CancellationError when `stop` is requested.
images::Pixels firstFrame(const std::filesystem::path& path, int maxWidth, int maxHeight, std::stop_token stop = {},
                          int coverWidth = 0, int coverHeight = 0);

}  // namespace sorvik::video
