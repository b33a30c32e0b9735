#pragma once
// On-device text recognition with Tesseract 5 (LSTM engine, in the media module), silent and
// single-threaded.
#include <filesystem>
#include <memory>
#include <stop_token>
#include <stdexcept>
#include <string>
#include <vector>

#include "SorvikCore/Images.hpp"

namespace tesseract {
class TessBaseAPI;
}

namespace sorvik::textrecognition {

/// A Tesseract failure (no language data, an image it refuses, a failed recognition).
class TextRecognitionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One recognised line: its best reading and the engine's confidence, 0 to 1.
struct RecognizedLine {
    std::string text;
    double confidence = 0;
};

/// The languages whose data is installed ("chi_sim", "eng", ...), sorted, in `dataFolder` or,
/// when it is empty, in Tesseract's own data folder (TESSDATA_PREFIX, then its built-in one).
std::vector<std::string> supportedLanguages(const std::filesystem::path& dataFolder = {});

/// A Tesseract engine loaded once for a list of languages, in the order given (the first is
/// the main one), with its dictionaries on. Recognition runs on the calling thread only: no
/// thread pool is started, nothing is printed. One engine serves one thread at a time.
class Engine {
public:
    /// Loads the languages' data. Throws TextRecognitionError when the list is empty or a
    /// language cannot be loaded.
    explicit Engine(const std::vector<std::string>& languages, const std::filesystem::path& dataFolder = {});
    ~Engine();
    Engine(Engine&&) noexcept;
    Engine& operator=(Engine&&) noexcept;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    /// The text lines of a decoded image in the engine's reading order; lines without text
    /// are left out. Alpha is composited onto white. Throws TextRecognitionError, and
    /// std::invalid_argument for malformed pixels; once `stop` is requested the recognition
    /// ends early and CancellationError is thrown.
    std::vector<RecognizedLine> lines(const images::Pixels& pixels, std::stop_token stop = {});

    const std::vector<std::string>& languages() const { return languages_; }

private:
    struct Close {
        void operator()(tesseract::TessBaseAPI* api) const noexcept;
    };
    std::unique_ptr<tesseract::TessBaseAPI, Close> api_;
    std::vector<std::string> languages_;
};

}  // namespace sorvik::textrecognition
