#include <algorithm>
#include <dlfcn.h>
#include <mutex>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include "SorvikCore/Models.hpp"
#include "SorvikMedia/MediaParts.hpp"

namespace sorvik::media::parts {

namespace fs = std::filesystem;
using textrecognition::RecognizedLine;
using textrecognition::TextRecognitionError;

namespace {

// Tesseract's messages go through its debug_file, a setting of the whole process that outlives
// the engine it is set through; Leptonica's through its own severity switch. Both are turned
// off once, before any engine starts.
void silenceLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        setMsgSeverity(L_SEVERITY_NONE);
        tesseract::TessBaseAPI api;
        api.SetVariable("debug_file", "/dev/null");
    });
}

std::unique_ptr<tesseract::TessBaseAPI> silentAPI() {
    silenceLibraries();
    return std::make_unique<tesseract::TessBaseAPI>();
}

// Tesseract's LSTM asks OpenMP for teams of up to ten threads per call, and OpenMP reads
// OMP_THREAD_LIMIT only when it is loaded. Allowing no active parallel level on the calling
// thread runs those regions on it alone, so no pool is ever started. Tesseract built without
// OpenMP has no such symbol and needs nothing. The lookup starts from this module, so it finds
// the OpenMP runtime Tesseract brought in.
void keepOpenMPOnThisThread() {
    using SetMaxActiveLevels = void (*)(int);
    static const auto setMaxActiveLevels =
        reinterpret_cast<SetMaxActiveLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setMaxActiveLevels) setMaxActiveLevels(0);
}

const char* dataPathArgument(const fs::path& dataFolder) { return dataFolder.empty() ? nullptr : dataFolder.c_str(); }

std::string joined(const std::vector<std::string>& languages) {
    std::string result;
    for (const auto& language : languages) {
        if (!result.empty()) result += '+';
        result += language;
    }
    return result;
}

// Clears the engine's image and results however a recognition ends.
struct ClearOnExit {
    tesseract::TessBaseAPI& api;
    ~ClearOnExit() { api.Clear(); }
};

bool stopRequested(void* stop, int /*words*/) { return static_cast<const std::stop_token*>(stop)->stop_requested(); }

}  // namespace

std::vector<std::string> supportedLanguages(const fs::path& dataFolder) {
    auto api = silentAPI();
    // A name no data file carries: the start fails before any model is read, after Tesseract
    // has settled on its data folder, which is then listed.
    api->Init(dataPathArgument(dataFolder), "sorvik-no-language", tesseract::OEM_LSTM_ONLY);
    std::vector<std::string> languages;
    api->GetAvailableLanguagesAsVector(&languages);
    return languages;
}

tesseract::TessBaseAPI* openEngine(const std::vector<std::string>& languages, const fs::path& dataFolder) {
    auto api = silentAPI();
    const std::string requested = joined(languages);
    if (api->Init(dataPathArgument(dataFolder), requested.c_str(), tesseract::OEM_LSTM_ONLY) != 0)
        throw TextRecognitionError("Tesseract could not load the language data \"" + requested + "\"");
    // Tesseract goes on without an extra language it cannot load; the engine does not.
    std::vector<std::string> loaded;
    api->GetLoadedLanguagesAsVector(&loaded);
    if (loaded != languages)
        throw TextRecognitionError("Tesseract loaded \"" + joined(loaded) + "\" instead of \"" + requested + "\"");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    return api.release();
}

void closeEngine(tesseract::TessBaseAPI* engine) noexcept {
    const std::unique_ptr<tesseract::TessBaseAPI> owned(engine);  // given back by openEngine
}

std::vector<RecognizedLine> recognize(tesseract::TessBaseAPI& engine, const std::uint8_t* data, int width, int height,
                                      int bytesPerPixel, std::stop_token stop) {
    keepOpenMPOnThisThread();
    ClearOnExit clear{engine};
    engine.SetImage(data, width, height, bytesPerPixel, width * bytesPerPixel);
    // Tesseract asks its monitor between words whether to go on.
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &stopRequested;
    monitor.cancel_this = &stop;
    const int status = engine.Recognize(&monitor);
    if (stop.stop_requested()) throw CancellationError();
    if (status != 0) throw TextRecognitionError("Tesseract could not recognise the image");

    std::vector<RecognizedLine> result;
    const std::unique_ptr<tesseract::ResultIterator> it(engine.GetIterator());
    if (!it) return result;
    constexpr auto level = tesseract::RIL_TEXTLINE;
    do {
        if (it->Empty(level)) continue;
        const std::unique_ptr<char[]> text(it->GetUTF8Text(level));
        if (!text) continue;
        std::string line(text.get());
        // Tesseract ends every line with its own line feed.
        while (!line.empty() && line.back() == '\n') line.pop_back();
        if (line.empty()) continue;
        const double confidence = std::clamp(static_cast<double>(it->Confidence(level)) / 100.0, 0.0, 1.0);
        result.push_back({std::move(line), confidence});
    } while (it->Next(level));
    return result;
}

}  // namespace sorvik::media::parts
