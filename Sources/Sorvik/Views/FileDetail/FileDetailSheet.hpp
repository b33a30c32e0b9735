#pragma once
// The sheet for one file of a project: facts and original location, the role, a preview by kind
// (text editor, video player, image or a hint to open it elsewhere), text and subtitle edits, the
// way to the cover crop, and Save. It works on a copy of the file and writes only on Save or Crop.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Support/DetachedJobs.hpp"
#include "Sorvik/Views/FileDetail/Logic/FileDetailLogic.hpp"

namespace sorvik::app {

class ExternalHint;
class LocationRow;
class PictureBox;
class SegmentedPicker;
class SheetHeader;
class StyledButton;
class TextEditorSection;
class ToneLabel;
class VideoPlayerView;

class FileDetailSheet : public QWidget {
    Q_OBJECT
public:
    FileDetailSheet(AppStore& store, std::function<void()> dismiss, DeliveryFile file, QWidget* parent = nullptr);
    ~FileDetailSheet() override;

    // The actions of the buttons.
    void save();
    void restore();
    void trim();
    void crop();
    void chooseRole(FileRole role);

    // What is shown (tests).
    const DeliveryFile& working() const { return working_; }
    /// The editor's text; empty without an editor.
    std::string text() const;
    TextEditorSection* editor() const { return editor_; }
    PictureBox* imagePreview() const { return image_; }
    VideoPlayerView* videoPlayer() const { return player_; }
    ExternalHint* externalHint() const { return external_; }
    LocationRow* locationRow() const { return location_; }
    SegmentedPicker* rolePicker() const { return roles_; }
    StyledButton* trimButton() const { return trim_; }
    StyledButton* restoreButton() const { return restore_; }
    StyledButton* cropButton() const { return crop_; }
    StyledButton* saveButton() const { return save_; }
    StyledButton* cancelButton() const { return cancel_; }
    /// The error line as shown; empty when hidden.
    QString errorText() const;
    /// Whether the image preview has its picture.
    bool hasImagePreview() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void retranslate();
    void refresh();
    void loadImagePreview();

    AppStore& store_;
    std::function<void()> dismiss_;
    const DeliveryFile original_;
    DeliveryFile working_;
    std::optional<std::string> localError_;
    // The duration the trim button was shown with.
    std::optional<double> trimDuration_;
    bool previewRequested_ = false;

    SheetHeader* header_;
    LocationRow* location_ = nullptr;
    ToneLabel* roleTitle_;
    SegmentedPicker* roles_;
    TextEditorSection* editor_ = nullptr;
    VideoPlayerView* player_ = nullptr;
    PictureBox* image_ = nullptr;
    ExternalHint* external_ = nullptr;
    ToneLabel* error_;
    StyledButton* trim_;
    StyledButton* restore_;
    StyledButton* crop_;
    StyledButton* cancel_;
    StyledButton* save_;
    ToneLabel* note_;
    DetachedJobs jobs_;
};

}  // namespace sorvik::app
