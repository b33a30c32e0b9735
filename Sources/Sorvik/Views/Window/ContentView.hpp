#pragma once
// The main window's content: sidebar, toolbar, the page of the current section, every sheet the
// store names, the warning sheet and the one error alert.
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "Sorvik/Stores/AppStore.hpp"
#include "Sorvik/Views/Kit/SheetDialog.hpp"

class QLineEdit;
class QStackedWidget;

namespace sorvik::app {

class Spinner;
class ThumbnailLoader;
class StyledButton;
class SymbolView;
class ToneLabel;
class WindowDropTarget;

class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(AppStore& store, QWidget* parent = nullptr);
    ~ContentView() override;

    // What is shown now (tests).
    QWidget* currentPage() const;
    SheetDialog* sheetDialog() const { return sheet_; }
    SheetDialog* warningDialog() const { return warnings_; }
    QMessageBox* alert() const { return alert_; }
    QLineEdit* searchField() const { return search_; }
    ThumbnailLoader& thumbnails() const { return *thumbnails_; }
    WindowDropTarget* dropTarget() const { return dropTarget_; }

signals:
    /// The sidebar's settings link: the app opens its settings window.
    void settingsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeToolbar();
    void retranslate();
    void refresh(StoreChanges what);
    void refreshToolbar();
    void routeSheet();
    void routeWarnings();
    void routeAlert();
    void translateAlert();
    /// Opens the alert over the window once the window is on screen.
    void openAlert();
    /// The dialogs' parent: the sheet when one is up, else this window.
    QWidget* topmost() const;
    QWidget* makeSheetContent(const AppSheet& sheet);
    std::function<void()> dismissal(const std::string& identifier);
    bool resolves(const AppSheet& sheet) const;

    AppStore& store_;
    std::unique_ptr<ThumbnailLoader> thumbnails_;
    QStackedWidget* pages_;
    QWidget* overview_;
    QWidget* inbox_;
    QWidget* project_;
    StyledButton* home_;
    ToneLabel* slash_;
    ToneLabel* breadcrumb_;
    QWidget* searchBox_;
    QLineEdit* search_;
    StyledButton* rescan_;
    Spinner* spinner_;
    StyledButton* stop_;
    QPointer<SheetDialog> sheet_;
    std::string sheetIdentifier_;
    QPointer<SheetDialog> warnings_;
    QPointer<QMessageBox> alert_;
    WindowDropTarget* dropTarget_;
};

}  // namespace sorvik::app
