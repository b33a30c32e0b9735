// "workspace.json": reading never crashes and agrees with the former reader; what it reads is
// written byte for byte as before and reads back the same. Read in pieces through a small
// window, it gives the same records or the same error.
#include <algorithm>
#include <cstring>

#include "Fuzz/JsonFuzzSupport.hpp"
#include "Reference/ReferenceCoding.hpp"
#include "SorvikCore/JsonPieces.hpp"

using namespace sorvik;

namespace {
std::string readAndWrite(const std::string& text) {
    return coding::text(json::readDocument(text, "workspace.json", coding::decodeWorkspaceState));
}

std::string readInPieces(const std::string& text, std::size_t window, std::size_t chunk) {
    std::size_t at = 0;
    const auto read = [&](char* into, std::size_t room) {
        const std::size_t n = std::min({room, chunk, text.size() - at});
        std::memcpy(into, text.data() + at, n);
        at += n;
        return n;
    };
    return coding::text(json::readDocumentInPieces(read, "workspace.json", coding::decodeWorkspaceState, window));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::text(data, size));
    const auto read = fuzz::requireSameOutcome(
        text, readAndWrite, [](const std::string& t) { return reference::workspaceText(reference::readWorkspace(t)); });
    // The window's size and the reads' lengths come from the input's own bytes.
    const std::size_t window = 64 + (size > 0 ? data[0] : 0), chunk = 1 + (size > 1 ? data[size / 2] : 255);
    const auto pieces = reference::outcome([&] { return readInPieces(text, window, chunk); });
    fuzz::require(pieces.ok == read.ok && pieces.syntax == read.syntax, "reading in pieces gives the same outcome");
    fuzz::require(pieces.syntax || pieces.text == read.text, "reading in pieces gives the same records or error");
    if (read.ok) {
        fuzz::check("writing and reading back", [&] {
            fuzz::require(readAndWrite(read.text) == read.text, "the written text reads back to itself");
        });
    }
    return 0;
}
