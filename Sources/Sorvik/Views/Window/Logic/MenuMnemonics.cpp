#include "Sorvik/Views/Window/Logic/MenuMnemonics.hpp"

namespace sorvik::app {

QString withMnemonic(const QString& text, QChar key) {
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
    // A word's first letter reads best; any other of its letters does too.
    for (const bool wordStart : {true, false}) {
        for (qsizetype i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == QLatin1Char('&')) {
                ++i;  // an escaped ampersand
                continue;
            }
            if (escaped[i].toLower() != key.toLower()) continue;
            if (wordStart && i > 0 && escaped[i - 1].isLetter()) continue;
            return escaped.insert(i, QLatin1Char('&'));
        }
    }
    const QString ellipsis(QChar(0x2026));
    const bool trailing = escaped.endsWith(ellipsis);
    if (trailing) escaped.chop(1);
    escaped += QStringLiteral("(&") + key.toUpper() + QLatin1Char(')');
    if (trailing) escaped += ellipsis;
    return escaped;
}

}  // namespace sorvik::app
