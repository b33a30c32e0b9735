#include "SorvikCore/Exporter.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <future>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include "SorvikCore/CanonicalJson.hpp"
#include "SorvikCore/CheckEngine.hpp"
#include "SorvikCore/FileCopy.hpp"
#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Hashing.hpp"
#include "SorvikCore/Inspector.hpp"
#include "SorvikCore/OrderedWork.hpp"
#include "SorvikCore/UnicodeText.hpp"

namespace sorvik::DeliveryExporter {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t safeNameCharacters = 70;
// Every name built from a safe name must fit the 255-byte limit of a file name. The longest
// additions are the archive's "__" + 6 + "_" + 8 + "." + extension (about 25 bytes) and the
// export's "_" + role label (6 bytes) + "_" + number + "." + extension, or " 2", " 3"... on a
// package folder. 200 bytes leaves 55 for them, so 70 emoji or heavily combined characters can
// no longer make every export fail with a name that is too long.
constexpr std::size_t safeNameBytes = 200;

struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};

/// Length in bytes of the longest prefix of at most `characters` grapheme clusters and at most
/// `maxBytes` bytes that ends on a cluster boundary.
std::size_t graphemePrefixLength(std::string_view text, std::size_t characters, std::size_t maxBytes) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> ut(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return 0;
    it->setText(ut.get(), status);
    if (U_FAILURE(status)) return 0;
    std::size_t length = 0, count = 0;
    it->first();
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE && count < characters; b = it->next(), ++count) {
        if (static_cast<std::size_t>(b) > maxBytes) break;
        length = static_cast<std::size_t>(b);
    }
    return length;
}

/// Longest prefix of at most maxBytes that ends on a code point boundary.
std::size_t codePointPrefixLength(std::string_view text, std::size_t maxBytes) {
    std::size_t end = std::min(maxBytes, text.size());
    while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

[[noreturn]] void fail(const char* message) { throw SorvikError::message(message); }

}  // namespace

std::string safeName(std::string_view name) {
    std::string replaced;
    replaced.reserve(name.size());
    for (char c : name) {
        switch (c) {
            case '/': case '\\': case ':': case '?': case '*': case '"': case '<': case '>': case '|':
            case '\n': case '\r': case '\t': case '\0':
                replaced.push_back('_');
                break;
            default:
                replaced.push_back(c);
        }
    }
    std::string_view text = unicode::trimWhitespaceAndNewlines(replaced);
    while (!text.empty() && text.front() == '.') text.remove_prefix(1);
    if (text.empty()) return "未命名交付";
    std::size_t length = graphemePrefixLength(text, safeNameCharacters, safeNameBytes);
    // A single cluster longer than the budget (a letter with hundreds of marks) is cut inside.
    if (length == 0) length = codePointPrefixLength(text, safeNameBytes);
    return std::string(text.substr(0, length));
}

images::Image orientedImage(const fs::path& path, int maxPixel) {
    try {
        return images::orientedThumbnail(path, std::max(maxPixel, 1));
    } catch (const images::ImageError&) {
        fail("无法打开图片");
    } catch (const std::system_error&) {
        fail("无法打开图片");
    }
}

CropRect cropRect(std::int64_t width, std::int64_t height, const CropSpec& spec) {
    if (!std::isfinite(spec.ratio) || spec.ratio <= 0 || !std::isfinite(spec.x) || !std::isfinite(spec.y) ||
        width < 1 || height < 1)
        fail("裁切参数无效");
    const double W = static_cast<double>(width), H = static_cast<double>(height);
    const double w = std::min(H * spec.ratio, W);
    const double h = std::min(W / spec.ratio, H);
    const double px = spec.x < 0 ? 0 : std::min(spec.x, 1.0);
    const double py = spec.y < 0 ? 0 : std::min(spec.y, 1.0);
    return CropRect{std::floor((W - w) * px), std::floor((H - h) * py), std::floor(w), std::floor(h)};
}

void cropImage(const fs::path& source, const fs::path& output, const CropSpec& spec) {
    const images::Image decoded = orientedImage(source, exportMaxPixel);
    const CropRect rect = cropRect(decoded.width(), decoded.height(), spec);
    images::Image cut;
    try {
        cut = images::crop(decoded, static_cast<int>(rect.x), static_cast<int>(rect.y), static_cast<int>(rect.width),
                           static_cast<int>(rect.height));
    } catch (const images::ImageError&) {
        fail("无法创建裁切图片");
    }
    files::FileDescriptor fd(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) fail("无法创建裁切图片");
    try {
        const std::string jpeg = images::encodeJPEG(cut, cropJPEGQuality);
        std::string_view rest = jpeg;
        while (!rest.empty()) {
            const ssize_t n = ::write(fd.get(), rest.data(), rest.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                fail("封面写入失败");
            }
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
    } catch (const images::ImageError&) {
        fail("封面写入失败");
    }
    if (::close(fd.release()) != 0) fail("封面写入失败");
}

}  // namespace sorvik::DeliveryExporter

