#include "SorvikMedia/MediaParts.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "SorvikCore/Models.hpp"

namespace sorvik::media::parts {

using video::Probe;
using video::VideoError;

namespace {

// QuickTime/MP4 (mp4, mov, m4v), Matroska/WebM and AVI: nothing else may parse a user's file.
constexpr const char* acceptedDemuxers = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi";
// Enough to recognise a container; stream facts come from its headers, not from decoding.
constexpr int64_t probeBytes = 1 << 20;
// A file that takes longer than this to parse is treated as unreadable rather than stalling a scan.
constexpr auto probeDeadline = std::chrono::seconds(10);
constexpr int ioBufferSize = 1 << 16;
// Decoders of the video codecs these containers carry in practice; no other decoder sees a
// user's file.
constexpr const char* acceptedDecoders =
    "h264,hevc,vp8,vp9,av1,libdav1d,libaom-av1,mpeg4,msmpeg4v1,msmpeg4v2,msmpeg4,mpeg1video,mpeg2video,"
    "mjpeg,prores,h263,dvvideo,theora,png,qtrle";
// Pictures larger than this on a side are refused before any decoding.
constexpr int largestSide = 16384;
// Packets of the video stream read before the first picture, at most.
constexpr int packetsBeforeFirstPicture = 600;

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
struct CodecFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ScalerFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
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

/// The container of a file, opened through our own descriptor with the accepted demuxers only.
struct Container {
    std::unique_ptr<Reader> reader;
    std::unique_ptr<AVIOContext, IOFree> io;
    std::unique_ptr<AVFormatContext, FormatFree> context;
};

/// The container read from its start through `fd`, which must stay open while it is used.
Container openContainer(int fd, std::stop_token stop) {
    quietLibrary();
    if (stop.stop_requested()) throw CancellationError();
    if (::lseek(fd, 0, SEEK_SET) < 0) throw VideoError(describe(AVERROR(errno)));
    Container container;
    container.reader =
        std::make_unique<Reader>(Reader{fd, std::move(stop), std::chrono::steady_clock::now() + probeDeadline});
    Reader* reader = container.reader.get();

    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
    if (!buffer) throw VideoError(describe(AVERROR(ENOMEM)));
    container.io.reset(avio_alloc_context(buffer, ioBufferSize, 0, reader, readPacket, nullptr, seekTo));
    if (!container.io) {
        av_free(buffer);
        throw VideoError(describe(AVERROR(ENOMEM)));
    }

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) throw VideoError(describe(AVERROR(ENOMEM)));
    raw->pb = container.io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->interrupt_callback = {interrupted, reader};

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
        if (reader->cancelled) throw CancellationError();
        throw VideoError(describe(opened));
    }
    container.context.reset(raw);
    if (reader->cancelled) throw CancellationError();
    return container;
}

/// The first real video stream: cover art of an audio file is a still picture, not video.
AVStream* firstVideoStream(const AVFormatContext& context) {
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        AVStream* stream = context.streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (stream->disposition & (AV_DISPOSITION_ATTACHED_PIC | AV_DISPOSITION_TIMED_THUMBNAILS)) continue;
        return stream;
    }
    return nullptr;
}

}  // namespace

