#include "Sorvik/Views/Kit/WorkspaceNotice.hpp"

#include <QHBoxLayout>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Support/AppConfiguration.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Kit/Logic/WorkspaceNoticeLogic.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"
#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

namespace {

class WorkspaceNotice : public QWidget {
public:
    WorkspaceNotice(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(space::wordGap);
        row->addWidget(new SymbolView(QStringLiteral("info.circle"), 11, Tone::secondary, this), 0, Qt::AlignVCenter);
        text_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, this);
        text_->setWordWrap(true);
        text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
        row->addWidget(text_, 1);
        undo_ = new StyledButton(StyledButton::Style::plain, {}, this);
        undo_->setPixelSize(type::caption, QFont::Medium);
        undo_->setTone(Tone::green);
        connect(undo_, &QAbstractButton::clicked, this, [this] { store_.undoRemove(); });
        row->addWidget(undo_, 0, Qt::AlignVCenter);
        close_ = new StyledButton(StyledButton::Style::plain, {}, this);
        close_->setSymbol(QStringLiteral("xmark"), 9);
        close_->setTone(Tone::secondary);
        connect(close_, &QAbstractButton::clicked, this, [this] { store_.clearNotice(); });
        row->addWidget(close_, 0, Qt::AlignVCenter);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
        connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
            if (what & (StoreChange::messages | StoreChange::busy | StoreChange::selection)) refresh();
        });
        connect(&store_.preferences(), &Preferences::languageChanged, this, [this] { refresh(); });
        refresh();
    }

protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (revealPending_) reveal();
    }

private:
    void refresh() {
        const NoticeLineState state = noticeLineState(store_);
        // A notice raised anew is scrolled into view, now or when its page is shown.
        if (state.shown && state.text != shownText_) revealPending_ = true;
        shownText_ = state.shown ? state.text : std::string();
        setVisible(state.shown);
        if (!state.shown) return;
        if (revealPending_ && isVisible()) reveal();
        text_->setFullText(Lq(state.text));
        undo_->setText(Lq("撤销"));
        undo_->setVisible(state.undoShown);
        undo_->setEnabled(state.undoEnabled);
    }

    /// Scrolls the page this notice is on so that it shows, once the page has laid it out.
    void reveal() {
        revealPending_ = false;
        QTimer::singleShot(0, this, [notice = QPointer<QWidget>(this)] {
            if (!notice || !notice->isVisible()) return;
            for (QWidget* up = notice->parentWidget(); up; up = up->parentWidget()) {
                auto* area = qobject_cast<QScrollArea*>(up);
                if (area && area->widget() && area->widget()->isAncestorOf(notice)) {
                    area->ensureWidgetVisible(notice, 0, space::section);
                    return;
                }
            }
        });
    }

    AppStore& store_;
    ToneLabel* text_;
    StyledButton* undo_;
    StyledButton* close_;
    std::string shownText_;
    bool revealPending_ = false;
};

class WorkspaceStatus : public QWidget {
public:
    WorkspaceStatus(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(space::pageMargin, space::flowNodePadding, space::pageMargin, space::flowNodePadding);
        row->setSpacing(space::smallGap);
        dot_ = new StatusDot(6, Tone::green, 0.8, this);
        row->addWidget(dot_, 0, Qt::AlignVCenter);
        text_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, this);
        text_->setElide(Qt::ElideRight);
        row->addWidget(text_, 1);
        lastIndexed_ = new ToneLabel({}, type::caption, QFont::Normal, Tone::secondary, this);
        row->addWidget(lastIndexed_);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(&store_, &AppStore::changed, this, [this](StoreChanges what) {
            if (what & (StoreChange::busy | StoreChange::settings | StoreChange::messages)) refresh();
        });
        connect(&store_.preferences(), &Preferences::languageChanged, this, [this] { refresh(); });
        refresh();
    }

private:
    void refresh() {
        const StatusLineState state =
            statusLineState(store_, AppConfiguration::scanInterval(), InterfaceLanguage::code());
        dot_->setTone(state.busy || state.warning ? Tone::warning : Tone::green,
                      state.busy || state.warning ? 1.0 : 0.8);
        text_->setFullText(qs(state.text));
        // The whole reason, where the line is too short for it.
        text_->setToolTip(state.warning ? Lq(store_.recoveryReason()) : QString());
        lastIndexed_->setVisible(state.lastIndexed.has_value());
        if (state.lastIndexed) lastIndexed_->setText(qs(*state.lastIndexed));
    }

    AppStore& store_;
    StatusDot* dot_;
    ToneLabel* text_;
    ToneLabel* lastIndexed_;
};

}  // namespace

QWidget* makeWorkspaceNotice(AppStore& store, QWidget* parent) { return new WorkspaceNotice(store, parent); }

QWidget* makeWorkspaceStatus(AppStore& store, QWidget* parent) { return new WorkspaceStatus(store, parent); }

}  // namespace sorvik::app
