#pragma once
// The module's entries, gathered into its table by Module.cpp.
#include "SorvikCore/MediaModule.hpp"

namespace sorvik::media::parts {

video::Probe probe(int fd, std::stop_token stop);
images::Pixels firstFrame(int fd, int maxWidth, int maxHeight, std::stop_token stop, int coverWidth, int coverHeight);

std::vector<std::string> supportedLanguages(const std::filesystem::path& dataFolder);
tesseract::TessBaseAPI* openEngine(const std::vector<std::string>& languages, const std::filesystem::path& dataFolder);
void closeEngine(tesseract::TessBaseAPI* engine) noexcept;
std::vector<textrecognition::RecognizedLine> recognize(tesseract::TessBaseAPI& engine, const std::uint8_t* data,
                                                       int width, int height, int bytesPerPixel, std::stop_token stop);

bool scaleToBGRA(ScalerState*& state, const Picture& picture, int width, int height, std::uint8_t* out, int outStride);
void freeScaler(ScalerState* state) noexcept;

}  // namespace sorvik::media::parts
