// Reading records from JSON values: objects read into their members in one pass, and the
// typed checks of each member, with the messages they have always had.
#include "SorvikCore/JsonReader.hpp"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>

namespace sorvik::json {

std::string readString(Value& value, const Path& path) {
    if (value.kind() != Kind::string) {
        value.skip();
        typeMismatch(path, "a string");
    }
    return value.string();
}

void readObject(Value& value, const Path& path, std::initializer_list<Member*> members) {
    if (value.kind() != Kind::object) {
        value.skip();
        typeMismatch(path, "an object");
    }
    // Keys usually come in the order of the members (sorted, as written): the search starts
    // after the last match.
    const std::size_t count = members.size();
    if (count > 64) throw std::logic_error("a record of more than 64 members");
    std::size_t next = 0;
    // A key met twice is refused once the object has been passed over: the reader keeps its
    // place, and which of the two values was meant cannot be told.
    std::uint64_t seen = 0;
    std::optional<std::string> repeated;
    value.members([&](std::string_view key, Value& member) {
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = next + k < count ? next + k : next + k - count;
            Member* m = members.begin()[at];
            const std::string_view candidate = m->key();
            if (candidate.size() == key.size() && candidate[0] == key[0] && candidate == key) {
                next = at + 1 == count ? 0 : at + 1;
                const std::uint64_t bit = std::uint64_t{1} << at;
                if (seen & bit) {
                    if (!repeated) repeated.emplace(key);
                    return member.skip();
                }
                seen |= bit;
                return m->read(member);
            }
        }
        member.skip();
    });
    if (repeated) duplicateKey(path, *repeated);
}

void Field::read(Value& value) {
    kind_ = value.kind();
    switch (kind_) {
        case Kind::string: {
            const std::string_view text = value.stringView();
            isShort_ = text.size() <= shortCapacity;
            if (isShort_) {
                std::memcpy(short_, text.data(), text.size());
                shortSize_ = static_cast<std::uint8_t>(text.size());
            } else {
                text_.assign(text);
            }
            break;
        }
        case Kind::number: number_ = value.number(); break;
        case Kind::boolean: boolean_ = value.boolean(); break;
        default: value.skip(); break;
    }
}

std::string Field::takeText() { return isShort_ ? std::string(short_, shortSize_) : std::move(text_); }

std::string Field::string() {
    if (kind_ == Kind::null) missing();
    if (kind_ != Kind::string) typeMismatch(path(), "a string");
    return takeText();
}

std::optional<std::string> Field::optionalString() {
    if (!isPresent()) return std::nullopt;
    return string();
}

std::int64_t Field::integer() {
    if (kind_ == Kind::null) missing();
    if (kind_ == Kind::number && number_.type == Number::Type::unsignedInteger) {
        if (number_.unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            typeMismatch(path(), "a 64-bit integer");
        return static_cast<std::int64_t>(number_.unsignedValue);
    }
    if (kind_ != Kind::number || number_.type != Number::Type::signedInteger) typeMismatch(path(), "an integer");
    return number_.signedValue;
}

std::optional<std::int64_t> Field::optionalInteger() {
    if (!isPresent()) return std::nullopt;
    return integer();
}

double Field::number() {
    if (kind_ == Kind::null) missing();
    if (kind_ != Kind::number) typeMismatch(path(), "a number");
    return number_.asDouble();
}

std::optional<double> Field::optionalNumber() {
    if (!isPresent()) return std::nullopt;
    return number();
}

bool Field::boolean() {
    if (kind_ == Kind::null) missing();
    if (kind_ != Kind::boolean) typeMismatch(path(), "a Boolean");
    return boolean_;
}

std::optional<bool> Field::optionalBoolean() {
    if (!isPresent()) return std::nullopt;
    return boolean();
}

UUID Field::uuid() {
    if (kind_ == Kind::null) missing();
    if (kind_ != Kind::string) typeMismatch(path(), "a string");
    const auto id = UUID::parse(text());
    if (!id) typeMismatch(path(), "a UUID");
    return *id;
}

std::optional<UUID> Field::optionalUUID() {
    if (!isPresent()) return std::nullopt;
    return uuid();
}

std::optional<Date> Field::optionalDate() {
    if (!isPresent()) return std::nullopt;
    return date();
}

std::vector<std::uint8_t> Field::data() {
    auto bytes = base64Decode(string());
    if (!bytes) typeMismatch(path(), "Base64 data");
    return std::move(*bytes);
}

std::optional<std::vector<std::uint8_t>> Field::optionalData() {
    if (!isPresent()) return std::nullopt;
    return data();
}

}  // namespace sorvik::json
