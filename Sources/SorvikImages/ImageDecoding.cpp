// The image module: every use of libvips, opened with dlopen on first use (ImageModule.hpp).
// Untrusted loaders are blocked; the library starts once.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unistd.h>
#include <utility>

#include <vips/vips.h>

#include "SorvikCore/ImageModule.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::images::parts {

/// An owned reference to a libvips image.
class Held {
public:
    Held() = default;
    explicit Held(VipsImage* image) : image_(image) {}
    Held(const Held& other) : image_(other.image_) {
        if (image_) g_object_ref(image_);
    }
    Held& operator=(Held other) noexcept {
        std::swap(image_, other.image_);
        return *this;
    }
    ~Held() {
        if (image_) g_object_unref(image_);
    }

    VipsImage* get() const { return image_; }
    /// Hands the reference to the caller.
    VipsImage* release() { return std::exchange(image_, nullptr); }
    int width() const { return vips_image_get_width(image_); }
    int height() const { return vips_image_get_height(image_); }

private:
    VipsImage* image_ = nullptr;
};

void ensureStarted();

void ignoreLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

/// libvips's pending error text, cleared.
std::string takeError(std::string_view fallback) {
    std::unique_ptr<char, decltype(&g_free)> buffer(vips_error_buffer_copy(), &g_free);
    std::string text = buffer && *buffer ? buffer.get() : std::string(fallback);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

[[noreturn]] void fail(std::string_view what) { throw ImageError(takeError(what)); }

struct ObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
using Source = std::unique_ptr<VipsSource, ObjectUnref>;

enum class Loader { jpeg, png, heif, tiff, webp, gif };

/// Only the loaders of the accepted image kinds may open a user's file. Takes the class name
/// the sniffer reports ("VipsForeignLoadJpegSource").
std::optional<Loader> acceptedLoader(const char* name) {
    if (!name) return std::nullopt;
    static constexpr std::array<std::pair<std::string_view, Loader>, 6> loaders{{
        {"VipsForeignLoadJpeg", Loader::jpeg},
        {"VipsForeignLoadPng", Loader::png},
        {"VipsForeignLoadHeif", Loader::heif},
        {"VipsForeignLoadTiff", Loader::tiff},
        {"VipsForeignLoadWebp", Loader::webp},
        {"VipsForeignLoadNsgif", Loader::gif},
    }};
    const std::string_view text = name;
    for (const auto& [className, loader] : loaders)
        if (text.starts_with(className)) return loader;
    return std::nullopt;
}

/// Runs the loader of the kind already sniffed, so the source is not sniffed again. Options are
/// name and value pairs; nothing on failure.
template <typename... Options>
VipsImage* load(Loader loader, VipsSource* source, Options... options) {
    VipsImage* out = nullptr;
    const auto common = [&](auto function) {
        return function(source, &out, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", VIPS_FAIL_ON_TRUNCATED, options...,
                        nullptr);
    };
    int status = -1;
    switch (loader) {
        case Loader::jpeg: status = common(vips_jpegload_source); break;
        case Loader::png: status = common(vips_pngload_source); break;
        case Loader::heif: status = common(vips_heifload_source); break;
        case Loader::tiff: status = common(vips_tiffload_source); break;
        case Loader::webp: status = common(vips_webpload_source); break;
        case Loader::gif: status = common(vips_gifload_source); break;
    }
    return status == 0 ? out : nullptr;
}

struct Opened {
    int fd = -1;  // borrowed from the caller
    Source source;
    Loader loader;
    Held header;
    Properties properties;
};

/// A libvips source reading the open file from its start.
Source sourceFrom(int fd) {
    ::lseek(fd, 0, SEEK_SET);
    return Source(vips_source_new_from_descriptor(fd));  // keeps its own duplicate
}

/// Reads the header of the image in the open regular file. Nothing when it is not an
/// accepted image.
std::optional<Opened> openImage(int fd) {
    ensureStarted();
    Source source = sourceFrom(fd);
    if (!source) {
        vips_error_clear();
        return std::nullopt;
    }
    const auto loader = acceptedLoader(vips_foreign_find_load_source(source.get()));
    if (!loader) {
        vips_error_clear();
        return std::nullopt;
    }
    // Loaded as a decode would be, so that a kind without a reduced load decodes from here.
    VipsImage* raw = load(*loader, source.get());
    if (!raw) {
        vips_error_clear();
        return std::nullopt;
    }
    Held header(raw);
    Properties props;
    props.width = header.width();
    props.height = header.height();
    // vips reports orientation 1 when the tag is absent; heifload drops it because libheif has
    // already applied the file's own rotation and mirroring.
    props.orientation = std::clamp(vips_image_get_orientation(raw), 1, 8);
    if (props.width < 1 || props.height < 1) return std::nullopt;
    return Opened{fd, std::move(source), *loader, std::move(header), props};
}

/// Decodes from the full image at the smallest size that still covers maxPixel, using the
/// loader's own shrink where it has one (never an embedded preview). Otherwise the header's
/// load decodes, so an opened image is decoded once at most.
Held loadReduced(const Opened& opened, int maxPixel) {
    const int longest = std::max(opened.properties.width, opened.properties.height);
    int shrink = 1;
    double scale = 1.0;
    if (opened.loader == Loader::jpeg)
        while (shrink < 8 && longest / (shrink * 2) >= maxPixel) shrink *= 2;
    // One pixel to spare, so libwebp's rounding never leaves the result below the limit.
    if (opened.loader == Loader::webp) scale = std::min(1.0, (maxPixel + 1.0) / longest);
    if (shrink == 1 && scale == 1.0) return opened.header;
    // A fresh source on the same descriptor: a second load from the header's source would not
    // honour the new options.
    Source source = sourceFrom(opened.fd);
    if (!source) fail("cannot read image");
    // The option's type must match the vararg: "shrink" is an int, "scale" a double.
    VipsImage* raw = shrink > 1 ? load(opened.loader, source.get(), "shrink", shrink)
                                : load(opened.loader, source.get(), "scale", scale);
    if (!raw) fail("cannot decode image");
    return Held(raw);
}

Held apply(const Held& in, int (*operation)(VipsImage*, VipsImage**), std::string_view what) {
    VipsImage* out = nullptr;
    if (operation(in.get(), &out) != 0) fail(what);
    return Held(out);
}

int toDisplaySpace(VipsImage* in, VipsImage** out) {
    const VipsInterpretation target = in->Bands < 3 ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
    return vips_colourspace(in, out, target, nullptr);
}
int toUChar(VipsImage* in, VipsImage** out) { return vips_cast(in, out, VIPS_FORMAT_UCHAR, nullptr); }
int premultiply(VipsImage* in, VipsImage** out) { return vips_premultiply(in, out, nullptr); }
int unpremultiply(VipsImage* in, VipsImage** out) { return vips_unpremultiply(in, out, nullptr); }
int autorotate(VipsImage* in, VipsImage** out) { return vips_autorot(in, out, nullptr); }

/// Computes the pixels of the image on this thread, a strip at a time so that memory stays
/// small however large the image, from the top down to about `limit` pixels. Evaluating here
/// instead of through libvips's worker pool keeps a decode from handing work between threads.
/// False when decoding fails; CancellationError when stopped.
bool decodesWhole(const Held& image, std::stop_token stop, std::uint64_t limit) {
    std::unique_ptr<VipsRegion, ObjectUnref> region(vips_region_new(image.get()));
    if (!region) return false;
    constexpr int strip = 64;
    const auto width = static_cast<std::uint64_t>(image.width());
    const int rows =
        static_cast<int>(std::min<std::uint64_t>(image.height(), std::max<std::uint64_t>(limit / width, 1)));
    for (int top = 0; top < rows; top += strip) {
        if (stop.stop_requested()) throw CancellationError();
        const VipsRect area{0, top, image.width(), std::min(strip, rows - top)};
        if (vips_region_prepare(region.get(), &area) != 0) return false;
    }
    return true;
}

/// Ends the evaluation of everything computed from an image once `stop` is requested: libvips
/// checks the image's kill flag before it computes each of its regions.
class KillOnStop {
public:
    KillOnStop(const Held& image, std::stop_token stop)
        : image_(image), callback_(std::move(stop), Kill{image_.get()}) {}

private:
    struct Kill {
        VipsImage* image;
        void operator()() const { vips_image_set_kill(image, TRUE); }
    };
    Held image_;  // held while the callback may run
    std::stop_callback<Kill> callback_;
};

Held inMemory(const Held& in, std::stop_token stop) {
    VipsImage* out = vips_image_copy_memory(in.get());
    if (stop.stop_requested()) {
        if (out) g_object_unref(out);
        vips_error_clear();
        throw CancellationError();
    }
    if (!out) fail("cannot decode image");
    return Held(out);
}

Held reduce(const Opened& opened, int maxPixel, std::stop_token stop, std::uint64_t maxDecodedPixels) {
    Held image = loadReduced(opened, maxPixel);
    const KillOnStop kill(image, stop);
    if (maxDecodedPixels > 0 &&
        static_cast<std::uint64_t>(image.width()) * static_cast<std::uint64_t>(image.height()) > maxDecodedPixels)
        throw ImageError("image too large to decode");
    image = apply(image, toDisplaySpace, "cannot convert colours");
    const int longest = std::max(image.width(), image.height());
    if (longest > maxPixel) {
        const double scale = static_cast<double>(maxPixel) / longest;
        const bool alpha = vips_image_hasalpha(image.get());
        if (alpha) image = apply(image, premultiply, "cannot premultiply");
        VipsImage* out = nullptr;
        if (vips_resize(image.get(), &out, scale, nullptr) != 0) fail("cannot resize image");
        image = Held(out);
        if (alpha) image = apply(image, unpremultiply, "cannot unpremultiply");
    }
    if (vips_image_get_format(image.get()) != VIPS_FORMAT_UCHAR) image = apply(image, toUChar, "cannot convert");
    // Rotation needs random access, so the reduced pixels are decoded into memory first; this
    // is also what forces the lazy pipeline to run.
    image = inMemory(image, stop);
    if (opened.properties.orientation != 1) image = inMemory(apply(image, autorotate, "cannot rotate image"), stop);
    return image;
}

/// Calls into libvips under way, counted while each of the module's functions runs.
std::atomic<int> callsUnderWay{0};
struct UnderWay {
    UnderWay() { ++callsUnderWay; }
    ~UnderWay() { --callsUnderWay; }
    UnderWay(const UnderWay&) = delete;
    UnderWay& operator=(const UnderWay&) = delete;
};

bool start() {
    static const bool started = [] {
        if (VIPS_INIT("sorvik") != 0) return false;
        // Loaders marked untrusted (ImageMagick, JPEG 2000, ...) never see a user's file.
        vips_block_untrusted_set(TRUE);
        // Files change between scans: a cached loader would report the old content.
        vips_cache_set_max(0);
        // One worker per pipeline: with several, a decode error in one tile (a truncated file)
        // is not reliably reported, and the callers already run one decode per task.
        vips_concurrency_set(1);
        // libvips's threads end before the process does, not while it tears down; a call still
        // under way (a read stuck on a dead mount) is not waited for.
        std::atexit([] {
            if (callsUnderWay.load() == 0) vips_shutdown();
        });
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(levels & ~G_LOG_LEVEL_ERROR), ignoreLog, nullptr);
        return true;
    }();
    return started;
}

