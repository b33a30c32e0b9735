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

private:
    void rebuild();
    void retranslate();

    AppStore& store_;
    QVBoxLayout* sourceColumn_;
    std::vector<QWidget*> rows_;
    ToneLabel* nodeLabel_;
    ToneLabel* title_;
    CentredLines* text_;
};

}  // namespace sorvik::app
