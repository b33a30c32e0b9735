#include "Sorvik/Views/FileDetail/FileDetailSheet.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/FileDetail/FileDetailParts.hpp"
#include "Sorvik/Views/Kit/PictureBox.hpp"
#include "Sorvik/Views/Thumbnails/PreviewImages.hpp"
#include "Sorvik/Views/Kit/SegmentedPicker.hpp"
#include "Sorvik/Views/Kit/SheetHeader.hpp"
#include "Sorvik/Views/FileDetail/VideoPlayerView.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// The player's and the image's height: as tall as this, shorter when the sheet's other rows need
/// the room (a file with an original-location row).
constexpr int previewHeight = 310;

}  // namespace

FileDetailSheet::FileDetailSheet(AppStore& store, std::function<void()> dismiss, DeliveryFile file, QWidget* parent)
    : QWidget(parent), store_(store), dismiss_(std::move(dismiss)), original_(file), working_(std::move(file)),
      jobs_(this) {
    setFixedSize(650, 590);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(space::sheetMargin, space::sheetMargin, space::sheetMargin, space::sheetMargin);
    layout->setSpacing(space::section);

    header_ = new SheetHeader({}, {}, this);
    layout->addWidget(header_);

    if (working_.reference) {
        location_ = new LocationRow(
            qs(abbreviatingHome(working_.reference->path)), [this] { store_.revealOriginal(working_); }, this);
        layout->addWidget(location_);
    }

    auto* roleRow = new QHBoxLayout();
    roleRow->setSpacing(space::item);
    roleTitle_ = new ToneLabel({}, type::body, QFont::Normal, Tone::primary, this);
    roles_ = new SegmentedPicker(this);
    connect(roles_, &SegmentedPicker::chosen, this,
            [this](int index) { chooseRole(FileRoles::allCases[static_cast<std::size_t>(index)]); });
    roleRow->addWidget(roleTitle_);
    roleRow->addWidget(roles_, 1);
    layout->addLayout(roleRow);

    switch (detailPreview(working_)) {
        case DetailPreview::textEditor:
            editor_ = new TextEditorSection(seedEditorText(working_), this);
            layout->addWidget(editor_, 1);
            break;
        case DetailPreview::video:
            player_ = new VideoPlayerView(fileLocation(working_, store_.repository()), this);
            player_->setMaximumHeight(previewHeight);
            layout->addWidget(player_, 1);
            break;
        case DetailPreview::image:
            image_ = new PictureBox(12, this);
            image_->setMaximumHeight(previewHeight);
            layout->addWidget(image_, 1);
            break;
        case DetailPreview::external:
            external_ = new ExternalHint(
                qs(FileRoles::symbol(working_.role)), [this] { store_.openOriginal(working_); }, this);
            layout->addWidget(external_, 1);
            break;
    }

    error_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::danger, this);
    error_->setWordWrap(true);
    layout->addWidget(error_);

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(space::buttonGap);
    trim_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    restore_ = new StyledButton(StyledButton::Style::plain, {}, this);
    restore_->setTone(Tone::secondary);
    crop_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    cancel_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    save_ = new StyledButton(StyledButton::Style::primary, {}, this);
    connect(trim_, &QAbstractButton::clicked, this, &FileDetailSheet::trim);
    connect(restore_, &QAbstractButton::clicked, this, &FileDetailSheet::restore);
    connect(crop_, &QAbstractButton::clicked, this, &FileDetailSheet::crop);
    // Escape reaches the sheet's dialog, which closes it the same way.
    connect(cancel_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    connect(save_, &QAbstractButton::clicked, this, &FileDetailSheet::save);
    buttons->addWidget(trim_);
    buttons->addWidget(restore_);
    buttons->addWidget(crop_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(save_);
    layout->addLayout(buttons);

    note_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::tertiary, this);
    layout->addWidget(note_);

    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & (StoreChange::busy | StoreChange::projects)) refresh();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &FileDetailSheet::retranslate);
    retranslate();
    // The sheet opens on its first editable control, not on the link to the original.
    setFocusProxy(roles_);
}

FileDetailSheet::~FileDetailSheet() = default;