void ensureStarted() {
    if (!start()) throw ImageError("libvips could not be started");
}

void ref(VipsImage* image) noexcept { g_object_ref(image); }
void unref(VipsImage* image) noexcept { g_object_unref(image); }

void dimensions(VipsImage* image, int& width, int& height, int& bands) noexcept {
    width = vips_image_get_width(image);
    height = vips_image_get_height(image);
    bands = vips_image_get_bands(image);
}

std::optional<Properties> properties(int fd) {
    const UnderWay underWay;
    auto opened = openImage(fd);
    if (!opened) return std::nullopt;
    return opened->properties;
}

std::optional<Properties> decodeTest(int fd, int maxPixel, std::stop_token stop) {
    const UnderWay underWay;
    try {
        auto opened = openImage(fd);
        if (!opened) return std::nullopt;
        if (!decodesWhole(loadReduced(*opened, std::max(maxPixel, 1)), stop, decodeTestPixelLimit)) {
            vips_error_clear();
            return std::nullopt;
        }
        return opened->properties;
    } catch (const ImageError&) {
        return std::nullopt;
    }
}

VipsImage* orientedThumbnail(int fd, int maxPixel, std::stop_token stop, std::uint64_t maxDecodedPixels) {
    const UnderWay underWay;
    std::optional<Opened> opened = openImage(fd);
    if (!opened) throw ImageError("not an image of an accepted kind");
    return reduce(*opened, std::max(maxPixel, 1), std::move(stop), maxDecodedPixels).release();
}

