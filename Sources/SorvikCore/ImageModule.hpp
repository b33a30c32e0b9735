#pragma once
// libvips lives in a module of our own, "libsorvik-images.so", opened on first use: linked into
// the programs, it and its hundred libraries were loaded and relocated at every start, which cost
// the agent more than hashing a small package. Images.cpp forwards to it through this table.
// Module and programs come from one build; exceptions cross the boundary as in the media module.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "SorvikCore/Images.hpp"

namespace sorvik::images {

/// The module's file, found like a library through the programs' run path.
inline constexpr const char* moduleFile = "libsorvik-images.so";
/// The name of the module's table.
inline constexpr const char* tableSymbol = "sorvikImageFunctions";
/// How the message of a module that cannot be loaded begins (the loader's reason follows).
inline constexpr const char* cannotLoadMessage = "无法加载图片组件：";

/// Images are passed as borrowed VipsImage pointers; those returned carry one new reference.
struct Functions {
    std::size_t size = sizeof(Functions);  // a module of another build has another table
    /// Starts libvips; false when it cannot be.
    bool (*start)();
    void (*ref)(VipsImage* image) noexcept;
    void (*unref)(VipsImage* image) noexcept;
    void (*dimensions)(VipsImage* image, int& width, int& height, int& bands) noexcept;
    std::optional<Properties> (*properties)(int fd);
    std::optional<Properties> (*decodeTest)(int fd, int maxPixel, std::stop_token stop);
    VipsImage* (*orientedThumbnail)(int fd, int maxPixel, std::stop_token stop, std::uint64_t maxDecodedPixels);
    VipsImage* (*crop)(VipsImage* image, int left, int top, int width, int height);
    std::string (*encodeJPEG)(VipsImage* image, int quality);
    Pixels (*pixels)(VipsImage* image);
};

}  // namespace sorvik::images
