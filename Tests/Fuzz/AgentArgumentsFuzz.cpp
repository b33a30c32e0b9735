// The agent's argument grammar and identifier parsing: arguments are NUL-separated input.
#include <cctype>

#include "Fuzz/FuzzSupport.hpp"
#include "SorvikAgent/Agent.hpp"

using namespace sorvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    std::string current;
    for (char c : fuzz::text(data, size)) {
        if (c == '\0') {
            args.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) args.push_back(current);

    const auto invocation = agent::parseArguments(args, "/default/library");
    fuzz::require(invocation.library.is_absolute() || !invocation.library.empty());
    const auto& a = invocation.args;
    const bool consumed = args.size() >= 2 && args[0] == "--data-dir";
    fuzz::require(a.size() == args.size() - (consumed ? 2 : 0));
    switch (invocation.command) {
        case agent::Command::usage: fuzz::require(a.empty()); break;
        case agent::Command::verify: fuzz::require(a[0] == "verify" && (a.size() == 2 || a.size() == 3)); break;
        case agent::Command::projects: fuzz::require(a.size() == 1); break;
        case agent::Command::project: fuzz::require(a.size() == 2); break;
        case agent::Command::prepare: fuzz::require(a.size() == 4); break;
        case agent::Command::invalid: fuzz::require(!a.empty()); break;
    }
    for (const auto& arg : args) {
        try {
            const UUID id = agent::uuid(arg);
            std::string upper = arg;
            for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            fuzz::require(id.string() == upper);
        } catch (const SorvikError& e) {
            fuzz::require(e.errorDescription() == "无效 UUID：" + arg);
        }
    }
    return 0;
}
