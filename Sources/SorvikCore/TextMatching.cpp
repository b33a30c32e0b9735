#include "SorvikCore/TextMatching.hpp"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::text {

namespace {

bool isASCII(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

/// Decodes the code point at i (U+FFFD for an ill-formed sequence) and advances i.
UChar32 nextCodePoint(std::string_view text, int32_t& i) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    UChar32 c;
    U8_NEXT_OR_FFFD(s, i, static_cast<int32_t>(text.size()), c);
    return c;
}

void appendUTF8(std::string& out, UChar32 c) {
    char buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(reinterpret_cast<uint8_t*>(buffer), length, c);
    out.append(buffer, static_cast<std::size_t>(length));
}

struct Normalizers {
    const icu::Normalizer2* nfd = nullptr;
    const icu::Normalizer2* nfkd = nullptr;
    const icu::Normalizer2* nfc = nullptr;
};

const Normalizers& normalizers() {
    static const Normalizers instances = [] {
        UErrorCode status = U_ZERO_ERROR;
        Normalizers n;
        n.nfd = icu::Normalizer2::getNFDInstance(status);
        n.nfkd = icu::Normalizer2::getNFKDInstance(status);
        n.nfc = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status)) throw std::runtime_error(u_errorName(status));
        return n;
    }();
    return instances;
}

template <typename F>
void forEachCodePoint(const icu::UnicodeString& s, F visit) {
    for (int32_t i = 0; i < s.length();) {
        const UChar32 c = s.char32At(i);
        visit(c);
        i += U16_LENGTH(c);
    }
}

template <typename F>
void decomposed(const icu::Normalizer2& normalizer, UChar32 c, F visit) {
    icu::UnicodeString decomposition;
    if (normalizer.getDecomposition(c, decomposition)) forEachCodePoint(decomposition, visit);
    else visit(c);
}

/// The key contribution of one code point, before the final composition.
void keyOfCodePoint(UChar32 c, std::vector<UChar32>& out) {
    const auto& n = normalizers();
    auto afterWidth = [&](UChar32 w) {
        decomposed(*n.nfd, w, [&](UChar32 d) {
            icu::UnicodeString folded(d);
            folded.foldCase(U_FOLD_CASE_DEFAULT);
            forEachCodePoint(folded, [&](UChar32 f) {
                decomposed(*n.nfd, f, [&](UChar32 k) {
                    if (u_charType(k) == U_NON_SPACING_MARK) return;
                    if (U_GET_GC_MASK(k) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) out.push_back(k);
                });
            });
        });
    };
    const auto type = u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE);
    if (type == U_DT_WIDE || type == U_DT_NARROW) decomposed(*n.nfkd, c, afterWidth);
    else afterWidth(c);
}

enum : uint8_t { kDrop = 0, kKeep = 1, kComplex = 2 };

/// How each code point of the Basic Multilingual Plane enters a key.
const std::array<uint8_t, 0x10000>& bmpKeyClasses() {
    static const auto table = [] {
        auto classes = std::make_unique<std::array<uint8_t, 0x10000>>();
        std::vector<UChar32> out;
        for (UChar32 c = 0; c < 0x10000; ++c) {
            out.clear();
            keyOfCodePoint(c, out);
            (*classes)[static_cast<std::size_t>(c)] =
                out.empty() ? kDrop : (out.size() == 1 && out[0] == c ? kKeep : kComplex);
        }
        return classes;
    }();
    return *table;
}

/// The time limit of one match on a text of `length` UTF-16 units, in ICU's units of 10,000
/// backtracking state saves: a million saves plus a hundred per unit of text. The patterns of
/// this program need fewer than ten per unit; one that needs more backtracks out of bounds.
int32_t timeLimitFor(int32_t length) { return 100 + length / 100; }

/// Resets the matcher to the text with the time limit for it.
bool resetWithLimit(icu::RegexMatcher& matcher, const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    matcher.reset(text);
    matcher.setTimeLimit(timeLimitFor(text.length()), status);
    return U_SUCCESS(status);
}

}  // namespace

std::string toUTF8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

