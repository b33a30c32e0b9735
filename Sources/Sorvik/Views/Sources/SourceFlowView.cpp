#include "Sorvik/Views/Sources/SourceFlowView.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "Sorvik/Support/Formatting.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Overview/Logic/OverviewLogic.hpp"
#include "Sorvik/Views/Kit/CentredLines.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// The project node: a faint green tile.
class GreenTile : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), corner::panel, corner::panel);
        painter.fillPath(path, Theme::withAlpha(Theme::green(QApplication::palette()), 0.04));
    }
};

QWidget* sourceRow(const SourceFolder& source, QWidget* parent) {
    auto* row = new CardFrame(corner::button, parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(space::nodePadding, space::nodePadding, space::nodePadding, space::nodePadding);
    layout->setSpacing(space::smallGap);
    layout->addWidget(new SymbolView(QStringLiteral("folder"), 11, Tone::primary, row));
    auto* name = new ToneLabel(qs(lastPathComponent(source.path)), type::caption, QFont::Normal, Tone::primary, row);
    name->setElide(Qt::ElideMiddle);
    layout->addWidget(name, 1);
    layout->addSpacing(space::tightLines);
    if (source.lastError) {
        layout->addWidget(new StatusDot(5, Tone::warning, 1.0, row));
    } else {
        layout->addWidget(new StatusDot(5, Tone::green, 0.65, row));
    }
    row->setToolTip(qs(abbreviatingHome(source.path)));
    return row;
}

}  // namespace

SourceFlowView::SourceFlowView(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(space::symbolGap, 0, space::symbolGap, 0);
    column->setSpacing(space::overviewSections);
    column->addStretch(1);

    auto* flow = new QHBoxLayout();
    flow->setSpacing(space::group);
    flow->addStretch(1);
    sources_ = new QWidget(this);
    // Each row stretches to the column, which is as wide as it may be.
    sources_->setFixedWidth(150);
    sourceColumn_ = new QVBoxLayout(sources_);
    sourceColumn_->setContentsMargins(0, 0, 0, 0);
    sourceColumn_->setSpacing(space::group);
    flow->addWidget(sources_);
    arrow_ = new SymbolView(QStringLiteral("arrow.right"), 16, Tone::tertiary, this);
    flow->addWidget(arrow_);
    auto* node = new GreenTile(this);
    auto* nodeColumn = new QVBoxLayout(node);
    nodeColumn->setContentsMargins(space::flowNodePadding, space::flowNodePadding, space::flowNodePadding,
                                   space::flowNodePadding);
    nodeColumn->setSpacing(space::item);
    nodeColumn->addWidget(new SymbolView(QStringLiteral("square.stack.3d.up"), 26, Tone::green, node), 0,
                          Qt::AlignHCenter);
    nodeLabel_ = new ToneLabel({}, type::footnote, QFont::Normal, Tone::green, node);
    nodeLabel_->setAlignment(Qt::AlignCenter);
    nodeColumn->addWidget(nodeLabel_, 0, Qt::AlignHCenter);
    flow->addWidget(node);
    flow->addStretch(1);
    column->addLayout(flow);

    title_ = new ToneLabel({}, type::title3, QFont::Medium, Tone::primary, this);
    title_->setAlignment(Qt::AlignCenter);
    text_ = new CentredLines(type::footnote, QFont::Normal, Tone::secondary, 5, this);
    auto* words = new QVBoxLayout();
    words->setSpacing(space::wordGap);
    words->addWidget(title_);
    words->addWidget(text_);
    column->addLayout(words);
    column->addStretch(1);

    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & StoreChange::sources) rebuild();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &SourceFlowView::retranslate);
    rebuild();
    retranslate();
}

void SourceFlowView::rebuild() {
    for (QWidget* row : rows_) row->deleteLater();
    rows_.clear();
    QWidget* holder = sources_;
    for (const SourceFolder* source : flowSources(store_.workspace().sources)) {
        QWidget* row = sourceRow(*source, holder);
        sourceColumn_->addWidget(row);
        rows_.push_back(row);
    }
    // No arrow out of an empty column.
    sources_->setHidden(rows_.empty());
    arrow_->setHidden(rows_.empty());
}

void SourceFlowView::retranslate() {
    nodeLabel_->setFullText(Lq("项目"));
    title_->setFullText(Lq("一次连接，持续发现。"));
    text_->setText(Lq("名字、目录、文案与图片文字，\n一起成为项目关联的线索。"));
}

}  // namespace sorvik::app