Probe probe(int fd, std::stop_token stop) {
    const Container container = openContainer(fd, std::move(stop));
    const AVFormatContext* context = container.context.get();
    const AVStream* videoStream = firstVideoStream(*context);

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

namespace {

/// How a stored picture is turned for display: the quarter turns and mirrors of a display
/// matrix, as a signed permutation of the axes. A point (x, y) of the stored picture lands on
/// (a*x + c*y, b*x + d*y), shifted back into the picture.
struct Turn {
    int a = 1, b = 0, c = 0, d = 1;
    bool swapsAxes() const { return a == 0; }
};

Turn displayTurn(const AVStream* stream) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(int32_t)) return {};
    int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    const auto sign = [](double value) { return (value > 0) - (value < 0); };
    // Each row must point along one axis; other angles are not turned.
    const auto axis = [&](double first, double second, int& outFirst, int& outSecond) {
        const double big = std::max(std::fabs(first), std::fabs(second));
        const double small = std::min(std::fabs(first), std::fabs(second));
        if (big == 0 || small > big * 0.01) return false;
        outFirst = std::fabs(first) >= std::fabs(second) ? sign(first) : 0;
        outSecond = std::fabs(second) > std::fabs(first) ? sign(second) : 0;
        return true;
    };
    Turn turn;
    if (!axis(matrix[0], matrix[1], turn.a, turn.b) || !axis(matrix[3], matrix[4], turn.c, turn.d)) return {};
    if ((turn.a == 0) != (turn.d == 0)) return {};  // both rows along one axis
    return turn;
}

/// Decodes pictures of the stream until the first one comes out.
std::unique_ptr<AVFrame, FrameFree> decodeFirstPicture(Container& container, AVStream* stream) {
    const AVCodecParameters* parameters = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) throw VideoError("unsupported video codec");
    std::unique_ptr<AVCodecContext, CodecFree> decoder(avcodec_alloc_context3(codec));
    if (!decoder) throw VideoError(describe(AVERROR(ENOMEM)));
    if (const int status = avcodec_parameters_to_context(decoder.get(), parameters); status < 0)
        throw VideoError(describe(status));
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = 1;  // callers already decode several files at once
    AVDictionary* options = nullptr;
    av_dict_set(&options, "codec_whitelist", acceptedDecoders, 0);
    const int opened = avcodec_open2(decoder.get(), codec, &options);
    av_dict_free(&options);
    if (opened < 0) throw VideoError(describe(opened));

    for (unsigned i = 0; i < container.context->nb_streams; ++i)
        if (container.context->streams[i] != stream) container.context->streams[i]->discard = AVDISCARD_ALL;

    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!packet || !frame) throw VideoError(describe(AVERROR(ENOMEM)));
    const auto received = [&] {
        const int status = avcodec_receive_frame(decoder.get(), frame.get());
        if (status == 0) return true;
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return false;
        throw VideoError(describe(status));
    };
    int packets = 0;
    bool draining = false;
    while (!draining) {
        const int read = av_read_frame(container.context.get(), packet.get());
        if (container.reader->cancelled) throw CancellationError();
        if (read == AVERROR_EOF) {
            draining = true;
            avcodec_send_packet(decoder.get(), nullptr);
        } else if (read < 0) {
            throw VideoError(describe(read));
        } else {
            const bool ours = packet->stream_index == stream->index;
            const int sent = ours ? avcodec_send_packet(decoder.get(), packet.get()) : 0;
            av_packet_unref(packet.get());
            if (!ours) continue;
            // A damaged packet is skipped as a player would; the next key frame may decode.
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) throw VideoError(describe(sent));
            if (++packets > packetsBeforeFirstPicture) break;
        }
        if (received()) return frame;
    }
    throw VideoError("视频无有效画面或时长");
}

/// The picture in 8-bit RGB at the given size, its colours read as the stream describes them.
std::vector<uint8_t> toRGB(const AVFrame& frame, int width, int height, int& stride) {
    std::unique_ptr<SwsContext, ScalerFree> scaler(
        sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), width, height,
                       AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler) throw VideoError("unsupported picture format");
    int space = frame.colorspace;
    if (space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB || space == AVCOL_SPC_RESERVED)
        space = frame.width >= 1280 || frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    int* table = nullptr;
    int* unusedTable = nullptr;
    int sourceRange = 0, unusedRange = 0, brightness = 0, contrast = 0, saturation = 0;
    // Formats without YUV (RGB, palettes) refuse colour details; they need none.
    if (sws_getColorspaceDetails(scaler.get(), &table, &sourceRange, &unusedTable, &unusedRange, &brightness, &contrast,
                                 &saturation) >= 0) {
        sourceRange = frame.color_range == AVCOL_RANGE_JPEG ? 1 : sourceRange;
        sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(space), sourceRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, brightness, contrast, saturation);
    }
    stride = (width * 3 + 63) / 64 * 64;  // aligned rows for the scaler
    std::vector<uint8_t> rgb(static_cast<size_t>(stride) * height + 64);
    uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != height)
        throw VideoError("unsupported picture format");
    return rgb;
}

}  // namespace

