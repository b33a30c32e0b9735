// Fails when a file includes a header of a layer above or beside its own.
//
//   sorvik-layer-check COMPILE_COMMANDS SOURCE_ROOT [QT_INCLUDE_ROOT]
//
// Reads the translation units of COMPILE_COMMANDS (compile_commands.json) and, from each, the
// headers of SOURCE_ROOT/Sources it includes, one after another. The folder of a file under
// Sources/ decides its layer, as in cmake/Layers.cmake; an include's layer is that of the header it
// names, or Qt's module for Qt's headers (looked up in QT_INCLUDE_ROOT when spelt without one).
// Prints each include that crosses a layer the wrong way as "file:line: ..." and exits 1; exits 0
// when none does, 2 when it cannot read its input.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Layer { Core, Media, Agent, Logic, Widgets, QtCore, QtOther };

std::string layerName(Layer layer, const std::string& qtModule = {}) {
    switch (layer) {
        case Layer::Core: return "the core";
        case Layer::Media: return "the media module";
        case Layer::Agent: return "the agent";
        case Layer::Logic: return "the store and view logic";
        case Layer::Widgets: return "the widgets";
        case Layer::QtCore: return "Qt Core";
        case Layer::QtOther: return "Qt (" + qtModule + ")";
    }
    return {};
}

// What each layer of our own may include.
bool mayInclude(Layer from, Layer to) {
    switch (from) {
        case Layer::Core: return to == Layer::Core;
        case Layer::Media: return to == Layer::Core || to == Layer::Media;
        case Layer::Agent: return to == Layer::Core || to == Layer::Agent;
        case Layer::Logic: return to == Layer::Core || to == Layer::Logic || to == Layer::QtCore;
        case Layer::Widgets: return to != Layer::Media && to != Layer::Agent;
        default: return false;
    }
}

// The layer of a path relative to Sources/, by its folder.
std::optional<Layer> layerOfSourcePath(const fs::path& relative) {
    std::vector<std::string> parts;
    for (const auto& part : relative) parts.push_back(part.string());
    if (parts.size() < 2) return std::nullopt;
    if (parts[0] == "SorvikCore") return Layer::Core;
    if (parts[0] == "SorvikMedia" || parts[0] == "SorvikImages") return Layer::Media;
    if (parts[0] == "SorvikAgent") return Layer::Agent;
    if (parts[0] != "Sorvik" || parts.size() < 3) return std::nullopt;
    if (parts[1] == "Stores" || parts[1] == "Support") return Layer::Logic;
    if (parts[1] == "App") return Layer::Widgets;
    if (parts[1] == "Views") return parts.size() > 4 && parts[3] == "Logic" ? Layer::Logic : Layer::Widgets;
    return std::nullopt;
}

struct Include {
    int line = 0;
    bool quoted = false;
    std::string name;
};

// The include directive of a line ("#include <x>" or "# include \"x\""), if it is one.
std::optional<Include> includeOn(std::string_view text) {
    const auto skipSpace = [&text] {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    };
    skipSpace();
    if (!text.starts_with('#')) return std::nullopt;
    text.remove_prefix(1);
    skipSpace();
    if (!text.starts_with("include")) return std::nullopt;
    text.remove_prefix(7);
    skipSpace();
    if (text.empty() || (text.front() != '<' && text.front() != '"')) return std::nullopt;
    const bool quoted = text.front() == '"';
    text.remove_prefix(1);
    const std::size_t end = text.find_first_of(">\"");
    if (end == 0 || end == std::string_view::npos) return std::nullopt;
    return Include{0, quoted, std::string(text.substr(0, end))};
}

std::vector<Include> includesOf(const fs::path& file) {
    std::vector<Include> includes;
    std::ifstream in(file);
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (std::optional<Include> found = includeOn(text)) {
            found->line = line;
            includes.push_back(std::move(*found));
        }
    }
    return includes;
}

class Checker {
public:
    Checker(fs::path root, fs::path qtRoot)
        : root_(std::move(root)), sources_(root_ / "Sources"), qt_(std::move(qtRoot)) {}

    void visit(const fs::path& file) {
        const fs::path normal = file.lexically_normal();
        if (!seen_.insert(normal).second) return;
        pending_.push_back(normal);
    }

