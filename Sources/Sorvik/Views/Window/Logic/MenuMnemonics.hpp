#pragma once
// Access keys of the menu bar's menus and items. Pure.
#include <QString>

namespace sorvik::app {

/// `text` with `key` as its access key: marked on a word that begins with the key, else on the key's
/// first letter in the text ("C&onnect source folders…"), else in parentheses after the text, as Chinese menus carry it
/// ("连接来源文件夹(&O)…"). A trailing ellipsis stays last; an ampersand in the text stays one.
QString withMnemonic(const QString& text, QChar key);

}  // namespace sorvik::app
