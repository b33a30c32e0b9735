#include "Sorvik/Stores/AppTypes.hpp"

#include "SorvikCore/Repository.hpp"

namespace sorvik::app {

std::optional<std::filesystem::path> fileLocation(const DeliveryFile& file, const Repository* repository) {
    if (!repository) return std::nullopt;
    try {
        return repository->fileURL(file);
    } catch (...) {
        return std::nullopt;
    }
}

std::string_view FileFilters::label(FileFilter filter) {
    switch (filter) {
        case FileFilter::all: return "全部";
        case FileFilter::images: return "图片";
        case FileFilter::videos: return "视频";
        case FileFilter::text: return "文档";
    }
    return "全部";
}

std::string AppSheet::identifier() const {
    switch (kind_) {
        case Kind::file: return "file-" + (fileID_ ? fileID_->string() : std::string());
        case Kind::crop: return "crop-" + (fileID_ ? fileID_->string() : std::string());
        case Kind::rename: return "rename";
        case Kind::templ: return "template";
        case Kind::history: return "history";
        case Kind::sources: return "sources";
        case Kind::projectRules: return "projectRules";
        case Kind::delivery: return "delivery";
    }
    return {};
}

}  // namespace sorvik::app
