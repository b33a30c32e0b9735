#pragma once
// Reads the text printed in an image, on the device (Chinese, then English).
#include <filesystem>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <optional>
#include <string>
#include <vector>

#include "SorvikCore/Images.hpp"
#include "SorvikCore/TextRecognition.hpp"

namespace sorvik::LocalTextRecognizer {

/// Longest side an image is decoded at for recognition.
inline constexpr int maxPixel = 1400;
/// Images that would need more pixels decoded (at the loader's reduced size) are not read.
inline constexpr std::uint64_t maxDecodedPixels = 100'000'000;
/// Lines recognised with less confidence are left out.
inline constexpr double minimumConfidence = 0.5;
/// The recognition languages, in order of preference (simplified Chinese, English).
inline const std::vector<std::string>& preferredLanguages() {
    static const std::vector<std::string> languages{"chi_sim", "eng"};
    return languages;
}

/// The preferred languages that appear in `supported`, in preference order (possibly none).
std::vector<std::string> recognitionLanguages(const std::vector<std::string>& supported);

/// The texts of the lines with at least the minimum confidence, in their order, joined by
/// line feeds; "" when none qualifies.
std::string joinLines(const std::vector<textrecognition::RecognizedLine>& lines);

/// Gives the recognised lines of a decoded, oriented image.
using LineSource = std::function<std::vector<textrecognition::RecognizedLine>(const images::Pixels&)>;

/// One recognizer serves a whole scan: Tesseract's data is loaded on the first image that
/// decodes and kept for the next ones. Not for use from two threads at once.
class Recognizer {
public:
    /// Recognises with the installed Tesseract data.
    Recognizer() = default;
    /// Recognises with the Tesseract data in `dataFolder`.
    explicit Recognizer(std::filesystem::path dataFolder) : dataFolder_(std::move(dataFolder)) {}
    /// Takes its lines from `source` instead of Tesseract.
    explicit Recognizer(LineSource source) : source_(std::move(source)) {}

    /// The image's qualifying lines joined by line feeds, or "". Throws the decoding error
    /// (SorvikError "无法打开图片", also for an image beyond maxDecodedPixels) or a
    /// textrecognition::TextRecognitionError unchanged; CancellationError once `stop` is requested.
    std::string recognize(const std::filesystem::path& path, std::stop_token stop = {});
    /// recognize of the open image file, read from its start.
    std::string recognize(int fd, std::stop_token stop = {});

private:
    std::vector<textrecognition::RecognizedLine> lines(const images::Pixels& pixels, std::stop_token stop);

    std::filesystem::path dataFolder_;
    LineSource source_;
    std::optional<textrecognition::Engine> engine_;
};

/// Recognises one image with a recognizer of its own.
std::string recognize(const std::filesystem::path& path);

}  // namespace sorvik::LocalTextRecognizer
