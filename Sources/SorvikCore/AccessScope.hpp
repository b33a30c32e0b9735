#pragma once
// Security-scoped access to files. This platform has no sandbox behind it: starting access
// is always granted and stopping does nothing, but every access started is stopped again.
#include <filesystem>
#include <utility>
#include <vector>

namespace sorvik {

/// The accesses opened for one piece of work, stopped in the order they were granted when
/// the object goes away, on every way out.
class AccessScopes {
public:
    AccessScopes() = default;
    AccessScopes(const AccessScopes&) = delete;
    AccessScopes& operator=(const AccessScopes&) = delete;
    ~AccessScopes() { stopAll(); }

    /// Starts access to `url`; remembers it when access was granted.
    bool start(std::filesystem::path url) {
        if (!startAccessing(url)) return false;
        granted_.push_back(std::move(url));
        return true;
    }
    void stopAll() noexcept {
        for (const auto& url : granted_) stopAccessing(url);
        granted_.clear();
    }
    const std::vector<std::filesystem::path>& granted() const { return granted_; }

private:
    static bool startAccessing(const std::filesystem::path&) { return true; }
    static void stopAccessing(const std::filesystem::path&) noexcept {}

    std::vector<std::filesystem::path> granted_;
};

}  // namespace sorvik