    int run() {
        while (!pending_.empty()) {
            const fs::path file = pending_.back();
            pending_.pop_back();
            check(file);
        }
        return crossings_;
    }

    std::size_t files() const { return seen_.size(); }

private:
    std::optional<Layer> layerOf(const fs::path& file) const {
        const fs::path relative = file.lexically_relative(sources_);
        if (relative.empty() || *relative.begin() == "..") return std::nullopt;
        return layerOfSourcePath(relative);
    }

    // A Qt header's module: from its folder, else the folder of the root that holds it.
    std::optional<std::string> qtModuleOf(const std::string& name) const {
        if (const std::size_t slash = name.find('/');
            name.starts_with("Qt") && slash != std::string::npos && slash > 2 &&
            std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(slash),
                        [](unsigned char c) { return std::isalnum(c) != 0; }))
            return name.substr(0, slash);
        if (qt_.empty() || name.find('/') != std::string::npos || name.empty() || (name[0] != 'Q' && name[0] != 'q'))
            return std::nullopt;
        std::error_code error;
        if (fs::exists(qt_ / "QtCore" / name, error)) return std::string("QtCore");
        for (const auto& entry : fs::directory_iterator(qt_, error)) {
            const std::string module = entry.path().filename().string();
            if (module.rfind("Qt", 0) == 0 && fs::exists(entry.path() / name, error)) return module;
        }
        return std::nullopt;
    }

    void check(const fs::path& file) {
        const std::optional<Layer> from = layerOf(file);
        for (const Include& include : includesOf(file)) {
            std::optional<Layer> to;
            std::string module;
            std::optional<fs::path> header;
            std::error_code error;
            if (include.quoted && fs::exists(file.parent_path() / include.name, error)) {
                header = (file.parent_path() / include.name).lexically_normal();
                to = layerOf(*header);
            } else if (const auto layer = layerOfSourcePath(fs::path(include.name).lexically_normal())) {
                to = layer;
                if (fs::exists(sources_ / include.name, error)) header = (sources_ / include.name).lexically_normal();
            } else if (const auto qtModule = qtModuleOf(include.name)) {
                module = *qtModule;
                to = module == "QtCore" ? Layer::QtCore : Layer::QtOther;
            }
            if (header) visit(*header);
            if (!from || !to || mayInclude(*from, *to)) continue;
            ++crossings_;
            std::cout << file.lexically_relative(root_).string() << ':' << include.line << ": " << layerName(*from)
                      << " includes " << layerName(*to, module) << ": " << (include.quoted ? '"' : '<') << include.name
                      << (include.quoted ? '"' : '>') << '\n';
        }
    }

    fs::path root_;
    fs::path sources_;
    fs::path qt_;
    std::set<fs::path> seen_;
    std::vector<fs::path> pending_;
    int crossings_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: sorvik-layer-check COMPILE_COMMANDS SOURCE_ROOT [QT_INCLUDE_ROOT]\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    nlohmann::json commands;
    try {
        commands = nlohmann::json::parse(in);
    } catch (const std::exception& error) {
        std::cerr << argv[1] << ": " << error.what() << '\n';
        return 2;
    }
    if (!commands.is_array() || commands.empty()) {
        std::cerr << argv[1] << ": no translation units\n";
        return 2;
    }
    const fs::path root = fs::absolute(argv[2]).lexically_normal();
    Checker checker(root, argc == 4 ? fs::path(argv[3]) : fs::path());
    for (const auto& command : commands) {
        fs::path file = command.value("file", "");
        if (file.is_relative()) file = fs::path(command.value("directory", "")) / file;
        std::error_code error;
        // Files the build generates (moc's) exist only once built: only a missing source is an error.
        const fs::path relative = file.lexically_normal().lexically_relative(root / "Sources");
        if (!fs::exists(file, error) && (relative.empty() || *relative.begin() == "..")) continue;
        if (!fs::is_regular_file(file, error)) {
            std::cerr << argv[1] << ": cannot read " << file.string() << '\n';
            return 2;
        }
        checker.visit(file);
    }
    const int crossings = checker.run();
    if (crossings > 0) {
        std::cout << crossings << (crossings == 1 ? " include crosses" : " includes cross")
                  << " a layer the wrong way\n";
        return 1;
    }
    std::cout << checker.files() << " files checked: no include crosses a layer the wrong way\n";
    return 0;
}
