#include "Sorvik/Views/Delivery/DeliverySheets.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <cmath>
#include <limits>

#include "Sorvik/Views/Kit/Icons.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"
#include "Sorvik/Views/Kit/Widgets.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliveryModel.hpp"
#include "Sorvik/Views/Kit/DeliveryParts.hpp"
#include "Sorvik/Views/Kit/SlimScrollBar.hpp"
#include "Sorvik/Views/Delivery/Logic/DeliverySheetsLogic.hpp"
#include "Sorvik/Views/Kit/SheetHeader.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"

namespace sorvik::app {

namespace {

/// A text field with a rounded border, as the sheets' forms use.
QLineEdit* roundedField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    // A stored name of any length is shown whole, never cut.
    field->setMaxLength(std::numeric_limits<int>::max());
    field->setFont(Theme::font(type::callout));
    field->setMinimumHeight(30);
    field->setClearButtonEnabled(false);
    setPaletteStyleSheet(field, [](const QPalette& palette) { return fieldStyle(palette); });
    return field;
}

QHBoxLayout* buttonRow(QWidget* left, QWidget* right) {
    auto* row = new QHBoxLayout();
    row->setContentsMargins(0, 0, 0, 0);
    if (left) row->addWidget(left);
    row->addStretch(1);
    row->addWidget(right);
    return row;
}

/// One remaining warning: the symbol beside its title and detail; 15 between entries.
class WarningRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr double symbol = 15, gap = 10, spacing = 15;

    static QFont titleFont() { return Theme::font(type::body, QFont::Medium); }
    static QFont detailFont() { return Theme::font(type::caption); }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const double width = std::max(40, option.rect.width()) - symbol - gap;
        const QFontMetricsF title(titleFont());
        const QRectF detail = QFontMetricsF(detailFont())
                                  .boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap,
                                                index.data(DeliveryChecksModel::DetailRole).toString());
        return QSize(option.rect.width(), int(std::ceil(title.height() + 4 + detail.height() + spacing)));
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QPalette palette = QApplication::palette();
        const QRectF rect = option.rect;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QFontMetricsF title(titleFont());
        Icons::paint(*painter, QStringLiteral("exclamationmark.circle"),
                     QRectF(rect.left(), rect.top() + (title.height() - symbol) / 2, symbol, symbol),
                     Theme::warning(palette));
        const double left = rect.left() + symbol + gap;
        const double width = rect.width() - symbol - gap;
        painter->setFont(titleFont());
        painter->setPen(Theme::primaryText(palette));
        painter->drawText(QRectF(left, rect.top(), width, title.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          title.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, width));
        painter->setFont(detailFont());
        painter->setPen(Theme::secondaryText(palette));
        painter->drawText(QRectF(left, rect.top() + title.height() + 4, width, rect.height()),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          index.data(DeliveryChecksModel::DetailRole).toString());
        painter->restore();
    }
};

/// One export: the package symbol, its date and contents, and the way to it.
class HistoryRowView : public QWidget {
public:
    HistoryRowView(AppStore& store, const HistoryRow& row, QWidget* parent) : QWidget(parent) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, space::item, space::labelGap, space::item);
        layout->setSpacing(space::group);
        layout->addWidget(new SymbolView(QStringLiteral("shippingbox"), 18, Tone::green, this), 0, Qt::AlignVCenter);
        auto* texts = new QVBoxLayout();
        texts->setSpacing(space::tightLines);
        texts->addWidget(new ToneLabel(qs(row.date), type::body, QFont::Normal, Tone::primary, this));
        auto* detail = new ToneLabel(qs(row.detail), type::caption, QFont::Normal, Tone::secondary, this);
        detail->setElide(Qt::ElideMiddle);
        texts->addWidget(detail);
        layout->addLayout(texts, 1);
        auto* view = new StyledButton(StyledButton::Style::quiet, Lq("查看"), this);
        const std::string path = row.path;
        connect(view, &QAbstractButton::clicked, this, [&store, path] { store.revealItem(path); });
        layout->addWidget(view, 0, Qt::AlignVCenter);
    }
};

}  // namespace

DeliverySheet::DeliverySheet(AppStore& store, std::function<void()> dismiss, int width, int spacing, QWidget* parent)
    : QWidget(parent), store_(store), dismiss_(std::move(dismiss)) {
    setFixedWidth(width);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(space::sheetMargin, space::sheetMargin, space::sheetMargin, space::sheetMargin);
    layout_->setSpacing(spacing);
    header_ = new SheetHeader({}, {}, this);
    layout_->addWidget(header_);
}

void DeliverySheet::follow(StoreChanges what) {
    connect(&store_, &AppStore::changed, this, [this, what](StoreChanges changed) {
        if (changed & what) refresh();
    });
    connect(&store_.preferences(), &Preferences::languageChanged, this, [this] { retranslate(); });
}

// Rename ------------------------------------------------------------------------------------------------

