#include "Sorvik/Views/Crop/CropSheet.hpp"

#include <QHBoxLayout>
#include <QSlider>
#include <QVBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Crop/Logic/CropLogic.hpp"
#include "Sorvik/Views/FileDetail/Logic/FileDetailLogic.hpp"
#include "Sorvik/Views/Kit/PictureBox.hpp"
#include "Sorvik/Views/Thumbnails/PreviewImages.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"
#include "Sorvik/Views/Kit/SheetHeader.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// A caption above a picture box.
QVBoxLayout* pictureColumn(ToneLabel* caption, PictureBox* box) {
    auto* column = new QVBoxLayout();
    column->setSpacing(space::item);
    column->addWidget(caption);
    column->addWidget(box, 1);
    return column;
}

QSlider* positionSlider(QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(0, sliderSteps);
    slider->setPageStep(sliderSteps / 10);
    slider->setSingleStep(sliderSteps / 100);
    return slider;
}

}  // namespace

CropSheet::CropSheet(AppStore& store, std::function<void()> dismiss, DeliveryFile file, QWidget* parent)
    : QWidget(parent), store_(store), dismiss_(std::move(dismiss)), file_(std::move(file)),
      spec_(seedCrop(file_, store_.selected())), jobs_(this) {
    setFixedSize(700, 620);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(space::sheetMargin, space::sheetMargin, space::sheetMargin, space::sheetMargin);
    layout->setSpacing(space::section);
    header_ = new SheetHeader({}, {}, this);
    layout->addWidget(header_);

    auto* images = new QHBoxLayout();
    images->setSpacing(space::block);
    originalCaption_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    previewCaption_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    originalBox_ = new PictureBox(8, this);
    originalBox_->setDraggable(true);
    previewBox_ = new PictureBox(8, this);
    connect(originalBox_, &PictureBox::windowDragged, this, [this](QPointF origin) {
        if (!original_) return;
        spec_ = draggedCrop(spec_, original_.width(), original_.height(), origin.x(), origin.y());
        showSpec();
        refresh();
    });
    images->addLayout(pictureColumn(originalCaption_, originalBox_), 1);
    images->addWidget(new SymbolView(QStringLiteral("arrow.right"), 14, Tone::tertiary, this), 0, Qt::AlignVCenter);
    images->addLayout(pictureColumn(previewCaption_, previewBox_), 1);
    auto* imageRow = new QWidget(this);
    imageRow->setFixedHeight(300);
    imageRow->setLayout(images);
    images->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(imageRow);

    auto* ratioRow = new QHBoxLayout();
    ratioRow->setSpacing(space::block);
    auto* picker = new QHBoxLayout();
    picker->setSpacing(space::related);
    ratioTitle_ = new ToneLabel({}, type::body, QFont::Normal, Tone::primary, this);
    ratios_ = new SegmentedPicker(this);
    QStringList labels;
    for (const CoverRatio& choice : coverRatios) labels << qs(choice.label);
    ratios_->setLabels(labels);
    connect(ratios_, &SegmentedPicker::chosen, this,
            [this](int index) { chooseRatio(static_cast<std::size_t>(index)); });
    picker->addWidget(ratioTitle_);
    picker->addWidget(ratios_, 1);
    auto* pickerBox = new QWidget(this);
    pickerBox->setFixedWidth(210);
    pickerBox->setLayout(picker);
    picker->setContentsMargins(0, 0, 0, 0);
    ratioNote_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    ratioRow->addWidget(pickerBox);
    ratioRow->addWidget(ratioNote_);
    ratioRow->addStretch(1);
    layout->addLayout(ratioRow);

    auto* positions = new QHBoxLayout();
    positions->setSpacing(space::section);
    horizontalTitle_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    verticalTitle_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::secondary, this);
    horizontal_ = positionSlider(this);
    vertical_ = positionSlider(this);
    // Moved by the person only: showing a stored value never writes it back.
    connect(horizontal_, &QSlider::valueChanged, this, [this](int position) { setHorizontal(sliderValue(position)); });
    connect(vertical_, &QSlider::valueChanged, this, [this](int position) { setVertical(sliderValue(position)); });
    for (auto [title, slider] : {std::pair{horizontalTitle_, horizontal_}, std::pair{verticalTitle_, vertical_}}) {
        auto* group = new QHBoxLayout();
        group->setSpacing(space::related);
        group->addWidget(title);
        group->addWidget(slider, 1);
        positions->addLayout(group, 1);
    }
    layout->addLayout(positions);

    error_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::danger, this);
    error_->setWordWrap(true);
    layout->addWidget(error_);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(space::buttonGap);
    reset_ = new StyledButton(StyledButton::Style::plain, {}, this);
    reset_->setTone(Tone::secondary);
    cancel_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    use_ = new StyledButton(StyledButton::Style::primary, {}, this);
    connect(reset_, &QAbstractButton::clicked, this, &CropSheet::resetCrop);
    connect(cancel_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    connect(use_, &QAbstractButton::clicked, this, &CropSheet::useCrop);
    buttons->addWidget(reset_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(use_);
    layout->addLayout(buttons);

    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & StoreChange::busy) refreshControls();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &CropSheet::retranslate);
    showSpec();
    retranslate();
}

CropSheet::~CropSheet() = default;

QSize CropSheet::originalSize() const { return original_ ? QSize(original_.width(), original_.height()) : QSize(); }

QString CropSheet::errorText() const { return error_->isHidden() ? QString() : error_->text(); }

