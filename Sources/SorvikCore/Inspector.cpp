#include "SorvikCore/Inspector.hpp"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Images.hpp"
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

void probeImage(DeliveryFile& record, const fs::path& path) {
    if (auto props = images::decodeTest(path, decodeTestPixels)) {
        record.width = props->orientedWidth();
        record.height = props->orientedHeight();
    } else {
        record.inspectionError = "无法解码图片";
    }
}

void probeVideo(DeliveryFile& record, const fs::path& path, std::stop_token stop) {
    try {
        const video::Probe probe = video::probe(path, stop);
        record.width = probe.width;
        record.height = probe.height;
        record.duration = probe.duration;
    } catch (const video::VideoError& error) {
        record.inspectionError = std::string("无法读取视频：") + error.what();
    }
}

void readText(DeliveryFile& record, const fs::path& path, std::uint64_t size) {
    const bool limited = record.role == FileRole::copy || record.role == FileRole::subtitle;
    const auto tooLarge = [&] {
        if (limited) record.inspectionError = "文本超过 5 MB，请拆分后编辑";
    };
    if (size > maxTextBytes) return tooLarge();
    files::FileDescriptor fd = files::openRegularFile(path, true);
    // One byte more than the limit tells a file that grew since its size was read.
    std::string bytes = files::readUpTo(fd.get(), maxTextBytes + 1, path);
    if (bytes.size() > maxTextBytes) return tooLarge();
    if (auto decoded = unicode::decodeText(std::move(bytes))) {
        record.text = std::move(*decoded);
    } else {
        record.inspectionError = "无法读取文字，请保存为 UTF-8";
    }
}

}  // namespace

const ExtensionSet& supported() {
    static const ExtensionSet set{
        "mp4", "mov", "m4v", "webm", "mkv", "avi",                                          // video
        "jpg", "jpeg", "png", "heic", "webp", "tif", "tiff", "gif", "avif",                 // image
        "srt", "vtt", "ass", "txt", "md", "json", "html", "htm", "svg", "csv", "yaml", "yml",  // texts
        "js", "jsx", "ts", "tsx", "css", "py",                                              // code
        "pdf", "docx", "pptx", "xlsx",                                                      // documents
        "wav", "mp3", "m4a", "flac",                                                        // audio
        "zip",                                                                              // archive
        "glb", "gltf", "obj", "fbx", "blend", "usd", "usdz", "stl",                         // 3D
    };
    return set;
}

const ExtensionSet& editableTextExtensions() {
    static const ExtensionSet set{"srt", "vtt", "ass", "txt", "md",  "json", "html", "htm", "svg", "csv",
                                  "yaml", "yml", "js", "jsx", "ts", "tsx", "css",  "py",   "gltf"};
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

DeliveryFile inspect(const fs::path& path, const std::string& relativePath,
                     const std::optional<std::string>& displayName, bool fingerprint, std::stop_token stop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) throw files::systemError(errno, path, "cannot read");
    if (!S_ISREG(st.st_mode)) throw SorvikError::message("只支持普通文件：" + lastPathComponent(path));

    DeliveryFile record;
    record.id = UUID::make();
    record.name = displayName ? *displayName : lastPathComponent(path);
    record.relativePath = relativePath;
    record.role = role(path);
    record.bytes = static_cast<std::int64_t>(st.st_size);
    if (fingerprint) record.sha256 = hash(path, stop);

    if (record.bytes == 0) {
        record.inspectionError = "文件为空";
        return record;
    }
    if (record.isImage()) {
        probeImage(record, path);
    } else if (record.role == FileRole::video) {
        probeVideo(record, path, stop);
    } else if (editableTextExtensions().contains(record.fileExtension())) {
        readText(record, path, static_cast<std::uint64_t>(st.st_size));
    }
    return record;
}

}  // namespace sorvik::FileInspector
