// Platform texts as the interface shows them: common system errors, the errors files::systemError
// composes and JSON format failures, alone and inside the core's own messages.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <system_error>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/PlatformMessages.hpp"

using namespace sorvik;

namespace {

constexpr InLanguage en{"en"};
constexpr InLanguage zh{"zh-Hans"};

std::string systemText(int error) { return std::generic_category().message(error); }

std::string composed(int error, const std::string& path, std::string_view what) {
    return files::systemError(error, path, what).what();
}

}  // namespace

TEST(PlatformMessages, CommonSystemErrorsHaveChineseAndEnglishTexts) {
    const std::set<int> expected{ENOENT, EACCES, EPERM,  ENOSPC, EDQUOT, EROFS,       ENOTDIR,
                                 EISDIR, ELOOP,  EMLINK, EIO,    EFBIG,  ENAMETOOLONG};
    std::set<int> listed;
    for (const PlatformMessages::Reason& reason : PlatformMessages::reasons()) {
        SCOPED_TRACE(systemText(reason.error));
        listed.insert(reason.error);
        EXPECT_EQ(L(zh, systemText(reason.error)), reason.chinese);
        EXPECT_EQ(L(en, systemText(reason.error)), reason.english);
        EXPECT_FALSE(reason.chinese.empty());
    }
    for (int error : expected) EXPECT_TRUE(listed.contains(error)) << systemText(error);
    EXPECT_EQ(L(zh, systemText(ENOENT)), "文件或文件夹不存在");
    EXPECT_EQ(L(zh, systemText(EACCES)), "没有访问权限");
}

TEST(PlatformMessages, ComposedErrorsShowThePathInTheLanguagesForm) {
    const std::string missing = composed(ENOENT, "/media/Beta Renders", "cannot read");
    EXPECT_EQ(L(zh, missing), "无法读取“/media/Beta Renders”：文件或文件夹不存在");
    // English keeps the composed form, which is what stored files and the agent print.
    EXPECT_EQ(L(en, missing), missing);
    EXPECT_EQ(L(zh, composed(ENOSPC, "/out/a.mp4", "cannot write")), "无法写入“/out/a.mp4”：磁盘空间不足");
    EXPECT_EQ(L(zh, composed(EROFS, "/out/新建", "cannot create")), "无法创建“/out/新建”：文件系统为只读");
    EXPECT_EQ(L(zh, composed(EFBIG, "/m/x.json", "too large to read:")), "文件过大，无法读取：“/m/x.json”：文件过大");
    EXPECT_EQ(L(zh, composed(EILSEQ, "/m/a\xEF\xBF\xBD.png", {})), "“/m/a\xEF\xBF\xBD.png”：名称不是有效的 UTF-8 文字");
    // The longer prefix wins over the one it starts with.
    EXPECT_EQ(L(zh, composed(EIO, "/o/v.mp4", "cannot read the source of")),
              "无法读取“/o/v.mp4”的源文件：读写出错（I/O 错误）");
    // A path holding the separator: the reason is what follows the last one.
    EXPECT_EQ(L(zh, composed(ENOTDIR, "/a\": b", "cannot open")), "无法打开“/a\": b”：不是文件夹");
    // Every prefix the table knows becomes Chinese around the path.
    for (const PlatformMessages::Prefix& prefix : PlatformMessages::prefixes()) {
        const std::string shown = L(zh, composed(EACCES, "/p", prefix.system));
        EXPECT_NE(shown.find("/p"), std::string::npos) << prefix.system;
        EXPECT_TRUE(shown.ends_with("：没有访问权限")) << shown;
        EXPECT_EQ(shown.find("cannot"), std::string::npos) << shown;
    }
}

TEST(PlatformMessages, RarerErrorsAndUnknownTextsStayAsTheSystemGivesThem) {
    // A rarer reason stays; our prefix is still translated.
    EXPECT_EQ(L(zh, composed(EBADF, "/p", "cannot open")), "无法打开“/p”：" + systemText(EBADF));
    // A prefix the table does not know leaves the whole text alone.
    const std::string unknown = "cannot frobnicate \"/p\": " + systemText(ENOENT);
    EXPECT_EQ(L(zh, unknown), unknown);
    EXPECT_EQ(L(zh, "eventfd: " + systemText(EMFILE)), "eventfd: " + systemText(EMFILE));
    // Latin letters in a name do not make a Chinese text a platform one.
    EXPECT_EQ(L(zh, "已从交付中移除“Permission denied”。原文件仍在。"),
              "已从交付中移除“Permission denied”。原文件仍在。");
    EXPECT_EQ(L(zh, "Sorvik"), "Sorvik");
}

TEST(PlatformMessages, CoreMessagesTranslateThePlatformReasonTheyWrap) {
    const std::string missing = composed(ENOENT, "/s/a.png", "cannot read");
    EXPECT_EQ(L(zh, "部分文件暂时无法读取：" + missing),
              "部分文件暂时无法读取：无法读取“/s/a.png”：文件或文件夹不存在");
    EXPECT_EQ(L(en, "部分文件暂时无法读取：" + missing), "Some files are temporarily unreadable: " + missing);
    EXPECT_EQ(L(zh, "扫描未完成：" + composed(EACCES, "/s", "cannot open")), "扫描未完成：无法打开“/s”：没有访问权限");
    EXPECT_EQ(L(zh, "归档未完成：部分文件暂时无法读取：" + missing),
              "归档未完成：部分文件暂时无法读取：无法读取“/s/a.png”：文件或文件夹不存在");
    EXPECT_EQ(L(zh, "无法读取视频：" + systemText(EACCES)), "无法读取视频：没有访问权限");
    EXPECT_EQ(L(en, "无法读取视频：" + systemText(EACCES)), "Cannot read video: Permission denied");
    // A name captured by a message is never taken for a reason.
    EXPECT_EQ(L(en, "“Is a directory”已丢失，请重新扫描来源文件夹。"),
              "“Is a directory” is missing. Rescan its source folder.");
}

TEST(PlatformMessages, TheRecoveryAlertShowsAFormatFailureInTheInterfaceLanguage) {
    const std::string reason =
        "The data couldn't be read because it isn't in the correct format. (Expected object at "
        "workspace.json)";
    const std::string message = "资料库读取失败：" + reason + "\n原资料库已保留，请先在设置中查看位置。";
    EXPECT_EQ(L(zh, message),
              "资料库读取失败：数据格式不正确，无法读取。（Expected object at workspace.json）\n"
              "原资料库已保留，请先在设置中查看位置。");
    EXPECT_EQ(L(en, message), "Could not load the library: " + reason +
                                  "\nThe original library is kept. Check its location in Settings.");
    EXPECT_EQ(L(zh, "保存失败：The data couldn't be written because it isn't in the correct format. (invalid UTF-8)"),
              "保存失败：数据格式不正确，无法写入。（invalid UTF-8）");
    EXPECT_EQ(L(zh, "资料库读取失败：" + systemText(EACCES) + "\n原资料库已保留，请先在设置中查看位置。"),
              "资料库读取失败：没有访问权限\n原资料库已保留，请先在设置中查看位置。");
    EXPECT_EQ(L(zh, "The data couldn't be read because it is missing. (No value for key \"schemaVersion\")"),
              "缺少数据，无法读取。（No value for key \"schemaVersion\"）");
}
