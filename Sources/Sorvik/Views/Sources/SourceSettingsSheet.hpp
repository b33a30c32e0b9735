#pragma once
// The sheet that manages source folders, scanning and automatic archiving. Every switch writes into
// the store and is saved at once; the sheet keeps no state of its own.
#include <QWidget>
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"

class QCheckBox;
class QScrollArea;
class QVBoxLayout;

namespace sorvik::app {

class SheetHeader;
class Spinner;
class StyledButton;
class ToneLabel;

class SourceSettingsSheet : public QWidget {
    Q_OBJECT
public:
    SourceSettingsSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent = nullptr);

    // Controls, for tests.
    StyledButton* addFolderButton() const { return addFolder_; }
    StyledButton* archiveLocationButton() const { return archiveLocation_; }
    StyledButton* archiveNowButton() const { return archiveNow_; }
    QCheckBox* automaticScanBox() const { return automaticScan_; }
    QCheckBox* automaticArchiveBox() const { return automaticArchive_; }
    StyledButton* doneButton() const { return done_; }

private:
    void refresh(StoreChanges what);
    void retranslate();
    void rebuildSources();

    AppStore& store_;
    std::function<void()> dismiss_;
    SheetHeader* header_;
    ToneLabel* sourcesTitle_;
    StyledButton* addFolder_;
    QScrollArea* sourceScroll_;
    QWidget* sourceList_;
    QVBoxLayout* sourceRows_;
    QCheckBox* automaticScan_;
    QCheckBox* recognizeText_;
    ToneLabel* archiveTitle_;
    StyledButton* archiveLocation_;
    ToneLabel* archivePath_;
    QCheckBox* automaticArchive_;
    ToneLabel* archiveNote_;
    QWidget* archiveNowRow_;
    StyledButton* archiveNow_;
    ToneLabel* archiveCount_;
    Spinner* spinner_;
    ToneLabel* activity_;
    StyledButton* done_;
};

}  // namespace sorvik::app
