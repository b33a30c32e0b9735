#include "SorvikCore/Localization.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "SorvikCore/EnglishMessages.hpp"
#include "SorvikCore/PlatformMessages.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik {

// ---------------------------------------------------------------------------------------------
// Interface language

namespace InterfaceLanguage {

namespace {

std::atomic<LanguageProvider> installedProvider{nullptr};

bool isCLocale(std::string_view name) { return name == "C" || name == "POSIX"; }

/// "zh_CN.UTF-8@euro" -> "zh-CN"; empty for nothing or the C locale.
std::string languageTag(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || isCLocale(name)) return {};
    std::string tag(name);
    std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

std::string_view environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

}  // namespace

std::string code(const LanguageSettings& settings) {
    if (settings.preference) {
        if (*settings.preference == chinese) return std::string(chinese);
        if (*settings.preference == english) return std::string(english);
    }
    if (settings.preferredLanguages.empty()) return std::string(english);
    return std::string(std::string_view(settings.preferredLanguages.front()).starts_with("zh") ? chinese : english);
}

std::string code() {
    const LanguageProvider provider = installedProvider.load(std::memory_order_acquire);
    return code(provider ? provider() : environmentSettings());
}

LanguageSettings environmentSettings() {
    // The message locale is the first set of LC_ALL, LC_MESSAGES and LANG. LANGUAGE, a list of
    // languages separated by colons, comes before it, but only when that locale is not C.
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = environmentValue(name);
        if (!locale.empty()) break;
    }
    LanguageSettings settings;
    const std::string localeTag = languageTag(locale);
    if (localeTag.empty()) return settings;

    std::string_view list = environmentValue("LANGUAGE");
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        std::string tag = languageTag(list.substr(0, colon));
        if (!tag.empty() && std::find(settings.preferredLanguages.begin(), settings.preferredLanguages.end(), tag) ==
                                settings.preferredLanguages.end())
            settings.preferredLanguages.push_back(std::move(tag));
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    if (std::find(settings.preferredLanguages.begin(), settings.preferredLanguages.end(), localeTag) ==
        settings.preferredLanguages.end())
        settings.preferredLanguages.push_back(localeTag);
    return settings;
}

void installProvider(LanguageProvider provider) { installedProvider.store(provider, std::memory_order_release); }

}  // namespace InterfaceLanguage

// ---------------------------------------------------------------------------------------------
// Placeholders and key patterns

namespace localization {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// A "{digits}" token at `at`: its length and number (saturated), or length 0 when none starts there.
struct Token {
    std::size_t length = 0;
    std::size_t number = 0;
    bool canonical = false;  // no leading zero, as "{0}" or "{12}"
};

Token tokenAt(std::string_view text, std::size_t at) {
    if (at >= text.size() || text[at] != '{') return {};
    std::size_t i = at + 1, number = 0;
    while (i < text.size() && isDigit(text[i])) {
        const std::size_t digit = static_cast<std::size_t>(text[i] - '0');
        number = number > (std::numeric_limits<std::size_t>::max() - digit) / 10
                     ? std::numeric_limits<std::size_t>::max()
                     : number * 10 + digit;
        ++i;
    }
    if (i == at + 1 || i >= text.size() || text[i] != '}') return {};
    return {i + 1 - at, number, text[at + 1] != '0' || i == at + 2};
}

/// A "{n:singular|plural}" choice at `at`: the form of the word counted by argument n.
struct Choice {
    std::size_t length = 0;
    std::size_t number = 0;
    std::string_view singular;
    std::string_view plural;
};

Choice choiceAt(std::string_view text, std::size_t at) {
    if (at >= text.size() || text[at] != '{') return {};
    std::size_t i = at + 1, number = 0;
    while (i < text.size() && i < at + 3 && isDigit(text[i]))
        number = number * 10 + static_cast<std::size_t>(text[i++] - '0');
    if (i == at + 1 || i >= text.size() || text[i] != ':') return {};
    const std::size_t bar = text.find_first_of("{}|", i + 1);
    if (bar == std::string_view::npos || text[bar] != '|') return {};
    const std::size_t close = text.find_first_of("{}|", bar + 1);
    if (close == std::string_view::npos || text[close] != '}') return {};
    return {close + 1 - at, number, text.substr(i + 1, bar - i - 1), text.substr(bar + 1, close - bar - 1)};
}

}  // namespace

