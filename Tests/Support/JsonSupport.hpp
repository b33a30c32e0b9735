#pragma once
// Records as nlohmann-json documents for tests to inspect or alter, read back by the core's reader.
#include <string_view>

#include "SorvikCore/WorkspaceModels.hpp"

namespace sorvik::test {

/// The record as the core writes it, parsed into a document.
template <typename T>
Json encode(const T& record) {
    return Json::parse(coding::text(record));
}

/// The document's compact text read with the core's reader and `decode`, `root` naming it.
template <typename Decode>
auto decode(const Json& document, Decode decode, std::string_view root) {
    return json::readDocument(document.dump(), root, decode);
}

}  // namespace sorvik::test
