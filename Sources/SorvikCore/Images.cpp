#include "SorvikCore/Images.hpp"

#include <dlfcn.h>

#include <memory>
#include <utility>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/ImageModule.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::images {

namespace fs = std::filesystem;

namespace {

/// The module's table, or why it could not be loaded. Opened once and never closed: images
/// made by it may live until the process ends.
struct LoadedModule {
    const Functions* table = nullptr;
    std::string error;
};

const LoadedModule& loadedModule() {
    static const LoadedModule* const module = [] {
        auto* loaded = new LoadedModule;
        void* handle = ::dlopen(media::locate(moduleFile).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        const auto* table = handle ? static_cast<const Functions*>(::dlsym(handle, tableSymbol)) : nullptr;
        if (table && table->size == sizeof(Functions) && table->start()) {
            loaded->table = table;
        } else if (table && table->size == sizeof(Functions)) {
            loaded->error = "libvips could not be started";
        } else {
            const char* reason = ::dlerror();
            loaded->error = std::string(cannotLoadMessage) + (reason ? reason : moduleFile);
        }
        return loaded;
    }();
    return *module;
}

/// The table of the started module; throws ImageError when it cannot be loaded or started.
const Functions& module() {
    const LoadedModule& loaded = loadedModule();
    if (!loaded.table) throw ImageError(loaded.error);
    return *loaded.table;
}

}  // namespace

void ensureStarted() { module(); }

Image::Image(const Image& other) : image_(other.image_) {
    if (image_) module().ref(image_);
}

Image& Image::operator=(const Image& other) {
    if (this != &other) {
        // An image exists only once the module is loaded.
        if (other.image_) module().ref(other.image_);
        if (image_) module().unref(image_);
        image_ = other.image_;
    }
    return *this;
}

Image& Image::operator=(Image&& other) noexcept {
    if (this != &other) {
        if (image_) loadedModule().table->unref(image_);
        image_ = other.image_;
        other.image_ = nullptr;
    }
    return *this;
}

Image::~Image() {
    if (image_) loadedModule().table->unref(image_);
}

namespace {

int dimension(VipsImage* image, int which) {
    if (!image) return 0;
    int sizes[3] = {0, 0, 0};
    loadedModule().table->dimensions(image, sizes[0], sizes[1], sizes[2]);
    return sizes[which];
}

}  // namespace

int Image::width() const { return dimension(image_, 0); }
int Image::height() const { return dimension(image_, 1); }
int Image::bands() const { return dimension(image_, 2); }

std::optional<Properties> properties(const fs::path& path) {
    try {
        const files::FileDescriptor fd = files::openRegularFile(path);
        return module().properties(fd.get());
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

std::optional<Properties> decodeTest(int fd, int maxPixel, std::stop_token stop) {
    try {
        return module().decodeTest(fd, maxPixel, std::move(stop));
    } catch (const ImageError&) {
        return std::nullopt;
    }
}

std::optional<Properties> decodeTest(const fs::path& path, int maxPixel, std::stop_token stop) {
    try {
        const files::FileDescriptor fd = files::openRegularFile(path);
        return decodeTest(fd.get(), maxPixel, stop);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

Image orientedThumbnail(int fd, int maxPixel, std::stop_token stop, std::uint64_t maxDecodedPixels) {
    return Image(module().orientedThumbnail(fd, maxPixel, std::move(stop), maxDecodedPixels));
}

Image orientedThumbnail(const fs::path& path, int maxPixel, std::stop_token stop, std::uint64_t maxDecodedPixels) {
    files::FileDescriptor fd;
    try {
        fd = files::openRegularFile(path);
    } catch (const std::system_error& error) {
        throw ImageError(error.what());
    }
    return orientedThumbnail(fd.get(), maxPixel, std::move(stop), maxDecodedPixels);
}

Image crop(const Image& image, int left, int top, int width, int height) {
    if (!image || width < 1 || height < 1 || left < 0 || top < 0 || left > image.width() - width ||
        top > image.height() - height)
        throw ImageError("crop window outside the image");
    return Image(module().crop(image.get(), left, top, width, height));
}

std::string encodeJPEG(const Image& image, int quality) {
    if (!image) throw ImageError("no image");
    return module().encodeJPEG(image.get(), quality);
}

Pixels pixels(const Image& image) {
    if (!image) throw ImageError("no image");
    return module().pixels(image.get());
}

}  // namespace sorvik::images
