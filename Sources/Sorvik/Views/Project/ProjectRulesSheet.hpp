#pragma once
// The sheet that gives the selected project its name and aliases, the clues project matching
// uses. It opens filled from the project; saving writes both, matches the library again and
// closes.
#include <QWidget>
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"

class QLineEdit;

namespace sorvik::app {

class SheetHeader;
class StyledButton;
class ToneLabel;

class ProjectRulesSheet : public QWidget {
    Q_OBJECT
public:
    ProjectRulesSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return name_; }
    QLineEdit* aliasField() const { return aliases_; }
    StyledButton* saveButton() const { return save_; }
    StyledButton* cancelButton() const { return cancel_; }
    /// The save button's action.
    void save();

private:
    void retranslate();
    void refreshStates();

    AppStore& store_;
    std::function<void()> dismiss_;
    SheetHeader* header_;
    ToneLabel* nameLabel_;
    QLineEdit* name_;
    ToneLabel* aliasLabel_;
    QLineEdit* aliases_;
    ToneLabel* hint_;
    QString openedName_;
    QString openedAliases_;
    StyledButton* cancel_;
    StyledButton* save_;
};

}  // namespace sorvik::app
