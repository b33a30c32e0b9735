#pragma once
// Texts the platform composes, in the interface's words. Platform errors pass through the core
// as the system gives them ("cannot read "/a": No such file or directory", a JSON decoding
// failure); stored files and the agent keep that form, and the application shows it in the
// interface language through this table.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sorvik::PlatformMessages {

/// A common system error: errno, its Chinese and its English text.
struct Reason {
    int error;
    std::string_view chinese;
    std::string_view english;
};

/// What `files::systemError` puts before the quoted path, and the Chinese around that path.
struct Prefix {
    std::string_view system;   // "cannot read"
    std::string_view chinese;  // "无法读取“{0}”"
};

std::span<const Reason> reasons();
std::span<const Prefix> prefixes();

/// The text in Chinese, or in English when `english`, when it is a platform text this table knows:
/// a common system error alone, one composed by `files::systemError` (a known prefix or none,
/// the quoted path, then the reason, which stays as given when it is a rarer one) or a JSON
/// format failure. Absent otherwise.
std::optional<std::string> localized(std::string_view text, bool english);

}  // namespace sorvik::PlatformMessages
