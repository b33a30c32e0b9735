#pragma once
// Pieces of the project overview: the empty state and the inbox banner.
#include <QWidget>

#include "Sorvik/Views/Kit/CentredLines.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"

namespace sorvik::app {

class StyledButton;
class SymbolView;

/// What the overview shows when no project matches.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    explicit EmptyStateView(QWidget* parent = nullptr);
    /// Switches between the first-run content and the no-match content.
    void setSearchEmpty(bool searchEmpty);
    void setSampleEnabled(bool enabled);
    StyledButton* sampleButton() const { return sample_; }
    QString title() const;

signals:
    void sampleRequested();

private:
    SymbolView* symbol_;
    ToneLabel* title_;
    CentredLines* text_;
    StyledButton* sample_;
};

/// The banner that leads to the inbox when unassigned assets match.
class InboxBanner : public QWidget {
    Q_OBJECT
public:
    explicit InboxBanner(QWidget* parent = nullptr);
    void setTitle(const QString& title);
    void retranslate();
    StyledButton* viewButton() const { return view_; }

signals:
    void viewRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ToneLabel* title_;
    ToneLabel* text_;
    StyledButton* view_;
};

}  // namespace sorvik::app
