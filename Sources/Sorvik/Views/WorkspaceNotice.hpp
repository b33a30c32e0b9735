#pragma once
// The notice line of the library pages: the store's latest notice with undo (while a removal can
// be undone) and close. It hides itself while there is no notice.
#include <QWidget>

#include "Sorvik/Stores/AppStore.hpp"

namespace sorvik::app {

class StyledButton;
class ToneLabel;

class WorkspaceNotice : public QWidget {
    Q_OBJECT
public:
    explicit WorkspaceNotice(AppStore& store, QWidget* parent = nullptr);

    StyledButton* undoButton() const { return undo_; }
    StyledButton* closeButton() const { return close_; }
    ToneLabel* textLabel() const { return text_; }

private:
    void refresh();

    AppStore& store_;
    ToneLabel* text_;
    StyledButton* undo_;
    StyledButton* close_;
};

}  // namespace sorvik::app
