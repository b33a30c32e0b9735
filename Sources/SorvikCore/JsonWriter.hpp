#pragma once
// Streaming JSON writing from records into one buffer. The callers write members in sorted
// key order; the text is that of nlohmann-json's dump, compact or with two-space indents,
// UTF-8 unescaped, doubles in their shortest round-trip form.
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/Json.hpp"

namespace sorvik::json {

enum class Style { compact, pretty };

class Writer {
public:
    /// `expectedSize`, when known (the size the file had before), saves growing the buffer.
    /// Once `stop` is requested, the next object or array begun throws CancellationError.
    explicit Writer(Style style, std::size_t expectedSize = 0, std::stop_token stop = {});

    Writer& beginObject() { return open('{', false); }
    Writer& endObject() { return close('}'); }
    Writer& beginArray() { return open('[', true); }
    Writer& endArray() { return close(']'); }
    /// The key of the next member; keys are plain ASCII.
    Writer& key(std::string_view key);

    /// Invalid UTF-8 is reported by finish(), so that a non-finite number met later wins,
    /// as it did when documents were built before being written.
    Writer& string(std::string_view text);
    /// Plain ASCII text that needs no escaping: role and mode names.
    Writer& word(std::string_view text);
    /// The identifier's upper-case canonical text.
    Writer& uuid(const UUID& id);
    Writer& integer(std::int64_t value);
    /// Throws EncodingError for NaN and infinities.
    Writer& number(double value);
    Writer& boolean(bool value);

    /// The text written; throws EncodingError for the first invalid UTF-8 string.
    std::string finish();

private:
    Writer& open(char bracket, bool isArray);
    Writer& close(char bracket);
    void beforeValue();
    void newLine();

    Style style_;
    std::stop_token stop_;
    std::string out_;
    struct Level {
        bool isArray;
        bool hasItems;
    };
    std::vector<Level> levels_;
    std::optional<std::string> invalidText_;
};

}  // namespace sorvik::json