std::string fill(std::string_view text, const std::vector<std::string>& args, bool choices) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t brace = text.find('{', i);
        if (brace == std::string_view::npos) break;
        out.append(text, i, brace - i);
        const Token token = tokenAt(text, brace);
        const Choice choice = choices && token.length == 0 ? choiceAt(text, brace) : Choice{};
        if (choice.length != 0) {
            // A count of exactly one takes the singular; no count, the plural.
            out += choice.number < args.size() && args[choice.number] == "1" ? choice.singular : choice.plural;
            i = brace + choice.length;
        } else if (token.length == 0) {
            out += '{';
            i = brace + 1;
        } else {
            if (token.number < args.size()) out += args[token.number];
            else out.append(text, brace, token.length);
            i = brace + token.length;
        }
    }
    if (i < text.size()) out.append(text, i);
    return out;
}

KeyPattern pattern(std::string_view key) {
    KeyPattern result;
    std::string literal;
    for (std::size_t i = 0; i < key.size();) {
        if (key[i] == '{' && i + 2 < key.size() && isDigit(key[i + 1]) && key[i + 2] == '}') {
            result.literals.push_back(std::move(literal));
            literal.clear();
            i += 3;
        } else {
            literal += key[i++];
        }
    }
    result.literals.push_back(std::move(literal));
    return result;
}

namespace {

struct Range {
    std::size_t begin = 0;
    std::size_t end = 0;
};

/// The last search for one literal: the first occurrence at or after `from` is `at`.
/// Nested captures only ever move the search start forward, so most searches are answered
/// from here and the whole message is scanned about once per literal.
struct FindCache {
    std::size_t from = std::string_view::npos;
    std::size_t at = std::string_view::npos;
};

std::size_t findFrom(std::string_view whole, std::string_view literal, std::size_t from, FindCache* cache) {
    if (cache && cache->from != std::string_view::npos && cache->from <= from &&
        (cache->at == std::string_view::npos || cache->at >= from))
        return cache->at;
    const std::size_t at = whole.find(literal, from);
    if (cache) *cache = {from, at};
    return at;
}

/// Matches whole[range] against the literals. An anchored pattern whose placeholders each take
/// the shortest text that lets the rest match is the same as: the first literal as a prefix,
/// the last as a suffix not overlapping it, and each middle literal at its first occurrence
/// after the previous one that ends before the suffix (an earlier occurrence never hurts
/// the rest, and a later one cannot fit when the first does not).
bool matchLiterals(std::string_view whole, Range range, const std::vector<std::string>& literals, FindCache* caches,
                   std::vector<Range>& captures) {
    captures.clear();
    const std::string_view text = whole.substr(range.begin, range.end - range.begin);
    const std::string& first = literals.front();
    const std::string& last = literals.back();
    if (literals.size() < 2 || text.size() < first.size() + last.size()) return false;
    if (!text.starts_with(first) || !text.ends_with(last)) return false;
    const std::size_t suffixStart = range.end - last.size();
    std::size_t position = range.begin + first.size();
    for (std::size_t i = 1; i + 1 < literals.size(); ++i) {
        const std::string& literal = literals[i];
        const std::size_t at = findFrom(whole, literal, position, caches ? &caches[i - 1] : nullptr);
        if (at == std::string_view::npos || at + literal.size() > suffixStart) return false;
        captures.push_back({position, at});
        position = at + literal.size();
    }
    captures.push_back({position, suffixStart});
    return true;
}

}  // namespace

std::optional<std::vector<std::string_view>> match(const KeyPattern& pattern, std::string_view text) {
    std::vector<Range> captures;
    if (!matchLiterals(text, {0, text.size()}, pattern.literals, nullptr, captures)) return std::nullopt;
    std::vector<std::string_view> parts;
    parts.reserve(captures.size());
    for (const Range& r : captures) parts.push_back(text.substr(r.begin, r.end - r.begin));
    return parts;
}

}  // namespace localization

// ---------------------------------------------------------------------------------------------
// Reverse templates

