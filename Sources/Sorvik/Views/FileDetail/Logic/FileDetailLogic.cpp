#include "Sorvik/Views/FileDetail/Logic/FileDetailLogic.hpp"

#include <algorithm>
#include <cctype>
#include <exception>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Support/Formatting.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/Subtitles.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::app {

DetailPreview detailPreview(const DeliveryFile& file) {
    if (file.text) return DetailPreview::textEditor;
    if (file.duration) return DetailPreview::video;
    if (file.isImage()) return DetailPreview::image;
    return DetailPreview::external;
}

std::string detailMetadata(const DeliveryFile& file) {
    std::string extension = file.fileExtension();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::vector<std::string> parts{extension, fileSizeText(file.bytes)};
    if (file.width && file.height) parts.push_back(std::to_string(*file.width) + " × " + std::to_string(*file.height));
    if (file.duration) parts.push_back(shortTime(*file.duration));
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) line += "  ·  ";
        line += parts[i];
    }
    return line;
}

std::optional<double> singleVideoDuration(const std::vector<Delivery>& deliveries, const UUID& fileID) {
    for (const Delivery& delivery : deliveries) {
        const bool holds = std::any_of(delivery.files.begin(), delivery.files.end(),
                                       [&](const DeliveryFile& f) { return f.id == fileID; });
        if (!holds) continue;
        std::optional<double> found;
        int count = 0;
        for (const DeliveryFile& f : delivery.files) {
            if (f.role != FileRole::video || !f.duration) continue;
            found = f.duration;
            ++count;
        }
        return count == 1 ? found : std::nullopt;
    }
    return std::nullopt;
}

DetailControls detailControls(const DeliveryFile& working, std::optional<double> singleVideo, bool busy,
                              bool recovery) {
    DetailControls c;
    const bool canWrite = !busy && !recovery;
    c.showLocation = working.reference.has_value();
    c.showCounts = working.text && working.role == FileRole::copy;
    c.monospaced = working.role == FileRole::subtitle;
    c.showTrim = working.role == FileRole::subtitle && singleVideo.has_value();
    c.showRestore = working.text.has_value();
    c.showCrop = working.role == FileRole::cover && working.isImage();
    c.cropEnabled = canWrite;
    c.saveEnabled = canWrite;
    return c;
}

std::string seedEditorText(const DeliveryFile& file) {
    if (file.editedText) return *file.editedText;
    if (file.text) return *file.text;
    return {};
}

CopyCounts copyCounts(std::string_view text) {
    const auto [title, body] = CheckEngine::titleAndBody(text);
    return CopyCounts{unicode::graphemeCount(title), unicode::graphemeCount(body)};
}

DeliveryFile applyEditorText(DeliveryFile working, const std::string& text) {
    if (working.text) {
        if (text == *working.text) {
            working.editedText.reset();
        } else {
            working.editedText = text;
        }
    }
    return working;
}

TrimOutcome trimSubtitle(std::string_view text, double duration) {
    try {
        return TrimOutcome{Subtitles::clipped(text, duration), std::nullopt};
    } catch (...) {
        return TrimOutcome{std::nullopt, describe(std::current_exception())};
    }
}

std::optional<std::string> detailErrorLine(const std::optional<std::string>& localError, const DeliveryFile& file) {
    if (localError) return localError;
    return file.inspectionError;
}

}  // namespace sorvik::app
