#pragma once
// ICU adapter for comparing names: folding, comparison keys, scripts, shared compiled
// regular expressions and the file-name collation.
#include <memory>
#include <string>
#include <string_view>

#include <unicode/coll.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace sorvik::text {

/// Full case folding (default mappings, not Turkic), code point by code point, UTF-8 in and out.
/// Ill-formed sequences become U+FFFD.
std::string foldCase(std::string_view text);

/// The comparison key: width variants folded to their normal form, canonical decomposition,
/// full case folding, nonspacing marks (diacritics) removed, only letters, marks and numbers
/// kept, the result in NFC. Names written in NFC and NFD give the same key.
std::string comparisonKey(std::string_view text);

/// Whether any code point belongs to the Han script.
bool containsHan(std::string_view text);
bool containsHan(const icu::UnicodeString& text);

std::string toUTF8(const icu::UnicodeString& text);
icu::UnicodeString toUTF16(std::string_view text);
std::u16string_view view(const icu::UnicodeString& text);

/// A compiled ICU pattern; immutable and safe to share between threads. Matchers are not:
/// each user makes its own with matcher(). Every match runs under a time limit that grows
/// with the text, a backstop against patterns that backtrack without bound: a match that
/// exceeds it counts as no match.
class Regex {
public:
    /// Throws std::invalid_argument when the pattern does not compile.
    explicit Regex(std::u16string_view pattern, uint32_t flags = 0);

    std::unique_ptr<icu::RegexMatcher> matcher() const;
    /// Whether the pattern matches anywhere in the text (a one-off matcher).
    bool find(const icu::UnicodeString& text) const;

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};

/// Whether the matcher's pattern is found in text; resets the matcher to it. False when the
/// time limit for the text runs out.
bool find(icu::RegexMatcher& matcher, const icu::UnicodeString& text);
/// Every match replaced by nothing; the text unchanged when the time limit runs out.
icu::UnicodeString removeAll(icu::RegexMatcher& matcher, const icu::UnicodeString& text);

/// The localized standard order of file names: the default locale's collation with case
/// ignored and runs of digits compared by value. Not thread-safe: one per user.
class FileNameOrder {
public:
    FileNameOrder();
    /// A sort key: two names compare as their keys compare bytewise.
    std::string sortKey(std::string_view name) const;
    /// <0, 0 or >0.
    int compare(std::string_view a, std::string_view b) const;

private:
    std::unique_ptr<icu::Collator> collator_;
};

}  // namespace sorvik::text
