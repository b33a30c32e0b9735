#pragma once
// Strict reading of JSON documents straight into records, in one forward pass over the text
// (simdjson On Demand). Every value is validated, unknown keys included. A record's members
// are captured during the pass and checked afterwards in the record's own order, so the
// error reported is the first its checks meet; a syntax error anywhere wins over all of them.
// Required keys must hold a value of their type, optional keys may be missing or null,
// unknown keys are ignored, a record's key written twice is refused, integers must be
// integral and in range, and nothing but whitespace may follow the document.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "SorvikCore/Json.hpp"

namespace sorvik::json {

/// Bytes a std::string needs in capacity past its size to be read without a copy.
inline constexpr std::size_t readPadding = 64;

/// A document that is not well-formed JSON, or holds bytes after its end.
class SyntaxError : public DecodingError {
public:
    using DecodingError::DecodingError;
};

/// Runs work() and gives back the DecodingError it threw, to be reported in its turn; syntax
/// errors go on at once.
template <typename Work>
std::optional<DecodingError> deferred(Work&& work) {
    try {
        work();
    } catch (const SyntaxError&) {
        throw;
    } catch (const DecodingError& e) {
        return e;
    }
    return std::nullopt;
}

/// Where a value sits in its document ("workspace.json.assets[3].file"). Paths live on the
/// stack while the value is read and are written out only for an error.
class Path {
public:
    explicit Path(std::string_view root) : name_(root) {}
    Path(const Path& parent, std::string_view key) : parent_(&parent), name_(key) {}
    Path(const Path& parent, std::size_t index) : parent_(&parent), index_(index), isIndex_(true) {}

    std::string string() const;

private:
    const Path* parent_ = nullptr;
    std::string_view name_;
    std::size_t index_ = 0;
    bool isIndex_ = false;
};

/// "Expected <what> at <path>".
[[noreturn]] void typeMismatch(const Path& path, std::string_view expected);
/// "No value for key "<key>" at <object>".
[[noreturn]] void missing(const Path& object, std::string_view key);
/// "Duplicate key "<key>" at <object>".
[[noreturn]] void duplicateKey(const Path& object, std::string_view key);

enum class Kind : std::uint8_t { null, boolean, number, string, array, object };

/// A number as its text wrote it: integral texts within 64 bits keep their integer value.
struct Number {
    enum class Type : std::uint8_t { signedInteger, unsignedInteger, floating };
    Type type = Type::signedInteger;
    std::int64_t signedValue = 0;
    std::uint64_t unsignedValue = 0;
    double floatingValue = 0;