VipsImage* crop(VipsImage* image, int left, int top, int width, int height) {
    const UnderWay underWay;
    VipsImage* out = nullptr;
    if (vips_extract_area(image, &out, left, top, width, height, nullptr) != 0) fail("cannot crop image");
    return out;
}

std::string encodeJPEG(VipsImage* image, int quality) {
    const UnderWay underWay;
    g_object_ref(image);
    Held flat(image);
    if (vips_image_hasalpha(flat.get())) {
        VipsArrayDouble* white = vips_array_double_newv(1, 255.0);
        VipsImage* out = nullptr;
        const int status = vips_flatten(flat.get(), &out, "background", white, nullptr);
        vips_area_unref(VIPS_AREA(white));
        if (status != 0) fail("cannot flatten alpha");
        flat = Held(out);
    }
    if (vips_image_get_format(flat.get()) != VIPS_FORMAT_UCHAR) flat = apply(flat, toUChar, "cannot convert");
    void* buffer = nullptr;
    size_t length = 0;
    if (vips_jpegsave_buffer(flat.get(), &buffer, &length, "Q", std::clamp(quality, 1, 100), "strip", TRUE, nullptr) !=
        0)
        fail("cannot encode JPEG");
    std::unique_ptr<void, decltype(&g_free)> owned(buffer, &g_free);
    return std::string(static_cast<const char*>(buffer), length);
}

