#pragma once
// A library folder on disk holding one project built from real originals, for tests of the views
// that edit project files.
#include <filesystem>
#include <functional>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::test {

/// Links `originals` (real files, inspected) as the assets of one project named "交付" with these
/// rules and writes the library's "workspace.json"; `adjust` may change each file record first.
/// Returns the project's files in the order given.
std::vector<DeliveryFile> writeProjectLibrary(const std::filesystem::path& library,
                                              const std::vector<std::filesystem::path>& originals,
                                              const DeliveryTemplate& rules = DeliveryTemplate::flexible(),
                                              const std::function<void(DeliveryFile&)>& adjust = {});

}  // namespace sorvik::test
