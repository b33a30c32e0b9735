#include "SorvikCore/MediaModule.hpp"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include "SorvikCore/Models.hpp"

namespace sorvik::media {

namespace {

/// The file a bare name stands for in the program's own library search path (its run path
/// first), or the name itself when none holds it. dlopen would search the run path of the
/// object that calls it, which is a sanitizer's runtime when that intercepts dlopen.
std::string locate(const std::string& file) {
    if (file.find('/') != std::string::npos) return file;
    void* program = ::dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
    if (!program) return file;
    Dl_serinfo size{};
    if (::dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0 || size.dls_size < sizeof(Dl_serinfo)) return file;
    std::vector<Dl_serinfo> storage(size.dls_size / sizeof(Dl_serinfo) + 1);
    Dl_serinfo* info = storage.data();
    *info = size;
    if (::dlinfo(program, RTLD_DI_SERINFOSIZE, info) != 0 || ::dlinfo(program, RTLD_DI_SERINFO, info) != 0)
        return file;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        const char* folder = info->dls_serpath[i].dls_name;
        if (!folder || !*folder) continue;
        const std::string candidate = std::string(folder) + "/" + file;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
    }
    return file;
}

}  // namespace

void LoadedModule::Close::operator()(void* handle) const noexcept { ::dlclose(handle); }

LoadedModule::LoadedModule(const std::string& file) {
    // Never unloaded: a worker abandoned on a dead mount may still be inside it at exit.
    handle_.reset(::dlopen(locate(file).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
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