icu::UnicodeString toUTF16(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string foldCase(std::string_view text) {
    if (isASCII(text)) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    if (!unicode::isValidUTF8(text)) return foldCase(toUTF8(toUTF16(text)));
    std::string out;
    out.reserve(text.size());
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    icu::CaseMap::utf8Fold(U_FOLD_CASE_DEFAULT, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                           nullptr, status);
    if (U_FAILURE(status)) {
        icu::UnicodeString s = toUTF16(text);
        return toUTF8(s.foldCase(U_FOLD_CASE_DEFAULT));
    }
    return out;
}

std::string comparisonKey(std::string_view text) {
    std::string raw;
    raw.reserve(text.size());
    if (isASCII(text)) {
        for (char c : text) {
            if (c >= 'A' && c <= 'Z') raw += static_cast<char>(c - 'A' + 'a');
            else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) raw += c;
        }
        return raw;
    }
    const auto& classes = bmpKeyClasses();
    std::vector<UChar32> pieces;
    for (int32_t i = 0; i < static_cast<int32_t>(text.size());) {
        const int32_t start = i;
        const UChar32 c = nextCodePoint(text, i);
        const uint8_t kind = c < 0x10000 ? classes[static_cast<std::size_t>(c)] : uint8_t{kComplex};
        if (kind == kDrop) continue;
        if (kind == kKeep && c != 0xFFFD) {
            raw.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
            continue;
        }
        pieces.clear();
        keyOfCodePoint(c, pieces);
        for (UChar32 p : pieces) appendUTF8(raw, p);
    }
    const auto* nfc = normalizers().nfc;
    UErrorCode status = U_ZERO_ERROR;
    const icu::StringPiece piece(raw.data(), static_cast<int32_t>(raw.size()));
    if (nfc->isNormalizedUTF8(piece, status) || U_FAILURE(status)) return raw;
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    status = U_ZERO_ERROR;
    nfc->normalizeUTF8(0, piece, sink, nullptr, status);
    return U_FAILURE(status) ? raw : out;
}

bool containsHan(std::string_view text) {
    for (int32_t i = 0; i < static_cast<int32_t>(text.size());) {
        if (static_cast<unsigned char>(text[static_cast<std::size_t>(i)]) < 0x80) {
            ++i;
            continue;
        }
        UErrorCode status = U_ZERO_ERROR;
        if (uscript_getScript(nextCodePoint(text, i), &status) == USCRIPT_HAN) return true;
    }
    return false;
}

bool containsHan(const icu::UnicodeString& text) {
    bool found = false;
    forEachCodePoint(text, [&](UChar32 c) {
        UErrorCode status = U_ZERO_ERROR;
        if (!found && c >= 0x80 && uscript_getScript(c, &status) == USCRIPT_HAN) found = true;
    });
    return found;
}

std::u16string_view view(const icu::UnicodeString& text) {
    return std::u16string_view(text.getBuffer(), static_cast<std::size_t>(text.length()));
}

Regex::Regex(std::u16string_view pattern, uint32_t flags) {
    UParseError parseError;
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString source(pattern.data(), static_cast<int32_t>(pattern.size()));
    pattern_.reset(icu::RegexPattern::compile(source, flags, parseError, status));
    if (U_FAILURE(status) || !pattern_)
        throw std::invalid_argument(std::string("regular expression does not compile: ") + u_errorName(status));
}

std::unique_ptr<icu::RegexMatcher> Regex::matcher() const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(pattern_->matcher(status));
    if (U_SUCCESS(status) && m) m->setTimeLimit(timeLimitFor(0), status);
    if (U_FAILURE(status) || !m) throw std::runtime_error(std::string("regex matcher: ") + u_errorName(status));
    return m;
}

bool Regex::find(const icu::UnicodeString& text) const {
    auto m = matcher();
    return text::find(*m, text);
}

bool find(icu::RegexMatcher& matcher, const icu::UnicodeString& text) {
    if (!resetWithLimit(matcher, text)) return false;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher.find(0, status);
    return U_SUCCESS(status) && found;
}

icu::UnicodeString removeAll(icu::RegexMatcher& matcher, const icu::UnicodeString& text) {
    if (!resetWithLimit(matcher, text)) return text;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString out = matcher.replaceAll(icu::UnicodeString(), status);
    return U_SUCCESS(status) ? out : text;
}

FileNameOrder::FileNameOrder() {
    UErrorCode status = U_ZERO_ERROR;
    // The C and POSIX locales collate ASCII by code point, which is not case-insensitive.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getVariant()) == "POSIX") locale = icu::Locale::getRoot();
    collator_.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator_) {
        status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (U_FAILURE(status) || !collator_) throw std::runtime_error(std::string("collator: ") + u_errorName(status));
    collator_->setStrength(icu::Collator::SECONDARY);
    collator_->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    collator_->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("collator: ") + u_errorName(status));
}

std::string FileNameOrder::sortKey(std::string_view name) const {
    const icu::UnicodeString s = toUTF16(name);
    std::string key(64, '\0');
    int32_t length = collator_->getSortKey(s, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    if (length > static_cast<int32_t>(key.size())) {
        key.assign(static_cast<std::size_t>(length), '\0');
        length = collator_->getSortKey(s, reinterpret_cast<uint8_t*>(key.data()), length);
    }
    // Drop the terminating zero so keys compare as plain byte strings.
    key.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return key;
}

int FileNameOrder::compare(std::string_view a, std::string_view b) const {
    UErrorCode status = U_ZERO_ERROR;
    const auto result = collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                               icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

}  // namespace sorvik::text
