#pragma once
// The page of all projects: greeting and connect button, the counts line, the notice, the connect
// hint, the matching projects (empty state, one card beside the explainer strip, or the card grid),
// the inbox banner, and the status line under the scrolling page.
#include <QWidget>
#include <array>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"

class QScrollArea;

namespace sorvik::app {

class EmptyStateView;
class InboxBanner;
class ProjectCardModel;
class ProjectCardView;
class ProjectGridHost;
class SourceFlowView;
class StyledButton;
class ThumbnailLoader;
class ToneLabel;

class ProjectOverview : public QWidget {
    Q_OBJECT
public:
    ProjectOverview(AppStore& store, ThumbnailLoader& thumbnails, QWidget* parent = nullptr);

    // What is shown (tests).
    ProjectsArea area() const { return area_; }
    ProjectCardModel* cardModel() const { return cards_; }
    ProjectGridHost* grid() const { return grid_; }
    QWidget* singleRow() const { return single_; }
    EmptyStateView* emptyStateView() const { return empty_; }
    InboxBanner* banner() const { return banner_; }
    QWidget* connectHint() const { return hint_; }
    QWidget* notice() const { return notice_; }
    QWidget* status() const { return status_; }
    StyledButton* connectButton() const { return connect_; }
    QScrollArea* scrollArea() const { return scroll_; }
    /// The counts line's texts, as shown.
    QStringList countsLine() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader(QWidget* page);
    QWidget* makeCounts(QWidget* page);
    QWidget* makeHint(QWidget* page);
    void retranslate();
    void refresh(StoreChanges what);
    void apply(StoreChanges what);
    void loadSample();

    AppStore& store_;
    ThumbnailLoader& thumbnails_;
    QScrollArea* scroll_;
    ToneLabel* headline_;
    ToneLabel* subtitle_;
    StyledButton* connect_;
    std::array<ToneLabel*, 5> counts_{};
    QWidget* notice_;
    QWidget* hint_;
    ToneLabel* hintText_;
    StyledButton* hintSample_;
    EmptyStateView* empty_;
    ProjectCardModel* cards_;
    QWidget* single_;
    ProjectCardView* singleCard_;
    SourceFlowView* flow_;
    ProjectGridHost* grid_;
    InboxBanner* banner_;
    QWidget* status_;
    ProjectsArea area_ = ProjectsArea::empty;
    // Changes that arrived while the page was hidden; applied when it shows.
    StoreChanges pending_;
};

}  // namespace sorvik::app