namespace {

using localization::FindCache;
using localization::Range;

/// A piece of a template in one language: literal text, the capture that fills it, or a word
/// whose form the capture counts ("{k:singular|plural}").
struct Piece {
    static constexpr std::size_t npos = std::string_view::npos;
    std::string_view text;
    std::size_t capture = npos;
    bool choice = false;
    std::string_view singular;
    std::string_view plural;
};

/// What happens to the captured parts of a template.
enum class Captures {
    kept,       // inserted as they are (names, paths, numbers)
    reasons,    // a platform error among them is given in the interface language
    translated  // looked up and translated back themselves
};

struct ReverseTemplate {
    localization::KeyPattern key;
    std::vector<Piece> english;
    std::vector<Piece> chinese;
    Captures captures = Captures::kept;
    std::size_t firstCache = 0;  // this template's middle literals use caches from here on
};

struct ReverseTables {
    std::vector<ReverseTemplate> templates;
    std::size_t cacheCount = 0;
};

/// A template in pieces; capture k fills "{k}" for every k below the capture count.
std::vector<Piece> pieces(std::string_view text, std::size_t captureCount) {
    std::vector<Piece> out;
    std::size_t literalStart = 0;
    const auto flush = [&](std::size_t i) {
        if (i > literalStart) out.push_back({text.substr(literalStart, i - literalStart), Piece::npos, false, {}, {}});
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '{') continue;
        const auto token = localization::tokenAt(text, i);
        if (token.length != 0 && token.canonical && token.number < captureCount) {
            flush(i);
            out.push_back({{}, token.number, false, {}, {}});
            i += token.length - 1;
            literalStart = i + 1;
            continue;
        }
        const auto choice = localization::choiceAt(text, i);
        if (choice.length != 0 && choice.number < captureCount) {
            flush(i);
            out.push_back({{}, choice.number, true, choice.singular, choice.plural});
            i += choice.length - 1;
            literalStart = i + 1;
        }
    }
    flush(text.size());
    return out;
}

const ReverseTables& reverseTables() {
    static const ReverseTables tables = [] {
        // Messages that wrap another finished message (or a role word) translate it too. The
        // library's start-up failure wraps the reason the library could not be opened.
        static constexpr std::string_view translatedCaptures[] = {
            "缺少{0}",
            "{0}已就位",
            "保存失败：{0}",
            "保存规则失败：{0}",
            "扫描未完成：{0}",
            "归档未完成：{0}",
            "部分文件暂时无法读取：{0}",
            "部分文件暂时无法读取（共 {0} 件）：{1}",
            "资料库读取失败：{0}\n原资料库已保留，请先在设置中查看位置。",
            "资料库暂未保存，更改保留在内存中，下次更改或退出时会再试：{0}",
            "无法独占使用这个资料库：{0}\n为免两个程序同时写入，本次只读打开，所做的更改不会保存。",
        };
        // Messages whose part is the reason a file could not be read, often the system's own.
        static constexpr std::string_view reasonCaptures[] = {
            "部分文件暂时无法读取：{0}",
            "部分文件暂时无法读取（共 {0} 件）：{1}",
            "无法读取视频：{0}",
            "归档暂未完成，下次扫描会重试：{0}",
        };
        const auto among = [](const auto& list, std::string_view key) {
            return std::find(std::begin(list), std::end(list), key) != std::end(list);
        };
        struct Candidate {
            MessagePair pair;
            std::size_t length;
        };
        std::vector<Candidate> candidates;
        for (const MessagePair& pair : EnglishMessages::values())
            if (pair.chinese.find("{0}") != std::string_view::npos)
                candidates.push_back({pair, unicode::graphemeCount(pair.chinese)});
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& a, const Candidate& b) { return a.length > b.length; });

        ReverseTables result;
        for (const Candidate& candidate : candidates) {
            ReverseTemplate t;
            t.key = localization::pattern(candidate.pair.chinese);
            const std::size_t captureCount = t.key.literals.size() - 1;
            t.english = pieces(candidate.pair.english, captureCount);
            t.chinese = pieces(candidate.pair.chinese, captureCount);
            t.captures = among(translatedCaptures, candidate.pair.chinese) ? Captures::translated
                         : among(reasonCaptures, candidate.pair.chinese)   ? Captures::reasons
                                                                           : Captures::kept;
            t.firstCache = result.cacheCount;
            result.cacheCount += t.key.literals.size() - 2;
            result.templates.push_back(std::move(t));
        }
        return result;
    }();
    return tables;
}