images::Pixels firstFrame(int fd, int maxWidth, int maxHeight, std::stop_token stop, int coverWidth, int coverHeight) {
    if (maxWidth < 1 || maxHeight < 1) throw VideoError("invalid picture size");
    Container container = openContainer(fd, std::move(stop));
    AVStream* stream = firstVideoStream(*container.context);
    if (!stream) throw VideoError("视频无有效画面或时长");
    const auto fits = [](int width, int height) {
        return width > 0 && height > 0 && width <= largestSide && height <= largestSide;
    };
    if (!fits(stream->codecpar->width, stream->codecpar->height)) throw VideoError("视频无有效画面或时长");
    const auto frame = decodeFirstPicture(container, stream);
    if (!fits(frame->width, frame->height)) throw VideoError("视频无有效画面或时长");

    // The size it is shown at: pixel aspect, then the turn, then shrunk into the box.
    double shownWidth = frame->width, shownHeight = frame->height;
    const AVRational aspect = av_guess_sample_aspect_ratio(container.context.get(), stream, frame.get());
    if (aspect.num > 0 && aspect.den > 0) shownWidth = std::min(shownWidth * av_q2d(aspect), double(largestSide));
    const Turn turn = displayTurn(stream);
    if (turn.swapsAxes()) std::swap(shownWidth, shownHeight);
    double scale = std::min({1.0, maxWidth / shownWidth, maxHeight / shownHeight});
    bool covering = false;
    if (coverWidth > 0 && coverHeight > 0) {
        const double cover = std::max(coverWidth / shownWidth, coverHeight / shownHeight);
        covering = cover < scale;
        scale = std::min(scale, cover);
    }
    // Covering rounds up, so that no side falls short of the size to cover.
    const auto side = [&](double length) {
        const double scaled = length * scale;
        return std::max(1, static_cast<int>(covering ? std::ceil(scaled - 1e-6) : std::lround(scaled)));
    };
    const int outWidth = side(shownWidth);
    const int outHeight = side(shownHeight);
    // Scaled before turning, so the scaler works in the stored orientation.
    const int storedWidth = turn.swapsAxes() ? outHeight : outWidth;
    const int storedHeight = turn.swapsAxes() ? outWidth : outHeight;
    int stride = 0;
    const std::vector<uint8_t> rgb = toRGB(*frame, storedWidth, storedHeight, stride);

    images::Pixels out;
    out.width = outWidth;
    out.height = outHeight;
    out.bands = 3;
    out.data.resize(static_cast<size_t>(outWidth) * outHeight * 3);
    // Where the stored picture's origin lands, so every turned point stays inside.
    const int originX = (turn.a < 0 ? storedWidth - 1 : 0) + (turn.c < 0 ? storedHeight - 1 : 0);
    const int originY = (turn.b < 0 ? storedWidth - 1 : 0) + (turn.d < 0 ? storedHeight - 1 : 0);
    for (int y = 0; y < storedHeight; ++y) {
        const uint8_t* row = rgb.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < storedWidth; ++x) {
            const int X = originX + turn.a * x + turn.c * y;
            const int Y = originY + turn.b * x + turn.d * y;
            std::memcpy(out.data.data() + (static_cast<size_t>(Y) * outWidth + X) * 3, row + x * 3, 3);
        }
    }
    return out;
}

}  // namespace sorvik::media::parts
