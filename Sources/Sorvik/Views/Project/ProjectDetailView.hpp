#pragma once
// The page of the selected project: its name and counts, the menu and the buttons that open its
// rules and the delivery workspace, the store's notice, the type filter with the buttons that
// bring in more assets, and the grid of its asset cards or an empty state.
#include <QWidget>
#include <memory>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Kit/StaleUntilShown.hpp"
#include "Sorvik/Views/Project/Logic/ProjectAssetsModel.hpp"

class QMenu;
class QScrollArea;

namespace sorvik::app {

class AssetGridView;
class SegmentedPicker;
class StyledButton;
class SymbolView;
class ThumbnailLoader;
class ToneLabel;

class ProjectDetailView : public QWidget {
    Q_OBJECT
public:
    ProjectDetailView(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

    // What is shown now (tests).
    AssetGridView* grid() const { return grid_; }
    /// The scrolling page that holds the header, the filter bar and the cards.
    QScrollArea* scrollArea() const { return scroll_; }
    bool showsEmptyState() const;
    QString countsText() const;
    StyledButton* rulesButton() const { return rules_; }
    StyledButton* deliveryButton() const { return delivery_; }
    StyledButton* linkButton() const { return link_; }
    StyledButton* findButton() const { return find_; }
    StyledButton* menuButton() const { return menu_; }
    SegmentedPicker* filterPicker() const { return filter_; }
    /// The header menu, built from the store now.
    std::unique_ptr<QMenu> makeProjectMenu();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeFilterBar();
    QWidget* makeEmptyState(QWidget* page);
    void showGrid(bool shown);
    void refresh(StoreChanges what);
    void retranslate();
    void refreshStates();
    void rebuild();

    AppStore& store_;
    ThumbnailLoader& thumbnails_;
    ToneLabel* title_ = nullptr;
    ToneLabel* counts_ = nullptr;
    StyledButton* menu_ = nullptr;
    StyledButton* rules_ = nullptr;
    StyledButton* delivery_ = nullptr;
    SegmentedPicker* filter_ = nullptr;
    StyledButton* link_ = nullptr;
    StyledButton* find_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    AssetGridView* grid_ = nullptr;
    QWidget* empty_ = nullptr;
    ToneLabel* emptyTitle_ = nullptr;
    ToneLabel* emptyText_ = nullptr;
    StyledButton* emptyButton_ = nullptr;

    /// The cards of every file of the shown project, made once per change of the library.
    std::vector<AssetCardItem> cards_;
    std::optional<UUID> cardsProject_;
    bool libraryChanged_ = true;
    StaleUntilShown rebuilds_{*this, [this] { rebuild(); }};
};

}  // namespace sorvik::app
