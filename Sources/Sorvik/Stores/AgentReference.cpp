#include "Sorvik/Stores/AgentReference.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace sorvik::app {

namespace {

/// The name with every control, line or paragraph separator written as a space.
std::string singleLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    int32_t i = 0;
    const auto length = static_cast<int32_t>(text.size());
    while (i < length) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(text.data(), i, length, c);
        const int8_t type = c < 0 ? static_cast<int8_t>(U_CONTROL_CHAR) : u_charType(c);
        if (type == U_CONTROL_CHAR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR) {
            out.push_back(' ');
        } else {
            out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
        }
    }
    return out;
}

}  // namespace

std::string shellQuoted(std::string_view path) {
    std::string out = "'";
    for (char c : path) {
        if (c == '\'') {
            out += "'\"'\"'";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('\'');
    return out;
}

std::string agentReferenceText(const Delivery& project, const std::optional<UUID>& fileID,
                               const std::filesystem::path& agent, const std::filesystem::path& library) {
    std::string text = "Sorvik项目：" + singleLine(project.name) + "\n";
    text += "project_id: " + project.id.string() + "\n";
    if (fileID) text += "asset_id: " + fileID->string() + "\n";
    text += "查询命令：\n";
    text += shellQuoted(agent.string()) + " --data-dir " + shellQuoted(library.string()) + " project " +
            project.id.string() + "\n";
    text +=
        "使用 prepare PROJECT_ID ASSET_ID[,ASSET_ID] DESTINATION 生成指定内容快照；verify MANIFEST "
        "验证后上传。禁止凭文件名猜测版本；平台及账号需明确。此接口不执行发布。";
    return text;
}

}  // namespace sorvik::app
