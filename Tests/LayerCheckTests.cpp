// The layers' check (Tests/Tools/LayerCheck.cpp) on small source trees: it fails on an include from
// a layer above or beside, naming the file, the line and both layers, and passes a clean tree.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "Support/TestSupport.hpp"

using namespace sorvik::test;

namespace {

// A source tree under a temporary folder, its compile_commands.json naming the translation units,
// and a stand-in for Qt's include folder.
class Tree {
public:
    Tree() {
        writeFile(dir_ / "qt/QtCore/QString", "");
        writeFile(dir_ / "qt/QtGui/QColor", "");
    }

    void source(const std::string& path, const std::vector<std::string>& includes, bool unit = true) {
        std::string text = "// " + path + "\n";
        for (const auto& include : includes) text += "#include " + include + "\n";
        writeFile(dir_ / path, text);
        if (unit) units_.push_back(path);
    }

    ProcessResult check() {
        nlohmann::json commands = nlohmann::json::array();
        for (const auto& unit : units_)
            commands.push_back({{"directory", (dir_ / "build").string()},
                                {"command", "c++ -c " + (dir_ / unit).string()},
                                {"file", (dir_ / unit).string()}});
        writeFile(dir_ / "build/compile_commands.json", commands.dump());
        return runProcess(SORVIK_LAYER_CHECK_PATH, {(dir_ / "build/compile_commands.json").string(),
                                                    dir_.path().string(), (dir_ / "qt").string()});
    }

private:
    TempDir dir_;
    std::vector<std::string> units_;
};

void addCleanTree(Tree& tree) {
    tree.source("Sources/SorvikCore/Models.hpp", {"<string>"}, false);
    tree.source("Sources/SorvikCore/Models.cpp", {"\"SorvikCore/Models.hpp\"", "<vector>"});
    tree.source("Sources/SorvikMedia/Module.cpp", {"\"SorvikCore/Models.hpp\""});
    tree.source("Sources/SorvikAgent/Agent.cpp", {"\"SorvikCore/Models.hpp\""});
    tree.source("Sources/Sorvik/Stores/AppStore.hpp", {"\"SorvikCore/Models.hpp\"", "<QtCore/QObject>"}, false);
    tree.source("Sources/Sorvik/Views/Kit/Logic/RowDiff.hpp", {"<QString>"}, false);
    tree.source("Sources/Sorvik/Stores/AppStore.cpp",
                {"\"Sorvik/Stores/AppStore.hpp\"", "\"Sorvik/Views/Kit/Logic/RowDiff.hpp\""});
    tree.source("Sources/Sorvik/Views/Kit/Metrics.hpp", {"<QColor>", "<QtGui/QFont>"}, false);
    tree.source("Sources/Sorvik/App/MainWindow.cpp",
                {"\"Sorvik/Views/Kit/Metrics.hpp\"", "\"Sorvik/Stores/AppStore.hpp\"", "<QtWidgets/QWidget>"});
    tree.source("Tests/StoreTests.cpp", {"\"Sorvik/Stores/AppStore.hpp\"", "<gtest/gtest.h>"});
}

TEST(LayerCheck, PassesIncludesOfOwnAndLowerLayers) {
    Tree tree;
    addCleanTree(tree);
    const ProcessResult result = tree.check();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("no include crosses a layer the wrong way"), std::string::npos) << result.out;
}

TEST(LayerCheck, FailsOnPlantedUpwardInclude) {
    Tree tree;
    addCleanTree(tree);
    tree.source("Sources/SorvikCore/Planted.cpp", {"<string>", "\"Sorvik/Stores/AppStore.hpp\""});
    const ProcessResult result = tree.check();
    std::cout << result.out;
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.out.find("Sources/SorvikCore/Planted.cpp:3: the core includes the store and view logic: "
                              "\"Sorvik/Stores/AppStore.hpp\""),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("1 include crosses a layer the wrong way"), std::string::npos) << result.out;
}

TEST(LayerCheck, FailsOnCrossingsInHeadersSidewaysAndIntoQt) {
    Tree tree;
    addCleanTree(tree);
    // Reached only through a test's translation unit and another header.
    tree.source("Sources/Sorvik/Stores/Selection.hpp",
                {"\"SorvikCore/Models.hpp\"", "\"Sorvik/Views/Kit/Metrics.hpp\""}, false);
    tree.source("Sources/Sorvik/Stores/Held.hpp", {"\"Sorvik/Stores/Selection.hpp\""}, false);
    tree.source("Tests/SelectionTests.cpp", {"\"Sorvik/Stores/Held.hpp\""});
    tree.source("Sources/SorvikAgent/Video.cpp", {"\"SorvikMedia/MediaParts.hpp\""});
    tree.source("Sources/Sorvik/Views/Crop/Logic/CropLogic.cpp", {"<QColor>", "<QtCore/QRect>"});
    tree.source("Sources/SorvikCore/Text.cpp", {"<QString>"});
    const ProcessResult result = tree.check();
    EXPECT_EQ(result.status, 1) << result.err;
    for (const std::string expected : {
             "Sources/Sorvik/Stores/Selection.hpp:3: the store and view logic includes the widgets: "
             "\"Sorvik/Views/Kit/Metrics.hpp\"",
             "Sources/SorvikAgent/Video.cpp:2: the agent includes the media module: \"SorvikMedia/MediaParts.hpp\"",
             "Sources/Sorvik/Views/Crop/Logic/CropLogic.cpp:2: the store and view logic includes Qt (QtGui): <QColor>",
             "Sources/SorvikCore/Text.cpp:2: the core includes Qt Core: <QString>",
             "4 includes cross a layer the wrong way",
         })
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
}

TEST(LayerCheck, RefusesATranslationUnitItCannotRead) {
    TempDir other;
    writeFile(other / "compile_commands.json", R"([{"directory": "/", "command": "c++", "file": ")" +
                                                   (other / "Sources/SorvikCore/Gone.cpp").string() + "\"}]");
    const ProcessResult result =
        runProcess(SORVIK_LAYER_CHECK_PATH, {(other / "compile_commands.json").string(), other.path().string()});
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_NE(result.err.find("cannot read"), std::string::npos) << result.err;
}

}  // namespace
