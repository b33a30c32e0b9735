#pragma once
// Inspection of one file into a delivery file record.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/Models.hpp"

namespace sorvik::FileInspector {

/// Editable texts larger than this are not read.
inline constexpr std::uint64_t maxTextBytes = 5'242'880;

using ExtensionSet = std::set<std::string, std::less<>>;

/// Lower-case extensions (without the dot) the library indexes, links and imports.
const ExtensionSet& supported();
/// Lower-case extensions whose content is read into the record's text.
const ExtensionSet& editableTextExtensions();

/// Lower-cased extension of the last path component; empty when there is none
/// (a leading dot alone is no extension).
std::string pathExtension(const std::filesystem::path& path);

/// The role of a file by its extension; touches no file.
FileRole role(const std::filesystem::path& path);

/// SHA-256 of the file's whole content as 64 lower-case hexadecimal digits.
/// Throws std::system_error; CancellationError when `stop` is requested.
std::string hash(const std::filesystem::path& path, std::stop_token stop = {});

/// Whether the record is of a video that could not be read because the media module could not
/// be loaded: nothing is known of the file itself until it is inspected again.
bool awaitsMediaModule(const DeliveryFile& file);

/// Inspects one regular file (not a link) into a record with a fresh identifier. Problems of the
/// content are recorded in inspectionError; reaching the file fails with std::system_error or
/// SorvikError("只支持普通文件：" + last path component). `stop` is honoured while hashing,
/// decoding an image and probing a video (CancellationError).
DeliveryFile inspect(const std::filesystem::path& path, const std::string& relativePath,
                     const std::optional<std::string>& displayName, bool fingerprint, std::stop_token stop = {});

/// inspect of the entry `name` of the open folder `folder` (AT_FDCWD: `name` is a path), opened
/// there once; `path` names the file (its role and name) and errors.
DeliveryFile inspectAt(int folder, const std::string& name, const std::filesystem::path& path,
                       const std::string& relativePath, const std::optional<std::string>& displayName, bool fingerprint,
                       std::stop_token stop = {});

/// Opens a file for inspection, once: never through a link in its place and never blocking on
/// a FIFO or device; `info` receives its status. Throws as inspect does.
files::FileDescriptor open(const std::filesystem::path& path, struct stat& info);

/// inspect of a file already open as `fd` with the status `info` (as open gives them): it is
/// read only through that descriptor. `path` names the file (its role and name) and errors.
DeliveryFile inspect(int fd, const struct stat& info, const std::filesystem::path& path,
                     const std::string& relativePath, const std::optional<std::string>& displayName, bool fingerprint,
                     std::stop_token stop = {});

}  // namespace sorvik::FileInspector
