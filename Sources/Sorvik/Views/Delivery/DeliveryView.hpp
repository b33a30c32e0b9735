#pragma once
// The delivery workspace of the selected delivery: its name and rules, the notice, one card per
// main role, the checks with an action per problem, all files with a menu each, and the footer with
// the package's status and the export. It keeps no state but the files section's open flag.
#include <QWidget>
#include <array>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryLogic.hpp"

class QScrollArea;

namespace sorvik::app {

class DeliveryChecksModel;
class DeliveryFilesModel;
class DisclosureButton;
class FileCard;
class MenuStyleButton;
class RowListView;
class CheckRowDelegate;
class StyledButton;
class SymbolView;
class ThumbnailLoader;
class TitleButton;
class ToneLabel;

class DeliveryView : public QWidget {
    Q_OBJECT
public:
    DeliveryView(AppStore& store, ThumbnailLoader& loader, QWidget* parent = nullptr);

    // What is shown (tests).
    TitleButton* nameButton() const { return name_; }
    MenuStyleButton* rulesButton() const { return rules_; }
    FileCard* card(int index) const { return cards_[static_cast<std::size_t>(index)]; }
    RowListView* checkList() const { return checkList_; }
    DeliveryChecksModel* checksModel() const { return checksModel_; }
    RowListView* fileList() const { return fileList_; }
    DeliveryFilesModel* filesModel() const { return filesModel_; }
    DisclosureButton* filesToggle() const { return filesToggle_; }
    StyledButton* undoButton() const { return undo_; }
    StyledButton* exportButton() const { return export_; }
    StyledButton* revealButton() const { return reveal_; }
    StyledButton* historyButton() const { return history_; }
    ToneLabel* statusTitle() const { return statusTitle_; }
    ToneLabel* statusLine() const { return statusLine_; }
    /// The file menu of a row as it would open now (tests open it without showing it).
    QMenu* makeFileMenu(const UUID& fileID);

private:
    QWidget* makeHeader(QWidget* parent);
    QWidget* makeNotice(QWidget* parent);
    QWidget* makeChecks(QWidget* parent);
    QWidget* makeFiles(QWidget* parent);
    QWidget* makeFooter();
    void retranslate();
    void refresh(StoreChanges what);
    void refreshLists(const Delivery& delivery);
    void refreshFooter(const Delivery& delivery);
    void checkClicked(const QModelIndex& index, int part);
    void fileClicked(const QModelIndex& index, int part, const QPoint& global);

    AppStore& store_;
    ThumbnailLoader& loader_;
    DeliverySnapshot snapshot_;
    QScrollArea* scroll_;
    QWidget* page_;
    QWidget* footer_;
    TitleButton* name_;
    ToneLabel* tagline_;
    MenuStyleButton* rules_;
    QWidget* notice_;
    ToneLabel* noticeText_;
    StyledButton* undo_;
    StyledButton* closeNotice_;
    std::array<FileCard*, 4> cards_{};
    ToneLabel* checksTitle_;
    StyledButton* issuesToggle_;
    DeliveryChecksModel* checksModel_;
    CheckRowDelegate* checkDelegate_;
    RowListView* checkList_;
    ToneLabel* allPassed_;
    QWidget* filesSection_;
    DisclosureButton* filesToggle_;
    DeliveryFilesModel* filesModel_;
    RowListView* fileList_;
    ToneLabel* footnote_;
    SymbolView* statusSymbol_;
    ToneLabel* statusTitle_;
    ToneLabel* statusLine_;
    StyledButton* reveal_;
    StyledButton* history_;
    StyledButton* export_;
};

}  // namespace sorvik::app
