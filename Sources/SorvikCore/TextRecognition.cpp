#include "SorvikCore/TextRecognition.hpp"

#include <cstddef>
#include <cstdint>

#include "SorvikCore/MediaModule.hpp"

namespace sorvik::textrecognition {

namespace fs = std::filesystem;

namespace {

std::uint8_t overWhite(std::uint8_t value, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

void Engine::Close::operator()(tesseract::TessBaseAPI* api) const noexcept {
    // An engine exists only once a module was loaded.
    media::loadedFunctions()->closeEngine(api);
}

std::vector<std::string> supportedLanguages(const fs::path& dataFolder) {
    return media::functions().supportedLanguages(dataFolder);
}

Engine::Engine(const std::vector<std::string>& languages, const fs::path& dataFolder) : languages_(languages) {
    if (languages_.empty()) throw TextRecognitionError("Tesseract has no language to recognise");
    api_.reset(media::functions().openEngine(languages_, dataFolder));
}

Engine::~Engine() = default;
Engine::Engine(Engine&&) noexcept = default;
Engine& Engine::operator=(Engine&&) noexcept = default;

std::vector<RecognizedLine> Engine::lines(const images::Pixels& pixels, std::stop_token stop) {
    if (pixels.width < 1 || pixels.height < 1 || pixels.bands < 1 || pixels.bands > 4 ||
        pixels.data.size() != static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height) *
                                  static_cast<std::size_t>(pixels.bands))
        throw std::invalid_argument("malformed pixels for text recognition");

    const std::uint8_t* data = pixels.data.data();
    int bytesPerPixel = pixels.bands;
    std::vector<std::uint8_t> flattened;
    if (pixels.bands == 2 || pixels.bands == 4) {
        bytesPerPixel = pixels.bands - 1;
        const std::size_t count = static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height);
        flattened.resize(count * static_cast<std::size_t>(bytesPerPixel));
        const std::uint8_t* in = pixels.data.data();
        std::uint8_t* out = flattened.data();
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t alpha = in[bytesPerPixel];
            for (int c = 0; c < bytesPerPixel; ++c) *out++ = overWhite(in[c], alpha);
            in += pixels.bands;
        }
        data = flattened.data();
    }
    return media::functions().recognize(*api_, data, pixels.width, pixels.height, bytesPerPixel, std::move(stop));
}

}  // namespace sorvik::textrecognition
