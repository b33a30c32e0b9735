#include "SorvikCore/LocalTextRecognizer.hpp"

#include <algorithm>

#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::LocalTextRecognizer {

namespace fs = std::filesystem;
using textrecognition::RecognizedLine;

namespace {

images::Pixels decode(const fs::path& path, std::stop_token stop) {
    const images::Image image = DeliveryExporter::orientedImage(path, maxPixel, std::move(stop), maxDecodedPixels);
    try {
        return images::pixels(image);
    } catch (const images::ImageError&) {
        throw SorvikError::message("无法打开图片");
    }
}

images::Pixels decode(int fd, std::stop_token stop) {
    try {
        return images::pixels(images::orientedThumbnail(fd, maxPixel, std::move(stop), maxDecodedPixels));
    } catch (const images::ImageError&) {
        throw SorvikError::message("无法打开图片");
    } catch (const std::system_error&) {
        throw SorvikError::message("无法打开图片");
    }
}

}  // namespace

std::vector<std::string> recognitionLanguages(const std::vector<std::string>& supported) {
    std::vector<std::string> result;
    for (const auto& language : preferredLanguages())
        if (std::find(supported.begin(), supported.end(), language) != supported.end()) result.push_back(language);
    return result;
}

std::string joinLines(const std::vector<RecognizedLine>& lines) {
    std::string result;
    bool first = true;
    for (const auto& line : lines) {
        if (!(line.confidence >= minimumConfidence)) continue;
        if (!first) result += '\n';
        result += line.text;
        first = false;
    }
    return result;
}

std::string Recognizer::recognize(const fs::path& path, std::stop_token stop) {
    const images::Pixels pixels = decode(path, stop);
    std::string text = joinLines(lines(pixels, stop));
    if (stop.stop_requested()) throw CancellationError();
    return text;
}

std::string Recognizer::recognize(int fd, std::stop_token stop) {
    const images::Pixels pixels = decode(fd, stop);
    std::string text = joinLines(lines(pixels, stop));
    if (stop.stop_requested()) throw CancellationError();
    return text;
}

std::vector<RecognizedLine> Recognizer::lines(const images::Pixels& pixels, std::stop_token stop) {
    if (source_) return source_(pixels);
    // Loaded on the first image that decodes; a failed start is tried again on the next one.
    if (!engine_) engine_.emplace(recognitionLanguages(textrecognition::supportedLanguages(dataFolder_)), dataFolder_);
    return engine_->lines(pixels, std::move(stop));
}

std::string recognize(const fs::path& path) {
    Recognizer recognizer;
    return recognizer.recognize(path);
}

}  // namespace sorvik::LocalTextRecognizer
