#include "SorvikCore/TermPattern.hpp"

#include <cstdio>
#include <span>
#include <utility>

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace sorvik::text {

namespace {

/// A term as its pattern reads it: literal code points, with kJoin between two pieces.
constexpr UChar32 kJoin = -1;

/// Whether a token can only match separators: a joiner, or a literal "-" or "_" (a piece
/// holds no spaces).
bool separatorOnly(UChar32 token) { return token == kJoin || token == u'-' || token == u'_' || token == u' '; }

void appendLiterals(icu::UnicodeString& pattern, std::span<const UChar32> literals) {
    for (const UChar32 c : literals) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
            pattern.append(c);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\x{%X}", static_cast<unsigned>(c));
            pattern.append(icu::UnicodeString(escape, -1, US_INV));
        }
    }
}

/// A stretch of tokens that can only match separators: F0 J F1 J ... J Fm, where each J is a
/// joiner and each F a fixed text of "-" and "_". Between two other characters of the term it
/// matches a whole run of separators of the text; at the start of the term, the end of one,
/// and at its end, the start of one.
///
/// Joined plainly, every joiner may end anywhere in the run: with k pieces made of "-" and
/// "_", a run of n separators is tried in about n^(k+1) ways before a search fails. Because a
/// joiner takes any separators, F1 ... Fm-1 can instead each be placed at its first
/// occurrence after the one before (at least one separator after it) and kept there: a later
/// place leaves less of the run to the rest, never more. At the start of the term the same
/// holds for F0, once the search begins at the first position of the run that has no longer
/// word before it; the run's later positions are then not tried at all.
void appendStretch(icu::UnicodeString& pattern, std::span<const UChar32> stretch, bool atStart) {
    std::vector<std::span<const UChar32>> fixed;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= stretch.size(); ++i) {
        if (i == stretch.size() || stretch[i] == kJoin) {
            fixed.push_back(stretch.subspan(begin, i - begin));
            begin = i + 1;
        }
    }
    const std::size_t joins = fixed.size() - 1;
    if (joins == 0 || (joins == 1 && !atStart)) {
        // Fixed text, or one joiner between fixed ends: linear as it stands.
        if (atStart) pattern.append(u"(?<![a-z0-9])");
        appendLiterals(pattern, fixed[0]);
        if (joins == 1) {
            pattern.append(u"[-_ ]+");
            appendLiterals(pattern, fixed[1]);
        }
        return;
    }
    if (atStart) {
        // The run's first position with no letter or digit before it: its start, or the
        // position after its first separator when a letter or digit stands before the run.
        pattern.append(u"(?:(?<![a-z0-9])(?<![-_ ])|(?<=[a-z0-9][-_ ]))(?>[-_ ]*?");
        appendLiterals(pattern, fixed[0]);
        pattern.append(u")");
    } else {
        appendLiterals(pattern, fixed[0]);
    }
    for (std::size_t k = 1; k < joins; ++k) {
        pattern.append(u"(?>[-_ ]+?");
        appendLiterals(pattern, fixed[k]);
        pattern.append(u")");
    }
    pattern.append(u"[-_ ]+");
    appendLiterals(pattern, fixed[joins]);
}

}  // namespace

std::vector<icu::UnicodeString> termPieces(const icu::UnicodeString& term) {
    std::vector<icu::UnicodeString> pieces;
    icu::UnicodeString piece;
    for (int32_t i = 0; i < term.length();) {
        const UChar32 c = term.char32At(i);
        i += U16_LENGTH(c);
        if (u_isUWhiteSpace(c)) {
            if (!piece.isEmpty()) pieces.push_back(std::exchange(piece, {}));
        } else {
            piece.append(c);
        }
    }
    if (!piece.isEmpty()) pieces.push_back(piece);
    return pieces;
}

icu::UnicodeString termPattern(const std::vector<icu::UnicodeString>& pieces) {
    std::vector<UChar32> tokens;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (p > 0) tokens.push_back(kJoin);
        for (int32_t i = 0; i < pieces[p].length();) {
            const UChar32 c = pieces[p].char32At(i);
            i += U16_LENGTH(c);
            tokens.push_back(c);
        }
    }
    icu::UnicodeString pattern(u"(?i)");
    if (tokens.empty()) pattern.append(u"(?<![a-z0-9])");
    const std::span<const UChar32> all(tokens);
    for (std::size_t i = 0; i < tokens.size();) {
        std::size_t end = i;
        while (end < tokens.size() && separatorOnly(tokens[end])) ++end;
        if (end > i) {
            appendStretch(pattern, all.subspan(i, end - i), i == 0);
            i = end;
        } else {
            if (i == 0) pattern.append(u"(?<![a-z0-9])");
            appendLiterals(pattern, all.subspan(i, 1));
            ++i;
        }
    }
    pattern.append(u"(?![a-z0-9])");
    return pattern;
}

}  // namespace sorvik::text
