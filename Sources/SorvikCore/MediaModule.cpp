#include "SorvikCore/MediaModule.hpp"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <atomic>
#include <mutex>

namespace sorvik::media {

std::string locate(const std::string& file) {
    if (file.find('/') != std::string::npos) return file;
    void* program = ::dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
    if (!program) return file;
    Dl_serinfo size{};
    if (::dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0 || size.dls_size < sizeof(Dl_serinfo)) return file;
    std::vector<Dl_serinfo> storage(size.dls_size / sizeof(Dl_serinfo) + 1);
    Dl_serinfo* info = storage.data();
    *info = size;
    if (::dlinfo(program, RTLD_DI_SERINFOSIZE, info) != 0 || ::dlinfo(program, RTLD_DI_SERINFO, info) != 0) return file;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        const char* folder = info->dls_serpath[i].dls_name;
        if (!folder || !*folder) continue;
        const std::string candidate = std::string(folder) + "/" + file;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
    }
    return file;
}

namespace {

/// The process's module: the file it is loaded from, the table once loaded, the last failure.
/// Never destroyed: a worker abandoned on a dead mount may still use it at exit.
struct ProcessModule {
    std::mutex mutex;
    std::string file = moduleFile;
    std::atomic<const Functions*> current{nullptr};
    std::atomic<const Functions*> last{nullptr};
    std::optional<ModuleUnavailable> failure;
    std::chrono::steady_clock::time_point failedAt;
    std::vector<std::unique_ptr<LoadedModule>> loaded;
};

ProcessModule& processModule() {
    static ProcessModule* const module = new ProcessModule;
    return *module;
}

}  // namespace

ModuleUnavailable::ModuleUnavailable(std::string message, std::string reason)
    : SorvikError(std::move(message)), reason_(std::move(reason)) {}

void LoadedModule::Close::operator()(void* handle) const noexcept { ::dlclose(handle); }

LoadedModule::LoadedModule(const std::string& file) {
    // Never unloaded: a worker abandoned on a dead mount may still be inside it at exit.
    handle_.reset(::dlopen(locate(file).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!handle_) {
        const char* reason = ::dlerror();
        reason_ = reason ? reason : file;
        error_ = std::string(cannotLoadMessage) + reason_;
        return;
    }
    ::dlerror();
    const auto* table = static_cast<const Functions*>(::dlsym(handle_.get(), tableSymbol));
    if (!table) {
        const char* reason = ::dlerror();
        reason_ = reason ? reason : file;
        error_ = std::string(cannotLoadMessage) + reason_;
    } else if (table->size != sizeof(Functions)) {
        error_ = std::string(mismatchMessage) + file;
        reason_ = error_;
    } else {
        functions_ = table;
    }
}

const Functions& LoadedModule::functions() const {
    if (!functions_) throw ModuleUnavailable(error_, reason_);
    return *functions_;
}

const Functions& functions() {
    ProcessModule& module = processModule();
    if (const Functions* table = module.current.load(std::memory_order_acquire)) return *table;
    const std::lock_guard lock(module.mutex);
    if (const Functions* table = module.current.load(std::memory_order_acquire)) return *table;
    const auto now = std::chrono::steady_clock::now();
    if (!module.failure || now - module.failedAt >= retryInterval) {
        auto loaded = std::make_unique<LoadedModule>(module.file);
        try {
            const Functions& table = loaded->functions();
            module.loaded.push_back(std::move(loaded));
            module.failure.reset();
            module.last.store(&table, std::memory_order_release);
            module.current.store(&table, std::memory_order_release);
            return table;
        } catch (const ModuleUnavailable& failure) {
            module.failure = failure;
            module.failedAt = now;
        }
    }
    throw *module.failure;
}

const Functions* loadedFunctions() noexcept { return processModule().last.load(std::memory_order_acquire); }

std::optional<std::string> loadFailure() {
    ProcessModule& module = processModule();
    const std::lock_guard lock(module.mutex);
    if (module.current.load(std::memory_order_acquire) || !module.failure) return std::nullopt;
    return module.failure->reason();
}

void useModuleFile(const std::string& file) {
    ProcessModule& module = processModule();
    const std::lock_guard lock(module.mutex);
    module.file = file;
    module.current.store(nullptr, std::memory_order_release);
    module.failure.reset();
}

PictureScaler::~PictureScaler() {
    // A state exists only once a module was loaded.
    if (state_) loadedFunctions()->freeScaler(state_);
}

bool PictureScaler::toBGRA(const Picture& picture, int width, int height, std::uint8_t* out, int outStride) {
    return functions().scaleToBGRA(state_, picture, width, height, out, outStride);
}

}  // namespace sorvik::media
