#pragma once
// What the file detail sheet shows and allows, as pure functions of the working file and the
// store's state: the metadata line, the kind of preview, the controls, the editor's text and
// counts, saving and trimming.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::app {

class AppStore;

/// What the preview area holds.
enum class DetailPreview {
    textEditor,  // the file has a text
    video,       // else it has a duration
    image,       // else it is an image
    external,    // else a hint to open it in another application
};
DetailPreview detailPreview(const DeliveryFile& file);

/// "JPG  ·  1.2 MB  ·  1920 × 1080  ·  00:12": the upper-case extension (always, also when
/// empty), the size, the pixel size when both sides are known and the duration when known.
std::string detailMetadata(const DeliveryFile& file);

/// The duration of the only timed video of the first project that holds the file; none when
/// no project holds it or it has no or several timed videos.
std::optional<double> singleVideoDuration(const std::vector<Delivery>& deliveries, const UUID& fileID);

/// Which controls show and which act now.
struct DetailControls {
    bool showLocation = false;  // the original-location row
    bool showCounts = false;    // title and body counts above the editor
    bool monospaced = false;    // the editor's design
    bool showTrim = false;
    bool showRestore = false;
    bool showCrop = false;
    bool cropEnabled = false;
    bool saveEnabled = false;

    friend bool operator==(const DetailControls&, const DetailControls&) = default;
};
/// Saving and cropping write the store: off while it is busy or cannot save (recovery mode).
DetailControls detailControls(const DeliveryFile& working, std::optional<double> singleVideo, bool busy, bool recovery);

/// The editor's first text: the edited text, else the extracted text, else empty.
std::string seedEditorText(const DeliveryFile& file);

/// Title and body of a copy text in user-perceived characters.
struct CopyCounts {
    std::size_t title = 0;
    std::size_t body = 0;
    friend bool operator==(const CopyCounts&, const CopyCounts&) = default;
};
CopyCounts copyCounts(std::string_view text);

/// The working file as Save hands it to the store: a file with a text gets the editor's text as
/// its edited text, or none when it equals the extracted text exactly; any other file keeps its
/// edited text.
DeliveryFile applyEditorText(DeliveryFile working, const std::string& text);

/// Trimming a subtitle to the video's end: the new text, or the failure's message (a finished
/// Chinese message, shown through L).
struct TrimOutcome {
    std::optional<std::string> text;
    std::optional<std::string> error;
};
TrimOutcome trimSubtitle(std::string_view text, double duration);

/// The error line's text (shown through L): the sheet's own error, else the file's inspection
/// error; none when there is neither.
std::optional<std::string> detailErrorLine(const std::optional<std::string>& localError, const DeliveryFile& file);

}  // namespace sorvik::app
