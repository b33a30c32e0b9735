#include "Sorvik/Views/WorkspaceStatus.hpp"

#include <QHBoxLayout>

#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Support/Widgets.hpp"
#include "Sorvik/Views/OverviewLogic.hpp"

namespace sorvik::app {

WorkspaceStatus::WorkspaceStatus(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(30, 17, 30, 17);
    row->setSpacing(7);
    dot_ = new StatusDot(6, Tone::green, 0.8, this);
    text_ = new ToneLabel({}, 10, QFont::Normal, Tone::secondary, this);
    text_->setElide(Qt::ElideRight);
    lastIndexed_ = new ToneLabel({}, 10, QFont::Normal, Tone::secondary, this);
    row->addWidget(dot_);
    row->addWidget(text_, 1);
    row->addWidget(lastIndexed_);
    connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
        if (what & (StoreChange::busy | StoreChange::settings)) refresh();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, &WorkspaceStatus::refresh);
    refresh();
}

void WorkspaceStatus::refresh() {
    const StatusLine line = statusLine(store_);
    dot_->setTone(line.busy ? Tone::warning : Tone::green, line.busy ? 1.0 : 0.8);
    text_->setFullText(qs(line.text));
    lastIndexed_->setVisible(line.lastIndexed.has_value());
    if (line.lastIndexed) lastIndexed_->setFullText(qs(*line.lastIndexed));
}

}  // namespace sorvik::app
