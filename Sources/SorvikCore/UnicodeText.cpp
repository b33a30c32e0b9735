#include "SorvikCore/UnicodeText.hpp"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace sorvik::unicode {

namespace {
struct UTextCloser {
    void operator()(UText* t) const { utext_close(t); }
};

/// Calls visit(byteOffset) at every grapheme boundary after the start; stops when it returns false.
template <typename F>
void forEachBoundary(std::string_view text, F visit) {
    if (text.empty()) return;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> ut(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    if (U_FAILURE(status)) return;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return;
    it->setText(ut.get(), status);
    if (U_FAILURE(status)) return;
    it->first();
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next())
        if (!visit(static_cast<std::size_t>(b))) return;
}
}  // namespace

bool isValidUTF8(std::string_view text) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

std::size_t graphemeCount(std::string_view text) {
    std::size_t count = 0;
    forEachBoundary(text, [&](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string graphemePrefix(std::string_view text, std::size_t count) {
    if (count == 0) return {};
    std::size_t seen = 0, end = text.size();
    forEachBoundary(text, [&](std::size_t offset) {
        if (++seen == count) {
            end = offset;
            return false;
        }
        return true;
    });
    return std::string(text.substr(0, end));
}

}  // namespace sorvik::unicode
