#pragma once
// FFmpeg, Tesseract and Leptonica live in a module of our own, "libsorvik-media.so", loaded on
// first use so that no program loads them at start. The core's video, text recognition and
// picture scaling forward to it through this table. Module and programs come from one build:
// C++ types cross the boundary, and so do exceptions (the programs export the typeinfo of the
// core's types, which the module then shares).
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Images.hpp"
#include "SorvikCore/Models.hpp"
#include "SorvikCore/PictureScaler.hpp"
#include "SorvikCore/TextRecognition.hpp"
#include "SorvikCore/Video.hpp"

namespace sorvik::media {

/// The module's file, found like a library through the programs' run path.
inline constexpr const char* moduleFile = "libsorvik-media.so";
/// The name of the module's table.
inline constexpr const char* tableSymbol = "sorvikMediaFunctions";

struct Functions {
    std::size_t size = sizeof(Functions);  // a module of another build has another table
    // Video, read through an open regular file from its start.
    video::Probe (*probe)(int fd, std::stop_token stop);
    images::Pixels (*firstFrame)(int fd, int maxWidth, int maxHeight, std::stop_token stop, int coverWidth,
                                 int coverHeight);
    // Text recognition; an engine is created with its languages loaded and closed by closeEngine.
    std::vector<std::string> (*supportedLanguages)(const std::filesystem::path& dataFolder);
    tesseract::TessBaseAPI* (*openEngine)(const std::vector<std::string>& languages,
                                          const std::filesystem::path& dataFolder);
    void (*closeEngine)(tesseract::TessBaseAPI* engine) noexcept;
    std::vector<textrecognition::RecognizedLine> (*recognize)(tesseract::TessBaseAPI& engine, const std::uint8_t* data,
                                                              int width, int height, int bytesPerPixel,
                                                              std::stop_token stop);
    // Pictures in planes to 32-bit BGRA; the scaler state is kept between calls.
    bool (*scaleToBGRA)(ScalerState*& state, const Picture& picture, int width, int height, std::uint8_t* out,
                        int outStride);
    void (*freeScaler)(ScalerState* state) noexcept;
};

/// How the messages of a module that cannot be loaded begin (the loader's reason follows).
inline constexpr std::string_view cannotLoadMessage = "无法加载媒体与文字识别组件：";
inline constexpr std::string_view mismatchMessage = "媒体与文字识别组件与本程序版本不符：";

/// The module could not be loaded: a state of the machine (a library removed or broken), not a
/// fault of the file being read. what() is the finished message, reason() the loader's own words.
class ModuleUnavailable : public SorvikError {
public:
    ModuleUnavailable(std::string message, std::string reason);
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

/// A module opened with dlopen (never unloaded while the process runs), or why it could not be.
class LoadedModule {
public:
    /// Opens `file` (a bare name is looked up through the run path). A failure is kept, not thrown.
    explicit LoadedModule(const std::string& file);
    /// The module's table. Throws ModuleUnavailable naming the reason when it could not be loaded.
    const Functions& functions() const;
    bool isLoaded() const { return functions_ != nullptr; }

private:
    struct Close {
        void operator()(void* handle) const noexcept;
    };
    std::unique_ptr<void, Close> handle_;
    const Functions* functions_ = nullptr;
    std::string error_;
    std::string reason_;
};

/// The file a bare module name stands for in the program's own library search path (its run
/// path first), or the name itself when none holds it. dlopen would search the run path of the
/// object that calls it, which is a sanitizer's runtime when that intercepts dlopen.
std::string locate(const std::string& file);

/// The process's module, loaded on first use (thread-safe). A failure to load is thrown as
/// ModuleUnavailable; the load is tried again once `retryInterval` has passed since, so that a
/// library installed meanwhile is found without a restart.
inline constexpr std::chrono::seconds retryInterval{10};
const Functions& functions();
/// The table of the module loaded last, or null when none was: for releasing what it made.
const Functions* loadedFunctions() noexcept;
/// Why the process's module could not be loaded the last time it was tried, or none when it
/// is loaded or was never tried. Never loads it.
std::optional<std::string> loadFailure();
/// Makes the next use load `file` instead (tests); a module loaded before stays in memory.
void useModuleFile(const std::string& file);

}  // namespace sorvik::media