std::string FileDetailSheet::text() const { return editor_ ? editor_->text() : std::string(); }

void FileDetailSheet::retranslate() {
    header_->setTexts(qs(working_.name), qs(detailMetadata(working_)));
    if (location_) location_->retranslate();
    roleTitle_->setFullText(Lq("文件用途"));
    QStringList labels;
    for (FileRole role : FileRoles::allCases) labels << Lq(FileRoles::label(role));
    roles_->setLabels(labels);
    if (editor_) editor_->retranslate();
    if (player_) player_->retranslate();
    if (external_) external_->retranslate();
    trim_->setText(Lq("截到成片结尾"));
    restore_->setText(Lq("恢复原文"));
    crop_->setText(Lq("裁切封面"));
    cancel_->setText(Lq("取消"));
    save_->setText(Lq("保存调整"));
    note_->setFullText(Lq("编辑只影响交付副本，原件保持不变。"));
    for (StyledButton* button : {trim_, restore_, crop_, cancel_, save_}) button->updateGeometry();
    refresh();
}

void FileDetailSheet::refresh() {
    const auto roleIndex = std::find(FileRoles::allCases.begin(), FileRoles::allCases.end(), working_.role);
    roles_->setCurrent(static_cast<int>(roleIndex - FileRoles::allCases.begin()));
    trimDuration_ = singleVideoDuration(store_.deliveries(), working_.id);
    const DetailControls controls = detailControls(working_, trimDuration_, store_.isBusy(), store_.recoveryMode());
    if (editor_) {
        editor_->setCountsVisible(controls.showCounts);
        editor_->setMonospaced(controls.monospaced);
    }
    if (external_) external_->setSymbol(qs(FileRoles::symbol(working_.role)));
    trim_->setVisible(controls.showTrim);
    restore_->setVisible(controls.showRestore);
    crop_->setVisible(controls.showCrop);
    crop_->setEnabled(controls.cropEnabled);
    save_->setEnabled(controls.saveEnabled);
    const std::optional<std::string> error = detailErrorLine(localError_, working_);
    error_->setVisible(error.has_value());
    error_->setFullText(error ? Lq(*error) : QString());
}

QString FileDetailSheet::errorText() const { return error_->isHidden() ? QString() : error_->text(); }

bool FileDetailSheet::hasImagePreview() const { return image_ && !image_->picture().isNull(); }

void FileDetailSheet::chooseRole(FileRole role) {
    working_.role = role;
    refresh();
}

void FileDetailSheet::restore() {
    if (!editor_) return;
    editor_->setText(working_.text.value_or(std::string()));
}

void FileDetailSheet::trim() {
    if (!editor_ || !trimDuration_) return;
    const TrimOutcome outcome = trimSubtitle(editor_->text(), *trimDuration_);
    if (outcome.text) {
        editor_->setText(*outcome.text);
        localError_.reset();
    } else {
        localError_ = outcome.error;
    }
    refresh();
}

void FileDetailSheet::crop() {
    if (store_.isBusy() || store_.recoveryMode() || !detailControls(working_, {}, false, false).showCrop) return;
    // The role chosen here goes with it; the editor's text does not.
    store_.editFile(working_);
    store_.setSheet(AppSheet::crop(working_.id));
}

void FileDetailSheet::save() {
    if (store_.isBusy() || store_.recoveryMode()) return;
    store_.editFile(applyEditorText(working_, text()));
    dismiss_();
}

void FileDetailSheet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (image_ && !previewRequested_) loadImagePreview();
}

void FileDetailSheet::loadImagePreview() {
    previewRequested_ = true;
    const std::optional<std::filesystem::path> location = fileLocation(working_, store_.repository());
    if (!location) return;  // the preview stays an empty panel
    const QSize room = image_->pictureRoom();
    jobs_.run<Picture>([path = *location, crop = working_.crop,
                        room](std::stop_token) { return detailPicture(path, crop, detailPreviewMaxPixel, room); },
                       [this](std::optional<Picture> picture, std::exception_ptr) {
                           // An undecodable image leaves the panel empty, without a message.
                           if (picture) image_->setPicture(picture->natural, picture->display);
                       });
}

}  // namespace sorvik::app