    double asDouble() const;
};

/// A non-owning reference to a callable, for the visitors below.
template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
    FunctionRef(F&& f)  // NOLINT: implicit on purpose
        : object_(const_cast<void*>(static_cast<const void*>(&f))), call_([](void* o, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

/// One value of the document being read, valid while its visitor runs. It is read once, by
/// one typed read matching kind() or by skip(); a value left unread is validated and skipped.
/// Every read throws SyntaxError when the text is not well-formed.
class Value {
public:
    virtual Kind kind() = 0;
    /// Validates the value and everything in it, and passes over it.
    virtual void skip() = 0;
    virtual std::string string() = 0;
    /// The string unescaped, valid until the next string is read.
    virtual std::string_view stringView() = 0;
    virtual Number number() = 0;
    virtual bool boolean() = 0;
    /// Visits the members of an object in document order, keys unescaped.
    virtual void members(FunctionRef<void(std::string_view key, Value& value)> visit) = 0;
    /// The number of elements of an array, before they are visited; 0 where the array is
    /// read as it streams and its length is not known yet, so a hint only.
    virtual std::size_t elementCount() = 0;
    /// Visits the elements of an array in order.
    virtual void elements(FunctionRef<void(Value& value)> visit) = 0;

protected:
    ~Value() = default;
};

/// A text to read: its bytes, and the bytes readable from its start (a std::string's capacity;
/// with fewer than readPadding past the text it is copied first).
struct Source {
    std::string_view text;
    std::size_t capacity = 0;
};

/// Parses the whole text and hands its root value to decodeRoot. A syntax error anywhere is
/// thrown in preference to the decoder's own DecodingError.
void readDocument(Source source, std::string_view root, FunctionRef<void(Value&, const Path&)> decodeRoot);

template <typename Decode>
auto readDocument(Source source, std::string_view root, Decode decode) {
    using T = decltype(decode(std::declval<Value&>(), std::declval<const Path&>()));
    std::optional<T> out;
    readDocument(source, root, FunctionRef<void(Value&, const Path&)>([&](Value& value, const Path& path) {
                     out.emplace(decode(value, path));
                 }));
    return std::move(*out);
}

template <typename Decode>
auto readDocument(std::string_view text, std::string_view root, Decode decode) {
    return readDocument(Source{text}, root, std::move(decode));
}

template <typename Decode>
auto readDocument(const std::string& text, std::string_view root, Decode decode) {
    return readDocument(Source{text, text.capacity()}, root, std::move(decode));
}

/// Reads a string; any other kind is a type mismatch.
std::string readString(Value& value, const Path& path);

/// Reads an array, decoding every element with decode(element, path); the first element
/// that fails is the error, once the whole array has been validated.
template <typename Decode>
auto readArray(Value& value, const Path& path, Decode decode) {
    using T = decltype(decode(value, path));
    if (value.kind() != Kind::array) {
        value.skip();
        typeMismatch(path, "an array");
    }
    std::vector<T> out;
    out.reserve(value.elementCount());
    std::optional<DecodingError> failure;
    std::size_t index = 0;
    value.elements([&](Value& element) {
        const Path elementPath(path, index++);
        if (failure) return element.skip();
        failure = deferred([&] { out.push_back(decode(element, elementPath)); });
    });
    if (failure) throw *failure;
    return out;
}

/// Validates an array as readArray decodes it, with the same first error, without keeping
/// it: each element is decoded and dropped at once. Gives the number of elements.
template <typename Decode>
std::size_t checkArray(Value& value, const Path& path, Decode decode) {
    if (value.kind() != Kind::array) {
        value.skip();
        typeMismatch(path, "an array");
    }
    std::optional<DecodingError> failure;
    std::size_t index = 0;
    value.elements([&](Value& element) {
        const Path elementPath(path, index++);
        if (failure) return element.skip();
        failure = deferred([&] { decode(element, elementPath); });
    });
    if (failure) throw *failure;
    return index;
}

/// A member of an object being read: captured by readObject, checked afterwards.
class Member {
public:
    Member(const Path& object, std::string_view key) : object_(object), key_(key) {}
    Member(const Member&) = delete;
    Member& operator=(const Member&) = delete;

    std::string_view key() const { return key_; }
    /// The member's own path, for its messages.
    Path path() const { return Path(object_, key_); }
    /// Captures the value.
    virtual void read(Value& value) = 0;

protected:
    ~Member() = default;
    /// Throws for a missing value: absent or null.
    [[noreturn]] void missing() const { json::missing(object_, key_); }

    const Path& object_;
    std::string_view key_;
};

/// A member holding a string, number or Boolean.
class Field final : public Member {
public:
    using Member::Member;
    void read(Value& value) override;

    bool isPresent() const { return kind_ != Kind::null; }

    std::string string();
    std::optional<std::string> optionalString();
    std::int64_t integer();
    std::optional<std::int64_t> optionalInteger();
    double number();
    std::optional<double> optionalNumber();
    bool boolean();
    std::optional<bool> optionalBoolean();
    UUID uuid();
    std::optional<UUID> optionalUUID();
    Date date() { return Date{number()}; }
    std::optional<Date> optionalDate();
    /// Base64 text.
    std::vector<std::uint8_t> data();
    std::optional<std::vector<std::uint8_t>> optionalData();

private:
    /// A string that fits (a UUID, a hash) is kept here, without an allocation of its own.
    static constexpr std::size_t shortCapacity = 64;

    std::string takeText();
    std::string_view text() const { return isShort_ ? std::string_view(short_, shortSize_) : std::string_view(text_); }

    Kind kind_ = Kind::null;  // null also when absent
    Number number_;
    bool boolean_ = false;
    bool isShort_ = false;
    std::uint8_t shortSize_ = 0;
    char short_[shortCapacity];
    std::string text_;
};

/// A member holding a record or an array, decoded when met; its error waits for its turn.
template <typename T>
class Nested final : public Member {
public:
    using Decode = T (*)(Value&, const Path&);
    Nested(const Path& object, std::string_view key, Decode decode) : Member(object, key), decode_(decode) {}

    void read(Value& value) override {
        value_.reset();
        failure_.reset();
        if (value.kind() == Kind::null) return value.skip();
        failure_ = deferred([&] { value_.emplace(decode_(value, path())); });
    }

    T required() {
        if (failure_) throw *failure_;
        if (!value_) missing();
        return std::move(*value_);
    }
    std::optional<T> optional() {
        if (failure_) throw *failure_;
        return std::move(value_);
    }

private:
    Decode decode_;
    std::optional<T> value_;
    std::optional<DecodingError> failure_;
};

/// An array member whose elements decode with `decodeElement`.
template <auto decodeElement>
auto arrayOf(Value& value, const Path& path) {
    return readArray(value, path, decodeElement);
}

/// An array member validated as arrayOf<decodeElement> reads it, kept only as its length.
template <auto decodeElement>
std::size_t countOf(Value& value, const Path& path) {
    return checkArray(value, path, decodeElement);
}

/// Reads an object in one pass into the given members (fastest in the order they are
/// written: sorted by key); other keys are validated and skipped. A value that is not an
/// object is a type mismatch; a member's key written twice is a DecodingError.
void readObject(Value& value, const Path& path, std::initializer_list<Member*> members);

namespace detail {
/// The first '"' or '\\' in [p, end), or end.
const char* findQuoteOrBackslash(const char* p, const char* end);
}  // namespace detail

}  // namespace sorvik::json
