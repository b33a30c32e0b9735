#include "Sorvik/Views/WorkspaceNotice.hpp"

#include <QHBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Support/Widgets.hpp"
#include "Sorvik/Views/OverviewLogic.hpp"

namespace sorvik::app {

WorkspaceNotice::WorkspaceNotice(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);
    auto* symbol = new SymbolView(QStringLiteral("info.circle"), 11, Tone::secondary, this);
    row->addWidget(symbol, 0, Qt::AlignTop);
    text_ = new ToneLabel({}, 10, QFont::Normal, Tone::secondary, this);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(text_, 1);
    undo_ = new StyledButton(StyledButton::Style::plain, {}, this);
    undo_->setPixelSize(10, QFont::Medium);
    undo_->setTone(Tone::green);
    connect(undo_, &QAbstractButton::clicked, this, [this] {
        // The removal may have become final while the click was on its way.
        if (noticeLine(store_.notice().value_or(""), store_.canUndo(), store_.isBusy(), store_.recoveryMode()).undoEnabled) {
            store_.undoRemove();
        }
    });
    row->addWidget(undo_);
    close_ = new StyledButton(StyledButton::Style::plain, {}, this);
    close_->setSymbol(QStringLiteral("xmark"), 9);
    close_->setTone(Tone::secondary);
    connect(close_, &QAbstractButton::clicked, this, [this] { store_.clearNotice(); });
    row->addWidget(close_);

    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & (StoreChange::messages | StoreChange::busy | StoreChange::selection | StoreChange::projects)) refresh();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &WorkspaceNotice::refresh);
    refresh();
}

void WorkspaceNotice::refresh() {
    const std::optional<std::string>& notice = store_.notice();
    setVisible(notice.has_value());
    if (!notice) return;
    const NoticeLine line = noticeLine(*notice, store_.canUndo(), store_.isBusy(), store_.recoveryMode());
    text_->setFullText(qs(line.text));
    undo_->setText(Lq("撤销"));
    undo_->setVisible(line.showsUndo);
    undo_->setEnabled(line.undoEnabled);
}

}  // namespace sorvik::app
