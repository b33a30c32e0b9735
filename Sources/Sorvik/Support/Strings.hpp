#pragma once
// Texts between the core's UTF-8 strings and Qt, and the interface language's lookups as QString.
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Localization.hpp"

namespace sorvik::app {

inline QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
inline std::string utf8(const QString& text) { return text.toStdString(); }

/// L as a QString.
inline QString Lq(std::string_view key) { return qs(L(key)); }
template <typename... Args>
QString Lq(std::string_view key, const Args&... args) {
    return qs(L(key, args...));
}

}  // namespace sorvik::app
