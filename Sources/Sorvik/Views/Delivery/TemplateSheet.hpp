#pragma once
// The delivery rules sheet: start from built-in rules or a preset, adjust the name, required files,
// cover ratio and limits, and save them into the selected delivery (also as a preset). The form is
// seeded when the sheet opens and reaches the store only on Save.
#include <QWidget>
#include <array>
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Delivery/Logic/TemplateSheetLogic.hpp"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;

namespace sorvik::app {

class SheetHeader;
class StyledButton;
class ToneLabel;

class TemplateSheet : public QWidget {
    Q_OBJECT
public:
    TemplateSheet(AppStore& store, std::function<void()> dismiss, QWidget* parent = nullptr);

    const TemplateForm& form() const { return form_; }
    StyledButton* saveButton() const { return save_; }
    QLineEdit* nameField() const { return name_; }
    /// The limit fields: video size, title, body.
    QLineEdit* limitField(int index) const { return limits_[static_cast<std::size_t>(index)].field; }
    QCheckBox* roleBox(FileRole role) const { return roles_[static_cast<std::size_t>(role)]; }
    QComboBox* ratioPicker() const { return ratio_; }
    QCheckBox* presetToggle() const { return saveAsPreset_; }
    /// Replaces the form with a starting point (a built-in rule set or a preset).
    void choose(const DeliveryTemplate& templ);
    /// Saves into the selected delivery (and as a preset when asked), then closes.
    void save();

private:
    struct LimitRow {
        ToneLabel* title = nullptr;
        QLineEdit* field = nullptr;
        ToneLabel* unit = nullptr;
        bool readable = true;
        bool shownInvalid = false;
    };
    QWidget* makeStartingPoints();
    QWidget* makeForm();
    void showForm();
    void showName();
    void refresh();
    void retranslate();
    void limitEdited(std::size_t index, const QString& text);

    AppStore& store_;
    std::function<void()> dismiss_;
    TemplateForm form_;
    SheetHeader* header_;
    std::array<StyledButton*, 3> builtIns_{};
    StyledButton* presets_;
    QMenu* presetMenu_;
    std::array<ToneLabel*, 4> labels_{};  // name, required files, ratio, and the note
    QLineEdit* name_;
    bool showingName_ = false;  // the sheet, not the user, is setting the name field
    bool nameTyped_ = false;    // the field shows what the user typed
    std::array<QCheckBox*, 4> roles_{};
    QComboBox* ratio_;
    std::array<LimitRow, 3> limits_;
    QCheckBox* saveAsPreset_;
    StyledButton* cancel_;
    StyledButton* save_;
};

}  // namespace sorvik::app
