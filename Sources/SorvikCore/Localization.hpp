#pragma once
// Interface texts in Chinese or English. Every text is written in Chinese and is its own key;
// finished Chinese messages with values in them are translated back through the catalogue's
// templates. Only the application translates; the core and the agent never call L.
#include <concepts>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sorvik {

/// What decides the interface language.
struct LanguageSettings {
    /// The `sorvikLanguage` preference: "system", "zh-Hans" or "en"; absent or any other value means "system".
    std::optional<std::string> preference;
    /// The system's preferred languages, most preferred first (BCP 47 style, such as "zh-Hant-TW").
    std::vector<std::string> preferredLanguages;
};

/// Supplies the current settings; called on every lookup, so a changed preference applies at once.
/// Must be callable from any thread.
using LanguageProvider = LanguageSettings (*)();

namespace InterfaceLanguage {

inline constexpr std::string_view chinese = "zh-Hans";
inline constexpr std::string_view english = "en";

/// "zh-Hans" or "en" for the given settings. Pure.
std::string code(const LanguageSettings& settings);

/// "zh-Hans" or "en" from the installed provider (by default `environmentSettings`).
std::string code();

/// Preference absent; preferred languages from LANGUAGE, LC_ALL, LC_MESSAGES and LANG as gettext
/// reads them ("zh_CN.UTF-8" becomes "zh-CN"; the C and POSIX locales give no language).
LanguageSettings environmentSettings();

/// Installs the process-wide provider; nullptr restores the default. The one piece of shared
/// state of localisation: an atomic pointer, safe to set and read from any thread.
void installProvider(LanguageProvider provider);

}  // namespace InterfaceLanguage

/// An interface language given explicitly ("zh-Hans" or "en"; anything but "en" is Chinese).
struct InLanguage {
    std::string_view code;
};

/// Where a text stands, for the few whose English differs by place (a badge naming one project).
struct InContext {
    std::string_view context;
};

/// The text of `key` in the interface language with {0}, {1}, ... filled from `args`.
/// Without arguments in English, a finished Chinese message is translated back through the
/// catalogue's templates. Never fails: unknown texts come back unchanged.
std::string L(std::string_view key, const std::vector<std::string>& args = {});
std::string L(InLanguage language, std::string_view key, const std::vector<std::string>& args = {});
/// L of a key at a place: the place's own English when it has one, else as L.
std::string L(InContext where, std::string_view key);
std::string L(InLanguage language, InContext where, std::string_view key);

namespace localization {

/// The text form of one argument: integers in decimal without grouping, strings unchanged.
template <typename T>
std::string argumentText(const T& value) {
    using V = std::remove_cvref_t<T>;
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::string(std::string_view(value));
    } else {
        constexpr bool characterOrBool = std::is_same_v<V, bool> || std::is_same_v<V, char> ||
                                         std::is_same_v<V, signed char> || std::is_same_v<V, unsigned char> ||
                                         std::is_same_v<V, wchar_t> || std::is_same_v<V, char8_t> ||
                                         std::is_same_v<V, char16_t> || std::is_same_v<V, char32_t>;
        static_assert(std::is_integral_v<V> && !characterOrBool, "message arguments are integers or strings");
        return std::to_string(value);
    }
}

/// Fills {n} placeholders of `text` with args[n] in one pass; placeholders without an argument
/// stay, and inserted text is never scanned again. With `choices`, an English catalogue text's
/// "{n:singular|plural}" becomes the singular when args[n] is "1" and the plural otherwise
/// (also when there is no such argument).
std::string fill(std::string_view text, const std::vector<std::string>& args, bool choices = false);

/// A key split at its placeholders {0} to {9}: one more literal than placeholders.
struct KeyPattern {
    std::vector<std::string> literals;
};
KeyPattern pattern(std::string_view key);

/// The captured parts when `text` as a whole has the form of the pattern, each placeholder taking
/// the shortest text that lets the rest match; absent when it does not.
std::optional<std::vector<std::string_view>> match(const KeyPattern& pattern, std::string_view text);

}  // namespace localization

/// L with integer or string arguments.
template <typename First, typename... Rest>
requires(!std::same_as<std::remove_cvref_t<First>, std::vector<std::string>>) std::string
    L(std::string_view key, const First& first, const Rest&... rest) {
    return L(key, std::vector<std::string>{localization::argumentText(first), localization::argumentText(rest)...});
}

template <typename First, typename... Rest>
requires(!std::same_as<std::remove_cvref_t<First>, std::vector<std::string>>) std::string
    L(InLanguage language, std::string_view key, const First& first, const Rest&... rest) {
    return L(language, key,
             std::vector<std::string>{localization::argumentText(first), localization::argumentText(rest)...});
}

}  // namespace sorvik
