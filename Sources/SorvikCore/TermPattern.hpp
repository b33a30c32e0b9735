#pragma once
// The pattern that finds a project name or alias without Han characters in a text: the
// term's pieces (split at white space) as literals, joined by runs of "-", "_" and spaces,
// case ignored, not inside a longer word of ASCII letters and digits.
#include <vector>

#include <unicode/unistr.h>

namespace sorvik::text {

/// The pieces of a term: split at white space, empty pieces dropped.
std::vector<icu::UnicodeString> termPieces(const icu::UnicodeString& term);

/// The ICU pattern of a term's pieces. A piece made only of "-" and "_" ("Brand - - Sale")
/// is matched inside the run of separators around it without backtracking over that run,
/// so a search takes time linear in the text; pieces of other kinds give the plain joined
/// pattern.
icu::UnicodeString termPattern(const std::vector<icu::UnicodeString>& pieces);

}  // namespace sorvik::text