Pixels pixels(VipsImage* image) {
    const UnderWay underWay;
    g_object_ref(image);
    Held source(image);
    if (vips_image_get_bands(source.get()) == 2) {  // grey with alpha becomes RGBA
        VipsImage* out = nullptr;
        if (vips_colourspace(source.get(), &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0) fail("cannot convert");
        source = Held(out);
    }
    if (vips_image_get_format(source.get()) != VIPS_FORMAT_UCHAR) source = apply(source, toUChar, "cannot convert");
    size_t size = 0;
    void* memory = vips_image_write_to_memory(source.get(), &size);
    if (!memory) fail("cannot decode image");
    std::unique_ptr<void, decltype(&g_free)> owned(memory, &g_free);
    Pixels result;
    result.width = source.width();
    result.height = source.height();
    result.bands = vips_image_get_bands(source.get());
    const auto* bytes = static_cast<const std::uint8_t*>(memory);
    result.data.assign(bytes, bytes + size);
    return result;
}

}  // namespace sorvik::images::parts

// The one symbol the programs look up.
extern "C" __attribute__((visibility("default"))) const sorvik::images::Functions sorvikImageFunctions{
    .size = sizeof(sorvik::images::Functions),
    .start = sorvik::images::parts::start,
    .ref = sorvik::images::parts::ref,
    .unref = sorvik::images::parts::unref,
    .dimensions = sorvik::images::parts::dimensions,
    .properties = sorvik::images::parts::properties,
    .decodeTest = sorvik::images::parts::decodeTest,
    .orientedThumbnail = sorvik::images::parts::orientedThumbnail,
    .crop = sorvik::images::parts::crop,
    .encodeJPEG = sorvik::images::parts::encodeJPEG,
    .pixels = sorvik::images::parts::pixels,
};
