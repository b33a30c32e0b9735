#include "SorvikCore/MediaModule.hpp"

#include <dlfcn.h>

#include "SorvikCore/Models.hpp"

namespace sorvik::media {

void LoadedModule::Close::operator()(void* handle) const noexcept { ::dlclose(handle); }

LoadedModule::LoadedModule(const std::string& file) {
    // Never unloaded: a worker abandoned on a dead mount may still be inside it at exit.
    handle_.reset(::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!handle_) {
        const char* reason = ::dlerror();
        error_ = "无法加载媒体与文字识别组件：" + std::string(reason ? reason : file);
        return;
    }
    ::dlerror();
    const auto* table = static_cast<const Functions*>(::dlsym(handle_.get(), tableSymbol));
    if (!table) {
        const char* reason = ::dlerror();
        error_ = "无法加载媒体与文字识别组件：" + std::string(reason ? reason : file);
    } else if (table->size != sizeof(Functions)) {
        error_ = "媒体与文字识别组件与本程序版本不符：" + file;
    } else {
        functions_ = table;
    }
}

const Functions& LoadedModule::functions() const {
    if (!functions_) throw SorvikError(error_);
    return *functions_;
}

const Functions& functions() {
    static const LoadedModule module(moduleFile);
    return module.functions();
}

PictureScaler::~PictureScaler() {
    // A state exists only once the module was loaded.
    if (state_) functions().freeScaler(state_);
}

bool PictureScaler::toBGRA(const Picture& picture, int width, int height, std::uint8_t* out, int outStride) {
    return functions().scaleToBGRA(state_, picture, width, height, out, outStride);
}

}  // namespace sorvik::media