RenameSheet::RenameSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent)
    : DeliverySheet(store, std::move(dismiss), 440, space::wideSections, parent) {
    field_ = roundedField(this);
    field_->setText(qs(renamePrefill(store_.selected())));
    opened_ = field_->text();
    layout_->addWidget(field_);
    cancel_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    save_ = new StyledButton(StyledButton::Style::primary, {}, this);
    layout_->addLayout(buttonRow(cancel_, save_));

    connect(cancel_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    connect(save_, &QAbstractButton::clicked, this, &RenameSheet::save);
    connect(field_, &QLineEdit::returnPressed, this, &RenameSheet::save);
    connect(field_, &QLineEdit::textChanged, this, &RenameSheet::refresh);
    follow(StoreChange::busy | StoreChange::projects | StoreChange::selection);
    retranslate();
    field_->setFocus();
}

void RenameSheet::retranslate() {
    header_->setTexts(Lq("给这份交付起个名字"), Lq("这个名字也会用作导出文件夹的名称。"));
    field_->setPlaceholderText(Lq("例如：周末，去山里"));
    field_->setAccessibleName(Lq("给这份交付起个名字"));
    cancel_->setText(Lq("取消"));
    save_->setText(Lq("保存"));
    cancel_->updateGeometry();
    save_->updateGeometry();
    refresh();
}

void RenameSheet::refresh() {
    save_->setEnabled(canSaveName(utf8(field_->text()), store_.isBusy(), store_.recoveryMode()));
}

void RenameSheet::save() {
    // Also what Return runs: nothing while the name is blank or a job could replace the list.
    const std::string typed = utf8(field_->text());
    if (!canSaveName(typed, store_.isBusy(), store_.recoveryMode())) return;
    const std::optional<std::string> name = committedName(typed);
    if (!name) return;
    // Saved unedited, the name stays exactly as stored.
    if (field_->text() == opened_) return dismiss_();
    store_.update(std::nullopt, [&name](Delivery& delivery) { delivery.name = *name; });
    dismiss_();
}

// Warnings ----------------------------------------------------------------------------------------------

WarningSheet::WarningSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent)
    : DeliverySheet(store, std::move(dismiss), 490, space::sheetSections, parent) {
    model_ = new DeliveryChecksModel(this);
    list_ = new QListView(this);
    list_->setModel(model_);
    list_->setItemDelegate(new WarningRowDelegate(list_));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setResizeMode(QListView::Adjust);
    list_->viewport()->setAutoFillBackground(false);
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    makeSlim(list_->verticalScrollBar());
    layout_->addWidget(list_);
    back_ = new StyledButton(StyledButton::Style::quiet, {}, this);
    confirm_ = new StyledButton(StyledButton::Style::primary, {}, this);
    layout_->addLayout(buttonRow(back_, confirm_));

    connect(back_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    connect(confirm_, &QAbstractButton::clicked, this, &WarningSheet::confirm);
    follow(StoreChange::busy | StoreChange::projects | StoreChange::selection);
    retranslate();
}

void WarningSheet::retranslate() {
    back_->setText(Lq("返回检查"));
    confirm_->setText(Lq("确认并导出"));
    back_->updateGeometry();
    confirm_->updateGeometry();
    refresh();
}

void WarningSheet::refresh() {
    const std::vector<DeliveryCheck> issues = store_.issues();
    header_->setTexts(qs(warningTitle(issues.size())),
                      Lq("这些文件可以导出。继续前，请确认以下事项符合你的交付要求。提醒会写进交付说明。"));
    model_->setChecks(issues);
    // As tall as the entries, at most 260.
    const int width = 490 - 60;
    int total = 0;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, width, 0);
    for (int row = 0; row < model_->rowCount() && total < 260; ++row) {
        total += list_->itemDelegate()->sizeHint(option, model_->index(row, 0)).height();
    }
    list_->setFixedHeight(std::min(260, std::max(total, 1)));
    confirm_->setEnabled(store_.canExport());
}

void WarningSheet::confirm() {
    if (!store_.canExport()) return;
    dismiss_();
    // The sheet is gone before the folder chooser opens; the store checks its guards again.
    AppStore* store = &store_;
    QTimer::singleShot(0, store, [store] { store->chooseExportDestination(true); });
}

// History -----------------------------------------------------------------------------------------------

HistorySheet::HistorySheet(AppStore& store, std::function<void()> dismiss, QWidget* parent)
    : DeliverySheet(store, std::move(dismiss), 500, space::wideSections, parent) {
    empty_ = new ToneLabel({}, type::callout, QFont::Normal, Tone::secondary, this);
    empty_->setContentsMargins(0, space::sheetMargin, 0, space::sheetMargin);
    empty_->setWordWrap(true);
    layout_->addWidget(empty_);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    makeSlim(scroll->verticalScrollBar());
    auto* list = new QWidget(scroll);
    list->setAutoFillBackground(false);
    rows_ = new QVBoxLayout(list);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    scroll->setWidget(list);
    scroll_ = scroll;
    layout_->addWidget(scroll_);
    done_ = new StyledButton(StyledButton::Style::primary, {}, this);
    layout_->addLayout(buttonRow(nullptr, done_));
    connect(done_, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    follow(StoreChange::projects | StoreChange::selection);
    retranslate();
}

void HistorySheet::retranslate() {
    done_->setText(Lq("完成"));
    done_->updateGeometry();
    empty_->setFullText(Lq("完成第一次导出后，记录会出现在这里。"));
    refresh();
}

void HistorySheet::refresh() {
    const Delivery* delivery = store_.selected();
    header_->setTexts(Lq("每一次交付，都有记录。"), delivery ? qs(delivery->name) : QString());
    while (QLayoutItem* item = rows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const std::vector<HistoryRow> rows = historyRows(delivery, utf8(store_.preferences().interfaceCode()));
    empty_->setVisible(rows.empty());
    auto* list = rows_->parentWidget();
    int height = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) rows_->addWidget(new Hairline(Qt::Horizontal, list));
        auto* row = new HistoryRowView(store_, rows[i], list);
        rows_->addWidget(row);
        height += row->sizeHint().height() + (i > 0 ? 1 : 0);
    }
    rows_->addStretch(1);
    scroll_->setVisible(!rows.empty());
    scroll_->setFixedHeight(std::min(320, std::max(height, 1)));
}

}  // namespace sorvik::app
