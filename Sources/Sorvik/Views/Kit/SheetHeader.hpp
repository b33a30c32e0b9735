#pragma once
// The title and subtitle at the top of every sheet; texts are given already translated.
#include <QWidget>

namespace sorvik::app {

class ToneLabel;

class SheetHeader : public QWidget {
    Q_OBJECT
public:
    SheetHeader(const QString& title, const QString& subtitle, QWidget* parent = nullptr);
    void setTexts(const QString& title, const QString& subtitle);

private:
    ToneLabel* title_;
    ToneLabel* subtitle_;
};

}  // namespace sorvik::app
