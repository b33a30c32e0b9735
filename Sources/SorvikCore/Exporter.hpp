#pragma once
// Delivery packages: export with manifest and report, the delivery signature, safe names
// and cover crops.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "SorvikCore/ExportManifest.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Models.hpp"
#include "SorvikCore/Repository.hpp"

namespace sorvik::DeliveryExporter {

/// Largest side a cover is decoded at for export.
inline constexpr int exportMaxPixel = 8192;
/// JPEG quality of cropped covers.
inline constexpr int cropJPEGQuality = 94;

/// The file-system-safe form of a name: never empty, at most 70 user-perceived characters and
/// at most 200 bytes of UTF-8 (see the source for why).
std::string safeName(std::string_view name);

/// An extension fit for a file name: every character safeName replaces becomes "_" here too.
std::string safeExtension(std::string_view extension);

/// A crop window in whole pixels (held as doubles), origin at the top-left corner.
struct CropRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const CropRect&, const CropRect&) = default;
};

/// The image file decoded with its orientation applied, at most maxPixel on its longer side.
/// Throws SorvikError "无法打开图片", also when the decode would exceed `maxDecodedPixels`
/// (0: no limit); CancellationError when `stop` is requested during the decode.
images::Image orientedImage(const std::filesystem::path& path, int maxPixel, std::stop_token stop = {},
                            std::uint64_t maxDecodedPixels = 0);

/// The crop window of spec on an image of the given size. Throws SorvikError "裁切参数无效".
CropRect cropRect(std::int64_t width, std::int64_t height, const CropSpec& spec);

/// Writes the cropped cover of `source` as a JPEG to `output`. Throws SorvikError
/// "无法打开图片", "裁切参数无效", "无法创建裁切图片" or "封面写入失败".
void cropImage(const std::filesystem::path& source, const std::filesystem::path& output, const CropSpec& spec);

/// The cropped cover of the open image file as JPEG bytes. Throws SorvikError "无法打开图片",
/// "裁切参数无效", "无法创建裁切图片" or "封面写入失败".
std::string croppedJPEG(int sourceFd, const CropSpec& spec);
/// Writes JPEG bytes to an open file; a failure is "封面写入失败".
void writeCrop(int outputFd, std::string_view jpeg);

inline constexpr const char* manifestFileName = "交付清单.json";
inline constexpr const char* reportFileName = "交付说明.md";

/// Called after each file of the delivery has been written into the temporary folder, with
/// the folder's path and the file's index; from any of the export's threads. A seam for tests.
using FileWritten = std::function<void(const std::filesystem::path& temporaryFolder, std::size_t index)>;

/// Exports the checked delivery as a new package folder inside `destination` (an existing
/// folder outside the library): role folders, "交付清单.json" and "交付说明.md". The package
/// is built in a ".sorvik-" folder beside its final place and moved there, never replacing
/// anything; on any failure nothing is left behind. The ".sorvik-" folders of exports killed
/// earlier, which no process holds any longer, are removed from the destination first. Each
/// original is opened once, never through a link in its place, and everything is written
/// relative to the opened destination, so a folder renamed or replaced meanwhile is never written through. The first
/// failing file in delivery order ends the export and stops the work on later files. Throws
/// SorvikError with the export's messages, passes file-system errors on, and throws
/// CancellationError when `stop` is requested. An original inside one of `sourceFolders` is
/// opened below that folder, never through a link on the way: one that now leads elsewhere
/// fails with "“name”现在指向来源文件夹以外，已拒绝导出。".
ExportReceipt exportDelivery(const Delivery& delivery, const Repository& repository,
                             const std::filesystem::path& destination, bool allowWarnings, std::stop_token stop = {},
                             const FileWritten& fileWritten = {},
                             const std::vector<std::filesystem::path>& sourceFolders = {});

/// Removes from `destination` the ".sorvik-" folders of exports killed earlier, as an export into
/// it does first. Errors are ignored.
void removeAbandonedExports(const std::filesystem::path& destination) noexcept;

/// SHA-256 (64 lower-case hexadecimal digits) of the delivery's name, files and rules in a
/// canonical JSON form. Never fails.
std::string signature(const Delivery& delivery);

/// The report "交付说明.md" of a package.
std::string reportText(const ExportManifest& manifest);

}  // namespace sorvik::DeliveryExporter