namespace sorvik::DeliveryExporter {

namespace {

/// Files at least this large hash and copy on two threads at once.
constexpr std::int64_t overlapBytes = 16 << 20;

using files::resolvedPath;

bool insideLibrary(const fs::path& root, const fs::path& destination) {
    const std::string base = resolvedPath(root);
    const std::string candidate = resolvedPath(destination);
    if (candidate == base) return true;
    return candidate.starts_with(base == "/" ? base : base + "/");
}

/// Removes the temporary folder with its content unless released.
class TemporaryFolder {
public:
    explicit TemporaryFolder(fs::path path) : path_(std::move(path)) {
        if (::mkdir(path_.c_str(), 0755) != 0) throw files::systemError(errno, path_, "cannot create");
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        if (path_.empty()) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    void release() { path_.clear(); }

private:
    fs::path path_;
};

std::string quoted(const std::string& name) { return "“" + name + "”"; }

std::string twoDigits(int number) {
    std::string s = std::to_string(number);
    return s.size() < 2 ? "0" + s : s;
}

Date nowInWholeSeconds() { return Date::fromUnix(std::floor(Date::now().unixSeconds())); }

std::string localDateTime(Date date) {
    std::time_t t = static_cast<std::time_t>(date.unixSeconds());
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &tm);
    return buffer;
}

/// One delivery file's place in the package.
struct Planned {
    const DeliveryFile* file;
    std::string relativePath;
};

template <typename F>
auto onThread(F&& work) {
    return std::async(std::launch::async, std::forward<F>(work));
}

ManifestEntry exportFile(const Repository& repository, const DeliveryFile& file, const fs::path& temp,
                         const std::string& relativePath) {
    const fs::path source = repository.fileURL(file);

    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw SorvikError::message(quoted(file.name) + "已丢失，请重新扫描来源文件夹。");
        throw files::systemError(errno, source, "cannot read");
    }
    if (file.reference) {
        const std::int64_t size = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1;
        const Date modified = Date::fromTimespec(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        if (size != file.bytes || !(std::fabs(modified.seconds - file.reference->modifiedAt.seconds) < 0.001))
            throw SorvikError::message(quoted(file.name) + "已更新，请重新扫描后再交付。");
    }

    const fs::path output = temp / relativePath;
    const bool plainCopy = !file.crop && !file.editedText;
    const files::FileDescriptor in = files::openRegularFile(source);
    const bool overlap = plainCopy && info.st_size >= overlapBytes;

    // The source hash comes from the descriptor the copy reads, so both see the same file.
    std::string sourceHash;
    if (overlap) {
        auto hashing = onThread([&] { return hashing::sha256Descriptor(in.get(), source); });
        std::exception_ptr copyFailure;
        try {
            files::copyContent(in.get(), output);
        } catch (...) {
            copyFailure = std::current_exception();
        }
        sourceHash = hashing.get();
        if (!file.sha256.empty() && file.sha256 != sourceHash)
            throw SorvikError::message(quoted(file.name) + "已变更，请重新读取。");
        if (copyFailure) std::rethrow_exception(copyFailure);
    } else {
        sourceHash = hashing::sha256Descriptor(in.get(), source);
        if (!file.sha256.empty() && file.sha256 != sourceHash)
            throw SorvikError::message(quoted(file.name) + "已变更，请重新读取。");
        if (file.crop) {
            cropImage(source, output, *file.crop);
        } else if (file.editedText) {
            files::writeFileAtomically(output, *file.editedText);
        } else {
            files::copyContent(in.get(), output);
        }
    }

    struct stat written {};
    if (::stat(output.c_str(), &written) != 0) throw files::systemError(errno, output, "cannot read");

    // The copy's hash and the source's second hash (by path, so a replaced file is caught).
    // Failures are reported in the sequential order: the copy's hash, its comparison, then
    // the source's second hash.
    std::string outputHash, sourceAgain;
    std::exception_ptr againFailure;
    if (info.st_size >= overlapBytes) {
        auto again = onThread([&] { return FileInspector::hash(source); });
        std::exception_ptr outputFailure;
        try {
            outputHash = FileInspector::hash(output);
        } catch (...) {
            outputFailure = std::current_exception();
        }
        try {
            sourceAgain = again.get();
        } catch (...) {
            againFailure = std::current_exception();
        }
        if (outputFailure) std::rethrow_exception(outputFailure);
    } else {
        outputHash = FileInspector::hash(output);
    }
    if (plainCopy && outputHash != sourceHash) throw SorvikError::message("文件复制校验失败：" + file.name);
    if (againFailure) std::rethrow_exception(againFailure);
    if (sourceAgain.empty()) sourceAgain = FileInspector::hash(source);
    if (sourceAgain != sourceHash) throw SorvikError::message(quoted(file.name) + "在导出时发生变化，请重试。");

    ManifestEntry entry;
    entry.assetID = file.id;
    entry.sourceName = file.name;
    entry.outputPath = relativePath;
    entry.role = file.role;
    entry.bytes = S_ISREG(written.st_mode) ? static_cast<std::int64_t>(written.st_size) : 0;
    entry.sha256 = std::move(outputHash);
    entry.sourceSHA256 = std::move(sourceHash);
    entry.modified = !plainCopy;
    return entry;
}

}  // namespace

std::string reportText(const ExportManifest& m) {
    std::string text = "# " + m.title;
    text += "\n\n由Sorvik整理 · " + localDateTime(m.exportedAt);
    text += "\n\n规则：" + m.templ.name + "（用户自定规则，不代表平台审核结果）\n\n## 文件\n\n";
    for (std::size_t i = 0; i < m.files.size(); ++i) {
        if (i > 0) text += '\n';
        text += "- " + m.files[i].outputPath;
        if (m.files[i].modified) text += "（已生成修改副本）";
    }
    text += "\n\n## 检查\n\n";
    for (std::size_t i = 0; i < m.checks.size(); ++i) {
        const auto& check = m.checks[i];
        if (i > 0) text += '\n';
        text += std::string("- [") + (check.level == CheckLevel::pass ? "通过" : "提醒") + "] " + check.title + "：" +
                check.detail;
    }
    text += "\n\n只验证本地文件与所选规则；不判断内容质量、版权或外部平台审核结果。\n";
    return text;
}

std::string signature(const Delivery& delivery) {
    return hashing::sha256Hex(canonical::signaturePayload(delivery));
}

ExportReceipt exportDelivery(const Delivery& delivery, const Repository& repository, const fs::path& destinationIn,
                             bool allowWarnings) {
    const std::vector<DeliveryCheck> checks = CheckEngine::checks(delivery);
    const auto has = [&](CheckLevel level) {
        return std::any_of(checks.begin(), checks.end(), [&](const DeliveryCheck& c) { return c.level == level; });
    };
    if (has(CheckLevel::error)) throw SorvikError::message("仍有缺失或无法读取的文件，请先修正。");
    if (!allowWarnings && has(CheckLevel::warning)) throw SorvikError::message("请先检查并确认提醒事项。");

    const fs::path destination = destinationIn.is_absolute() ? destinationIn : fs::absolute(destinationIn);
    if (insideLibrary(repository.root(), destination))
        throw SorvikError::message("请将交付包导出到Sorvik资料库以外的文件夹。");

    // lstat: a dangling link or any other item takes the name.
    const std::string safe = safeName(delivery.name);
    fs::path package = destination / safe;
    for (int number = 2; files::itemExists(package); ++number)
        package = destination / (safe + " " + std::to_string(number));

    TemporaryFolder temp(destination / (".sorvik-" + UUID::make().string()));

    std::map<FileRole, int> counters;
    std::vector<Planned> plan;
    plan.reserve(delivery.files.size());
    for (const auto& file : delivery.files) {
        const int number = ++counters[file.role];
        const std::string extension = file.crop ? "jpg" : file.fileExtension();
        plan.push_back({&file, std::string(FileRoles::folder(file.role)) + "/" + safe + "_" +
                                   std::string(FileRoles::label(file.role)) + "_" + twoDigits(number) + "." + extension});
    }
    for (const auto& [role, count] : counters) {
        const fs::path folder = temp.path() / std::string(FileRoles::folder(role));
        if (::mkdir(folder.c_str(), 0755) != 0) throw files::systemError(errno, folder, "cannot create");
    }

    ExportManifest manifest;
    manifest.projectID = delivery.id;
    manifest.title = delivery.name;
    manifest.templ = delivery.templ;
    manifest.files.resize(plan.size());
    ordered::forEach(plan.size(), [&](std::size_t i) {
        manifest.files[i] = exportFile(repository, *plan[i].file, temp.path(), plan[i].relativePath);
    });
    manifest.checks = checks;
    manifest.acknowledgedWarnings = allowWarnings;
    manifest.exportedAt = nowInWholeSeconds();

    files::writeFileAtomically(temp.path() / manifestFileName, encodeManifestFile(manifest));
    files::writeFileAtomically(temp.path() / reportFileName, reportText(manifest));

    files::moveNoReplace(temp.path(), package);
    temp.release();
    if (files::FileDescriptor folder(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folder)
        ::fsync(folder.get());

    ExportReceipt receipt = ExportReceipt::make(manifest.exportedAt, package.string(),
                                                static_cast<std::int64_t>(manifest.files.size()), signature(delivery));
    return receipt;
}

}  // namespace sorvik::DeliveryExporter
