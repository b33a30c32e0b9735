#include "SorvikCore/Video.hpp"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
}

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::video {

namespace fs = std::filesystem;

namespace {

// QuickTime/MP4 (mp4, mov, m4v), Matroska/WebM and AVI: nothing else may parse a user's file.
constexpr const char* acceptedDemuxers = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi";
// Enough to recognise a container; stream facts come from its headers, not from decoding.
constexpr int64_t probeBytes = 1 << 20;
// A file that takes longer than this to parse is treated as unreadable rather than stalling a scan.
constexpr auto probeDeadline = std::chrono::seconds(10);
constexpr int ioBufferSize = 1 << 16;

struct Reader {
    int fd = -1;
    std::stop_token stop;
    std::chrono::steady_clock::time_point deadline;
    bool cancelled = false;
};

int interrupted(void* opaque) {
    auto* reader = static_cast<Reader*>(opaque);
    if (reader->stop.stop_requested()) reader->cancelled = true;
    return reader->cancelled || std::chrono::steady_clock::now() > reader->deadline;
}

int readPacket(void* opaque, uint8_t* buffer, int size) {
    auto* reader = static_cast<Reader*>(opaque);
    if (interrupted(reader)) return AVERROR_EXIT;  // custom I/O is not checked by FFmpeg itself
    for (;;) {
        const ssize_t n = ::read(reader->fd, buffer, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR_EOF;
        return static_cast<int>(n);
    }
}

int64_t seekTo(void* opaque, int64_t offset, int whence) {
    auto* reader = static_cast<Reader*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        if (::fstat(reader->fd, &st) != 0) return AVERROR(errno);
        return st.st_size;
    }
    const off_t position = ::lseek(reader->fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : position;
}

struct IOFree {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct FormatFree {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

std::string describe(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

void quietLibrary() {
    // The programs write no log.
    static const bool once = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)once;
}

/// The size after the stream's display matrix, as a picture is transformed for display.
void applyDisplayMatrix(const AVStream* stream, int& width, int& height) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(int32_t)) return;
    int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    const double a = matrix[0] / 65536.0, b = matrix[1] / 65536.0;
    const double c = matrix[3] / 65536.0, d = matrix[4] / 65536.0;
    const double w = width, h = height;
    const double newWidth = std::fabs(a * w + c * h), newHeight = std::fabs(b * w + d * h);
    if (!std::isfinite(newWidth) || !std::isfinite(newHeight) || newWidth > 1e9 || newHeight > 1e9) return;
    width = static_cast<int>(newWidth);
    height = static_cast<int>(newHeight);
}

}  // namespace

Probe probe(const fs::path& path, std::stop_token stop) {
    if (stop.stop_requested()) throw CancellationError();
    files::FileDescriptor fd;
    try {
        fd = files::openRegularFile(path);
    } catch (const std::system_error& error) {
        throw VideoError(error.code().message());
    }
    return probe(fd.get(), stop);
}

Probe probe(int fd, std::stop_token stop) {
    quietLibrary();
    if (stop.stop_requested()) throw CancellationError();
    if (::lseek(fd, 0, SEEK_SET) < 0) throw VideoError(describe(AVERROR(errno)));
    Reader reader{fd, stop, std::chrono::steady_clock::now() + probeDeadline};

    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
    if (!buffer) throw VideoError(describe(AVERROR(ENOMEM)));
    std::unique_ptr<AVIOContext, IOFree> io(
        avio_alloc_context(buffer, ioBufferSize, 0, &reader, readPacket, nullptr, seekTo));
    if (!io) {
        av_free(buffer);
        throw VideoError(describe(AVERROR(ENOMEM)));
    }

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) throw VideoError(describe(AVERROR(ENOMEM)));
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->interrupt_callback = {interrupted, &reader};

    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", acceptedDemuxers, 0);
    // Demuxers that would open further files (references, playlists) may only use plain files,
    // and QuickTime's external data references stay off.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "enable_drefs", "0", 0);
    av_dict_set_int(&options, "probesize", probeBytes, 0);
    std::unique_ptr<AVDictionary, DictionaryFree> ownedOptions;
    const int opened = avformat_open_input(&raw, nullptr, nullptr, &options);
    ownedOptions.reset(options);
    if (opened < 0) {  // raw is freed by avformat_open_input on failure
        if (reader.cancelled) throw CancellationError();
        throw VideoError(describe(opened));
    }
    std::unique_ptr<AVFormatContext, FormatFree> context(raw);
    if (reader.cancelled) throw CancellationError();

    const AVStream* videoStream = nullptr;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        // Cover art of an audio file is a still picture, not video.
        if (stream->disposition & (AV_DISPOSITION_ATTACHED_PIC | AV_DISPOSITION_TIMED_THUMBNAILS)) continue;
        videoStream = stream;
        break;
    }

    double seconds = NAN;
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        seconds = static_cast<double>(context->duration) / AV_TIME_BASE;
    } else if (videoStream && videoStream->duration != AV_NOPTS_VALUE && videoStream->duration > 0) {
        seconds = static_cast<double>(videoStream->duration) * av_q2d(videoStream->time_base);
    }
    int width = videoStream ? videoStream->codecpar->width : 0;
    int height = videoStream ? videoStream->codecpar->height : 0;
    if (!(std::isfinite(seconds) && seconds > 0) || !videoStream || width <= 0 || height <= 0)
        throw VideoError("视频无有效画面或时长");

    applyDisplayMatrix(videoStream, width, height);
    return Probe{seconds, width, height};
}

}  // namespace sorvik::video
