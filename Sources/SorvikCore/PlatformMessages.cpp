#include "SorvikCore/PlatformMessages.hpp"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace sorvik::PlatformMessages {

namespace {

constexpr Reason reasonTable[] = {
    {ENOENT, "文件或文件夹不存在", "No such file or directory"},
    {EACCES, "没有访问权限", "Permission denied"},
    {EPERM, "不允许此操作", "Operation not permitted"},
    {ENOSPC, "磁盘空间不足", "No space left on device"},
    {EDQUOT, "超出磁盘配额", "Disk quota exceeded"},
    {EROFS, "文件系统为只读", "Read-only file system"},
    {ENOTDIR, "不是文件夹", "Not a directory"},
    {EISDIR, "是文件夹，不是文件", "Is a directory"},
    {ELOOP, "链接层级过多", "Too many levels of symbolic links"},
    {EMLINK, "链接过多", "Too many links"},
    {EIO, "读写出错（I/O 错误）", "Input/output error"},
    {EFBIG, "文件过大", "File too large"},
    {ENAMETOOLONG, "文件名过长", "File name too long"},
    {EILSEQ, "名称不是有效的 UTF-8 文字", "Invalid or incomplete multibyte or wide character"},
};

// Longer prefixes first where one starts another ("cannot read the source of", "cannot read").
constexpr Prefix prefixTable[] = {
    {"cannot read the source of", "无法读取“{0}”的源文件"},
    {"cannot read", "无法读取“{0}”"},
    {"cannot open", "无法打开“{0}”"},
    {"cannot create", "无法创建“{0}”"},
    {"cannot write", "无法写入“{0}”"},
    {"cannot sync", "无法将“{0}”写入磁盘"},
    {"cannot close", "无法关闭“{0}”"},
    {"cannot move into place", "无法将“{0}”移到目标位置"},
    {"cannot replace", "无法替换“{0}”"},
    {"cannot copy to", "无法复制到“{0}”"},
    {"cannot clone to", "无法复制到“{0}”"},
    {"cannot stamp", "无法设置“{0}”的修改时间"},
    {"cannot truncate", "无法截断“{0}”"},
    {"not a regular file:", "不是普通文件：“{0}”"},
    {"too large to read:", "文件过大，无法读取：“{0}”"},
    {"moved or replaced while exporting:", "导出时被移动或替换：“{0}”"},
};

struct FormatFailure {
    std::string_view system;
    std::string_view chinese;
};

constexpr FormatFailure formatFailures[] = {
    {"The data couldn't be read because it isn't in the correct format.", "数据格式不正确，无法读取。"},
    {"The data couldn't be written because it isn't in the correct format.", "数据格式不正确，无法写入。"},
    {"The data couldn't be read because it is missing.", "缺少数据，无法读取。"},
    {"The data couldn't be written because a number is not finite.", "数据中有无效的数字，无法写入。"},
};

/// The system's own text of each reason, as this platform's library words it.
const std::vector<std::string>& systemTexts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> out;
        for (const Reason& reason : reasonTable) out.push_back(std::generic_category().message(reason.error));
        return out;
    }();
    return texts;
}

std::optional<std::string> reasonText(std::string_view text, bool english) {
    const auto& system = systemTexts();
    for (std::size_t i = 0; i < system.size(); ++i)
        if (text == system[i]) return std::string(english ? reasonTable[i].english : reasonTable[i].chinese);
    return std::nullopt;
}

std::string withPath(std::string_view pattern, std::string_view path) {
    const std::size_t at = pattern.find("{0}");
    return std::string(pattern.substr(0, at)) + std::string(path) + std::string(pattern.substr(at + 3));
}

/// `[prefix ]"path": reason` as `files::systemError` composes it.
std::optional<std::string> composedError(std::string_view text, bool english) {
    const std::size_t split = text.rfind("\": ");
    if (split == std::string_view::npos) return std::nullopt;
    const std::string_view head = text.substr(0, split);  // up to the path's closing quote
    const std::string_view reason = text.substr(split + 3);
    std::optional<std::string> shown;
    if (head.starts_with('"')) {
        const std::string_view path = head.substr(1);
        shown = english ? "\"" + std::string(path) + "\"" : "“" + std::string(path) + "”";
    } else {
        for (const Prefix& prefix : prefixTable) {
            if (!head.starts_with(prefix.system) || head.substr(prefix.system.size()).substr(0, 2) != " \"") continue;
            const std::string_view path = head.substr(prefix.system.size() + 2);
            shown = english ? std::string(prefix.system) + " \"" + std::string(path) + "\""
                            : withPath(prefix.chinese, path);
            break;
        }
    }
    if (!shown) return std::nullopt;
    const std::optional<std::string> known = reasonText(reason, english);
    return *shown + (english ? ": " : "：") + (known ? *known : std::string(reason));
}

std::optional<std::string> formatFailure(std::string_view text, bool english) {
    for (const FormatFailure& failure : formatFailures) {
        if (!text.starts_with(failure.system)) continue;
        std::string_view detail = text.substr(failure.system.size());
        if (english) return std::string(failure.system) + std::string(detail);
        if (detail.starts_with(" (") && detail.ends_with(")"))
            return std::string(failure.chinese) + "（" + std::string(detail.substr(2, detail.size() - 3)) + "）";
        return std::string(failure.chinese) + std::string(detail);
    }
    return std::nullopt;
}

}  // namespace

std::span<const Reason> reasons() { return reasonTable; }
std::span<const Prefix> prefixes() { return prefixTable; }

std::optional<std::string> localized(std::string_view text, bool english) {
    if (auto reason = reasonText(text, english)) return reason;
    if (auto composed = composedError(text, english)) return composed;
    return formatFailure(text, english);
}

}  // namespace sorvik::PlatformMessages