/// A finished message in the interface language: Chinese messages through the catalogue's
/// templates, platform texts through their table. Captures that are translated themselves are
/// handled with an explicit stack, so deeply nested messages neither recurse nor copy.
std::string translateBack(std::string_view message, bool english) {
    const ReverseTables& tables = reverseTables();
    const std::size_t longestKey = EnglishMessages::longestKeyLength();
    std::vector<FindCache> caches(tables.cacheCount);
    std::vector<Range> captures;

    struct Frame {
        const ReverseTemplate* tmpl;
        std::vector<Range> captures;
        std::size_t nextPiece;
    };
    std::vector<Frame> stack;
    std::string out;

    const auto platform = [&](std::string_view text) {
        if (auto shown = PlatformMessages::localized(text, english)) {
            out += *shown;
            return true;
        }
        return false;
    };
    // Writes message[range] in the interface language when it is a plain entry, a platform text or
    // matches no template; otherwise pushes the matching template for the loop below to write.
    auto translate = [&](Range range) {
        const std::string_view text = message.substr(range.begin, range.end - range.begin);
        if (text.size() <= longestKey) {
            if (auto entry = EnglishMessages::english(text)) {
                if (!english) {
                    out += text;
                    return;
                }
                if (*entry != text) {
                    out += localization::fill(*entry, {}, true);
                    return;
                }
            }
        }
        for (const ReverseTemplate& t : tables.templates) {
            if (localization::matchLiterals(message, range, t.key.literals, caches.data() + t.firstCache, captures)) {
                stack.push_back({&t, captures, 0});
                return;
            }
        }
        if (!platform(text)) out += text;
    };

    translate({0, message.size()});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const std::vector<Piece>& shown = english ? frame.tmpl->english : frame.tmpl->chinese;
        if (frame.nextPiece == shown.size()) {
            stack.pop_back();
            continue;
        }
        const Piece& piece = shown[frame.nextPiece++];
        if (piece.capture == Piece::npos) {
            out += piece.text;
            continue;
        }
        const Range range = frame.captures[piece.capture];
        const std::string_view captured = message.substr(range.begin, range.end - range.begin);
        if (piece.choice) out += captured == "1" ? piece.singular : piece.plural;
        else if (frame.tmpl->captures == Captures::translated) translate(range);  // may push and so invalidate `frame`
        else if (frame.tmpl->captures == Captures::kept || !platform(captured)) out += captured;
    }
    return out;
}

/// Whether the text holds a Latin letter, as every platform text does.
bool hasLatinLetter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

std::string localize(std::string_view language, std::string_view key, const std::vector<std::string>& args) {
    const bool english = language == InterfaceLanguage::english;
    const std::optional<std::string_view> entry = EnglishMessages::english(key);
    if (!args.empty()) return english && entry ? localization::fill(*entry, args, true) : localization::fill(key, args);
    if (english) {
        if (entry && *entry != key) return localization::fill(*entry, {}, true);
        return translateBack(key, true);
    }
    // Chinese: the key itself, unless it is a finished message that may hold a platform text.
    if (entry || !hasLatinLetter(key)) return std::string(key);
    return translateBack(key, false);
}

}  // namespace

std::string L(std::string_view key, const std::vector<std::string>& args) {
    return localize(InterfaceLanguage::code(), key, args);
}

std::string L(InLanguage language, std::string_view key, const std::vector<std::string>& args) {
    return localize(language.code, key, args);
}

std::string L(InLanguage language, InContext where, std::string_view key) {
    if (language.code == InterfaceLanguage::english)
        if (auto entry = EnglishMessages::english(where.context, key)) return std::string(*entry);
    return localize(language.code, key, {});
}

std::string L(InContext where, std::string_view key) { return L(InLanguage{InterfaceLanguage::code()}, where, key); }

}  // namespace sorvik
