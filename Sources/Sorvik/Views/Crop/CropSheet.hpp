#pragma once
// The cover crop sheet: the original beside a live preview of exactly the window the export will
// write, a ratio picker and the window's horizontal and vertical position. It writes only the
// file's crop, through the store.
#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Support/DetachedJobs.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Images.hpp"

class QSlider;

namespace sorvik::app {

struct CutSource;
class PictureBox;
class SegmentedPicker;
class SheetHeader;
class StyledButton;
class ToneLabel;

class CropSheet : public QWidget {
    Q_OBJECT
public:
    CropSheet(AppStore& store, std::function<void()> dismiss, DeliveryFile file, QWidget* parent = nullptr);
    ~CropSheet() override;

    // The controls' actions.
    void chooseRatio(std::size_t index);
    void setHorizontal(double x);
    void setVertical(double y);
    void useCrop();
    void resetCrop();

    // What is shown (tests and benchmarks).
    const CropSpec& spec() const { return spec_; }
    /// The decoded original's pixel size; empty before it is loaded.
    QSize originalSize() const;
    /// The preview and the window of the original it shows.
    const QImage& preview() const { return preview_; }
    const std::optional<DeliveryExporter::CropRect>& previewWindow() const { return previewWindow_; }
    QString errorText() const;
    QString captionText() const;
    SegmentedPicker* ratioPicker() const { return ratios_; }
    QSlider* horizontalSlider() const { return horizontal_; }
    QSlider* verticalSlider() const { return vertical_; }
    StyledButton* resetButton() const { return reset_; }
    StyledButton* useButton() const { return use_; }
    PictureBox* originalBox() const { return originalBox_; }
    PictureBox* previewBox() const { return previewBox_; }

signals:
    /// A new preview is shown.
    void previewChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void load();
    void retranslate();
    void refresh();
    void refreshControls();
    void showSpec();
    void cut();

    AppStore& store_;
    std::function<void()> dismiss_;
    const DeliveryFile file_;
    CropSpec spec_;
    images::Image original_;
    // What the windows are cut from, shared with the cut running on a worker.
    std::shared_ptr<const CutSource> source_;
    QImage preview_;
    std::optional<DeliveryExporter::CropRect> previewWindow_;
    // One cut runs at a time; the newest window waits.
    std::optional<DeliveryExporter::CropRect> waiting_;
    bool cutting_ = false;
    bool loadStarted_ = false;
    std::optional<std::string> localError_;

    SheetHeader* header_;
    ToneLabel* originalCaption_;
    ToneLabel* previewCaption_;
    PictureBox* originalBox_;
    PictureBox* previewBox_;
    ToneLabel* ratioTitle_;
    SegmentedPicker* ratios_;
    ToneLabel* ratioNote_;
    ToneLabel* horizontalTitle_;
    ToneLabel* verticalTitle_;
    QSlider* horizontal_;
    QSlider* vertical_;
    ToneLabel* error_;
    StyledButton* reset_;
    StyledButton* cancel_;
    StyledButton* use_;
    DetachedJobs jobs_;
};

}  // namespace sorvik::app
