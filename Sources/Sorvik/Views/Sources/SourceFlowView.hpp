#pragma once
// The explainer strip beside a single project card: the first enabled sources flowing into
// projects, and two lines on how Sorvik finds related assets.
#include <QWidget>
#include <vector>

#include "Sorvik/Stores/AppStore.hpp"

class QVBoxLayout;

namespace sorvik::app {

class CentredLines;
class ToneLabel;

class SourceFlowView : public QWidget {
    Q_OBJECT
public:
    explicit SourceFlowView(AppStore& store, QWidget* parent = nullptr);
    /// The source rows shown (tests).
    int sourceRowCount() const { return static_cast<int>(rows_.size()); }
    /// Whether the arrow from the source column shows (not while the column is empty).
    bool showsArrow() const { return !arrow_->isHidden(); }

private:
    void rebuild();
    void retranslate();

    AppStore& store_;
    QVBoxLayout* sourceColumn_;
    QWidget* sources_;  // the source column and the arrow from it, hidden while no source is shown
    QWidget* arrow_;
    std::vector<QWidget*> rows_;
    ToneLabel* nodeLabel_;
    ToneLabel* title_;
    CentredLines* text_;
};

}  // namespace sorvik::app