QString CropSheet::captionText() const { return previewCaption_->text(); }

void CropSheet::retranslate() {
    header_->setTexts(Lq("留住画面的重点。"), Lq("调整封面构图。导出时生成 JPEG 副本，原图保留。"));
    originalCaption_->setFullText(Lq("原图"));
    ratioTitle_->setFullText(Lq("比例"));
    ratioNote_->setFullText(Lq("输出尺寸最高 8192 像素"));
    horizontalTitle_->setFullText(Lq("左右"));
    verticalTitle_->setFullText(Lq("上下"));
    horizontal_->setAccessibleName(Lq("左右构图"));
    vertical_->setAccessibleName(Lq("上下构图"));
    reset_->setText(Lq("恢复原图"));
    cancel_->setText(Lq("取消"));
    use_->setText(Lq("使用此构图"));
    for (StyledButton* button : {reset_, cancel_, use_}) button->updateGeometry();
    showSpec();
    refreshControls();
}

void CropSheet::showSpec() {
    previewCaption_->setFullText(Lq("导出预览 · {0}", previewCaptionArgument(spec_.ratio)));
    const std::optional<std::size_t> choice = coverRatioIndex(spec_.ratio);
    ratios_->setCurrent(choice ? std::optional<int>(static_cast<int>(*choice)) : std::nullopt);
    const QSignalBlocker quietX(horizontal_);
    const QSignalBlocker quietY(vertical_);
    horizontal_->setValue(sliderPosition(spec_.x));
    vertical_->setValue(sliderPosition(spec_.y));
}

void CropSheet::refreshControls() {
    const CropControls controls = cropControls(file_, !preview_.isNull(), store_.isBusy(), store_.recoveryMode());
    reset_->setVisible(controls.showReset);
    reset_->setEnabled(controls.resetEnabled);
    use_->setEnabled(controls.useEnabled);
    error_->setVisible(localError_.has_value());
    // Stored in Chinese and shown in the interface language, so a change of language follows.
    error_->setFullText(localError_ ? Lq(*localError_) : QString());
}

void CropSheet::chooseRatio(std::size_t index) {
    if (index >= coverRatios.size()) return;
    spec_.ratio = coverRatios[index].ratio;
    showSpec();
    refresh();
}

void CropSheet::setHorizontal(double x) {
    spec_.x = x;
    showSpec();
    refresh();
}

void CropSheet::setVertical(double y) {
    spec_.y = y;
    showSpec();
    refresh();
}

void CropSheet::useCrop() {
    if (preview_.isNull() || store_.isBusy() || store_.recoveryMode()) return;
    DeliveryFile edited = file_;
    edited.crop = spec_;
    store_.editFile(edited);
    dismiss_();
}

void CropSheet::resetCrop() {
    if (!file_.crop || store_.isBusy() || store_.recoveryMode()) return;
    DeliveryFile edited = file_;
    edited.crop.reset();
    store_.editFile(edited);
    dismiss_();
}

void CropSheet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!loadStarted_) load();
}

void CropSheet::load() {
    loadStarted_ = true;
    const std::optional<std::filesystem::path> location = fileLocation(file_, store_.repository());
    if (!location) {
        localError_ = "找不到原图";
        refreshControls();
        return;
    }
    const QSize room = originalBox_->pictureRoom();
    const QSize previewRoom = previewBox_->pictureRoom();
    struct Loaded {
        images::Image image;
        Picture picture;
        std::shared_ptr<const CutSource> source;
    };
    jobs_.run<Loaded>(
        [path = *location, room, previewRoom](std::stop_token) {
            Loaded loaded;
            loaded.image = DeliveryExporter::orientedImage(path, cropEditorMaxPixel);
            auto source = std::make_shared<CutSource>(cutSource(toQImage(loaded.image), previewRoom));
            loaded.picture.natural = source->natural;
            loaded.picture.display = displayImage(source->levels.front(), room);
            loaded.source = std::move(source);
            return loaded;
        },
        [this](std::optional<Loaded> loaded, std::exception_ptr failure) {
            if (!loaded) {
                localError_ = describe(failure);
                refreshControls();
                return;
            }
            original_ = std::move(loaded->image);
            source_ = std::move(loaded->source);
            originalBox_->setPicture(loaded->picture.natural, loaded->picture.display);
            refresh();
        });
}

void CropSheet::refresh() {
    if (!original_ || !source_) return;
    const auto window = app::previewWindow(original_.width(), original_.height(), spec_);
    // A window the core refuses keeps the last preview.
    if (!window) return;
    originalBox_->setWindow(QRectF(window->x, window->y, window->width, window->height));
    waiting_ = window;
    if (!cutting_) cut();
}

void CropSheet::cut() {
    if (!waiting_) return;
    cutting_ = true;
    const DeliveryExporter::CropRect window = *waiting_;
    waiting_.reset();
    jobs_.run<Picture>([source = source_, window, room = previewBox_->pictureRoom()](
                           std::stop_token) { return cutPicture(*source, window, room); },
                       [this, window](std::optional<Picture> picture, std::exception_ptr) {
                           cutting_ = false;
                           // A newer window is waiting: this one is no longer current.
                           if (picture && !waiting_) {
                               preview_ = picture->natural;
                               previewWindow_ = window;
                               previewBox_->setPicture(picture->natural, picture->display);
                               refreshControls();
                               emit previewChanged();
                           }
                           cut();
                       });
}

}  // namespace sorvik::app
