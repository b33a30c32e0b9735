#pragma once
// Pieces of the file detail sheet: the original-location row, the text editor with its counts and
// the hint for formats shown elsewhere.
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

namespace sorvik::app {

class StyledButton;
class SymbolView;
class ToneLabel;

/// "link" symbol, the stored path (home as "~", shortened in the middle) and the reveal button.
class LocationRow : public QWidget {
    Q_OBJECT
public:
    LocationRow(const QString& path, std::function<void()> reveal, QWidget* parent = nullptr);
    void retranslate();
    StyledButton* button() const { return button_; }

private:
    StyledButton* button_;
};

/// The editor of a text file: the counts of a copy text above a rounded text area. The text is
/// kept byte for byte as given until the person types; only then is it read back from the editor.
class TextEditorSection : public QWidget {
    Q_OBJECT
public:
    explicit TextEditorSection(const std::string& text, QWidget* parent = nullptr);
    /// The current text: exactly what was set last, or the editor's content after typing.
    const std::string& text() const;
    /// Replaces the text (restore, trim) without counting as typing.
    void setText(const std::string& text);
    void setCountsVisible(bool visible);
    void setMonospaced(bool monospaced);
    void retranslate();
    QPlainTextEdit* editor() const { return editor_; }
    ToneLabel* counts() const { return counts_; }

signals:
    void textEdited();

private:
    void refreshCounts();
    QPlainTextEdit* editor_;
    QWidget* countsRow_;
    ToneLabel* hint_;
    ToneLabel* counts_;
    mutable std::string text_;
    mutable bool typed_ = false;
    bool countsPending_ = false;
    bool replacing_ = false;  // the program sets the text: no typing
    std::optional<bool> monospaced_;
};

/// The role's symbol, "使用系统应用查看此格式" and the button that opens the file elsewhere.
class ExternalHint : public QWidget {
    Q_OBJECT
public:
    ExternalHint(const QString& symbol, std::function<void()> open, QWidget* parent = nullptr);
    void setSymbol(const QString& symbol);
    void retranslate();
    StyledButton* button() const { return button_; }

private:
    SymbolView* symbol_;
    ToneLabel* text_;
    StyledButton* button_;
};

}  // namespace sorvik::app
