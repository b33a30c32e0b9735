#include "SorvikCore/Inspector.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "SorvikCore/UnicodeText.hpp"
#include "SorvikCore/Video.hpp"

namespace sorvik::FileInspector {

namespace fs = std::filesystem;

namespace {

constexpr int decodeTestPixels = 64;

std::string lastPathComponent(const fs::path& path) {
    std::string_view text = path.native();
    while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
    if (text.size() > 1) {
        if (auto slash = text.rfind('/'); slash != std::string_view::npos) text.remove_prefix(slash + 1);
    }
    return std::string(text);
}

std::string extensionOfName(std::string_view name) {
    while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
    if (auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
    std::string ext(name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return ext;
}

void probeImage(DeliveryFile& record, int fd, std::stop_token stop) {
    if (auto props = images::decodeTest(fd, decodeTestPixels, std::move(stop))) {
        record.width = props->orientedWidth();
        record.height = props->orientedHeight();
    } else {
        record.inspectionError = "无法解码图片";
    }
}

void probeVideo(DeliveryFile& record, int fd, std::stop_token stop) {
    try {
        const video::Probe probe = video::probe(fd, stop);
        record.width = probe.width;
        record.height = probe.height;
        record.duration = probe.duration;
    } catch (const video::VideoError& error) {
        record.inspectionError = std::string("无法读取视频：") + error.what();
    } catch (const media::ModuleUnavailable& error) {
        // The file is there; only this machine cannot read videos now.
        record.inspectionError = std::string("无法读取视频：") + error.what();
    }
}

void readText(DeliveryFile& record, int fd, const fs::path& path, std::uint64_t size) {
    const bool limited = record.role == FileRole::copy || record.role == FileRole::subtitle;
    const auto tooLarge = [&] {
        if (limited) record.inspectionError = "文本超过 5 MB，请拆分后编辑";
    };
    if (size > maxTextBytes) return tooLarge();
    if (::lseek(fd, 0, SEEK_SET) < 0) throw files::systemError(errno, path, "cannot read");
    // One byte more than the limit tells a file that grew since its size was read.
    std::string bytes = files::readUpTo(fd, maxTextBytes + 1, path);
    if (bytes.size() > maxTextBytes) return tooLarge();
    if (auto decoded = unicode::decodeText(std::move(bytes))) {
        record.text = std::move(*decoded);
    } else {
        record.inspectionError = "无法读取文字，请保存为 UTF-8";
    }
}

SorvikError notRegular(const fs::path& path) {
    return SorvikError::message("只支持普通文件：" + lastPathComponent(path));
}

}  // namespace

const ExtensionSet& supported() {
    static const ExtensionSet set{
        "mp4", "mov",  "m4v",  "webm", "mkv",   "avi",                                                // video
        "jpg", "jpeg", "png",  "heic", "webp",  "tif",  "tiff", "gif", "avif",                        // image
        "srt", "vtt",  "ass",  "txt",  "md",    "json", "html", "htm", "svg",  "csv", "yaml", "yml",  // texts
        "js",  "jsx",  "ts",   "tsx",  "css",   "py",                                                 // code
        "pdf", "docx", "pptx", "xlsx",                                                                // documents
        "wav", "mp3",  "m4a",  "flac",                                                                // audio
        "zip",                                                                                        // archive
        "glb", "gltf", "obj",  "fbx",  "blend", "usd",  "usdz", "stl",                                // 3D
    };
    return set;
}

const ExtensionSet& editableTextExtensions() {
    static const ExtensionSet set{"srt",  "vtt", "ass", "txt", "md", "json", "html", "htm", "svg", "csv",
                                  "yaml", "yml", "js",  "jsx", "ts", "tsx",  "css",  "py",  "gltf"};
    return set;
}

std::string pathExtension(const fs::path& path) { return extensionOfName(path.native()); }

FileRole role(const fs::path& path) {
    const std::string ext = pathExtension(path);
    if (ext == "mp4" || ext == "mov" || ext == "m4v") return FileRole::video;
    static const ExtensionSet covers{"jpg", "jpeg", "png", "heic", "webp", "tif", "tiff", "gif", "avif"};
    if (covers.contains(ext)) return FileRole::cover;
    if (ext == "srt") return FileRole::subtitle;
    if (ext == "txt" || ext == "md") return FileRole::copy;
    return FileRole::extra;
}

std::string hash(const fs::path& path, std::stop_token stop) { return hashing::sha256File(path, stop); }

bool awaitsMediaModule(const DeliveryFile& file) {
    if (file.role != FileRole::video || !file.inspectionError) return false;
    constexpr std::string_view unreadable = "无法读取视频：";
    const std::string_view error = *file.inspectionError;
    if (!error.starts_with(unreadable)) return false;
    const std::string_view reason = error.substr(unreadable.size());
    return reason.starts_with(media::cannotLoadMessage) || reason.starts_with(media::mismatchMessage);
}

namespace {

files::FileDescriptor openAt(int folder, const char* name, const fs::path& path, struct stat& info) {
    files::FileDescriptor fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        const int error = errno;
        // A link, or a special file that cannot even be opened (a socket).
        struct stat own {};
        if (error == ELOOP || (::fstatat(folder, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(own.st_mode)))
            throw notRegular(path);
        throw files::systemError(error, path, "cannot read");
    }
    if (::fstat(fd.get(), &info) != 0) throw files::systemError(errno, path, "cannot read");
    if (!S_ISREG(info.st_mode)) throw notRegular(path);
    // Regular files never block; clear the flag so reads behave normally.
    if (const int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

files::FileDescriptor open(const fs::path& path, struct stat& info) {
    return openAt(AT_FDCWD, path.c_str(), path, info);
}

namespace {

/// The record of an open file (fd), or of a regular file that cannot be opened for reading
/// (fd -1, `unreadable` its error): then only the steps that read it fail, as they would.
DeliveryFile inspectWith(int fd, const std::error_code& unreadable, const struct stat& info, const fs::path& path,
                         const std::string& relativePath, const std::optional<std::string>& displayName,
                         bool fingerprint, std::stop_token stop) {
    if (!S_ISREG(info.st_mode)) throw notRegular(path);
    const auto failRead = [&] { throw files::systemError(unreadable.value(), path, "cannot read"); };
    DeliveryFile record;
    record.id = UUID::make();
    record.name = displayName ? *displayName : lastPathComponent(path);
    record.relativePath = relativePath;
    record.role = role(path);
    record.bytes = static_cast<std::int64_t>(info.st_size);
    if (fingerprint) {
        if (fd < 0) failRead();
        record.sha256 = hashing::sha256Descriptor(fd, path, stop);
    }

    if (record.bytes == 0) {
        record.inspectionError = "文件为空";
        return record;
    }
    if (record.isImage()) {
        if (fd < 0) record.inspectionError = "无法解码图片";
        else probeImage(record, fd, stop);
    } else if (record.role == FileRole::video) {
        if (fd < 0) record.inspectionError = "无法读取视频：" + unreadable.message();
        else probeVideo(record, fd, stop);
    } else if (editableTextExtensions().contains(record.fileExtension())) {
        if (fd < 0 && static_cast<std::uint64_t>(info.st_size) <= maxTextBytes) failRead();
        readText(record, fd, path, static_cast<std::uint64_t>(info.st_size));
    }
    return record;
}

}  // namespace

DeliveryFile inspect(const fs::path& path, const std::string& relativePath,
                     const std::optional<std::string>& displayName, bool fingerprint, std::stop_token stop) {
    return inspectAt(AT_FDCWD, path.string(), path, relativePath, displayName, fingerprint, std::move(stop));
}

DeliveryFile inspectAt(int folder, const std::string& name, const fs::path& path, const std::string& relativePath,
                       const std::optional<std::string>& displayName, bool fingerprint, std::stop_token stop) {
    struct stat info {};
    files::FileDescriptor fd;
    try {
        fd = openAt(folder, name.c_str(), path, info);
    } catch (const std::system_error& error) {
        // A regular file without read permission is still listed, as far as its kind allows.
        const int code = error.code().value();
        if ((code != EACCES && code != EPERM) || ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            throw;
        return inspectWith(-1, error.code(), info, path, relativePath, displayName, fingerprint, stop);
    }
    return inspectWith(fd.get(), {}, info, path, relativePath, displayName, fingerprint, stop);
}

DeliveryFile inspect(int fd, const struct stat& info, const fs::path& path, const std::string& relativePath,
                     const std::optional<std::string>& displayName, bool fingerprint, std::stop_token stop) {
    return inspectWith(fd, {}, info, path, relativePath, displayName, fingerprint, stop);
}

}  // namespace sorvik::FileInspector
