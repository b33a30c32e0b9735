#pragma once
// Library files and manifests under fuzzing: the strict reader is compared with the former
// nlohmann-json reader, and what it reads is written as the former writer did.
#include <string>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikCore/JsonReader.hpp"

namespace sorvik::fuzz {

struct ReadOutcome {
    bool ok = false;
    bool syntax = false;
    std::string text;  // the records written back, or the error message
};

template <typename Read>
ReadOutcome readOutcome(Read read) {
    try {
        return {true, false, read()};
    } catch (const json::SyntaxError& e) {
        return {false, true, e.what()};
    } catch (const DecodingError& e) {
        return {false, false, e.what()};
    }
}

/// Both readers give the same records or the same error; a syntax error of the new reader
/// where the former read the text is allowed only where the former was wrong: bytes after a
/// NUL it took for the end, and nesting deeper than the new reader follows.
template <typename ReadNew, typename ReadOld>
ReadOutcome requireSameOutcome(const std::string& text, ReadNew readNew, ReadOld readOld) {
    const ReadOutcome now = readOutcome([&] { return readNew(text); });
    const ReadOutcome before = readOutcome([&] { return readOld(text); });
    if (now.ok) {
        require(before.ok && now.text == before.text);
    } else if (before.ok) {
        require(now.syntax &&
                (text.find('\0') != std::string::npos || now.text.find("Nested deeper than") != std::string::npos));
    } else if (!now.syntax) {
        require(now.text == before.text);
    }
    return now;
}

}  // namespace sorvik::fuzz
