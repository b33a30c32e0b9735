#pragma once
// The small sheets of the delivery workspace: renaming the selected delivery, confirming the
// warnings before an export and the history of its exports. Each acts on the store's selected
// delivery and closes through `dismiss`.
#include <QWidget>
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"

class QLineEdit;
class QListView;
class QVBoxLayout;

namespace sorvik::app {

class DeliveryChecksModel;
class SheetHeader;
class StyledButton;
class ToneLabel;

/// The frame of a sheet: a column of a fixed width inside the sheet's margins, a header on top.
class DeliverySheet : public QWidget {
    Q_OBJECT
protected:
    DeliverySheet(AppStore& store, std::function<void()> dismiss, int width, int spacing, QWidget* parent);
    /// `refresh` runs after a change of any of `what`, `retranslate` after a change of language.
    void follow(StoreChanges what);
    virtual void refresh() = 0;
    virtual void retranslate() = 0;

    AppStore& store_;
    std::function<void()> dismiss_;
    QVBoxLayout* layout_;
    SheetHeader* header_;
};

class RenameSheet : public DeliverySheet {
    Q_OBJECT
public:
    RenameSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent = nullptr);
    QLineEdit* field() const { return field_; }
    StyledButton* saveButton() const { return save_; }
    /// Save and Return: stores the name and closes, when the name and the store allow it.
    void save();

private:
    void refresh() override;
    void retranslate() override;

    QLineEdit* field_;
    QString opened_;  // the field as it opened
    StyledButton* cancel_;
    StyledButton* save_;
};

class WarningSheet : public DeliverySheet {
    Q_OBJECT
public:
    WarningSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent = nullptr);
    StyledButton* confirmButton() const { return confirm_; }
    /// Closes the sheet, then on the next turn of the event loop asks for the export folder.
    void confirm();

private:
    void refresh() override;
    void retranslate() override;

    DeliveryChecksModel* model_;
    QListView* list_;
    StyledButton* back_;
    StyledButton* confirm_;
};

class HistorySheet : public DeliverySheet {
    Q_OBJECT
public:
    HistorySheet(AppStore& store, std::function<void()> dismiss, QWidget* parent = nullptr);

private:
    void refresh() override;
    void retranslate() override;

    ToneLabel* empty_;
    QWidget* scroll_;
    QVBoxLayout* rows_;
    StyledButton* done_;
};

}  // namespace sorvik::app
