#pragma once
// The main window's content over a store on a real library, for tests of the sheets it routes.
// Header only: it needs the widgets, which only the widget tests link.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <memory>

#include "App/Support/ProjectLibrary.hpp"
#include "App/Support/StoreHarness.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "SorvikCore/Exporter.hpp"
#include "SorvikCore/Images.hpp"
#include "SorvikCore/Localization.hpp"
#include "SorvikCore/Repository.hpp"

namespace sorvik::test {

class SheetFixture {
public:
    /// A library holding one project of `originals` (see writeProjectLibrary), shown in English.
    explicit SheetFixture(const std::vector<std::filesystem::path>& originals,
                          const DeliveryTemplate& rules = DeliveryTemplate::flexible(),
                          const std::function<void(DeliveryFile&)>& adjust = {}, const char* language = "en")
        : files(writeProjectLibrary(library.path(), originals, rules, adjust)),
          harness(std::make_unique<StoreHarness>(library.path())) {
        harness->preferences().setLanguage(QString::fromUtf8(language));
        view = std::make_unique<app::ContentView>(harness->store());
        view->resize(1180, 800);
        view->show();
        QApplication::processEvents();
    }
    ~SheetFixture() {
        view.reset();
        harness.reset();
    }
    SheetFixture(const SheetFixture&) = delete;
    SheetFixture& operator=(const SheetFixture&) = delete;

    app::AppStore& store() { return harness->store(); }
    /// Opens the sheet and returns its content as T (null when it is something else).
    template <class T>
    T* open(const app::AppSheet& sheet) {
        store().setSheet(sheet);
        QApplication::processEvents();
        return shown<T>();
    }
    template <class T>
    T* shown() {
        app::SheetDialog* dialog = view->sheetDialog();
        return dialog ? qobject_cast<T*>(dialog->content()) : nullptr;
    }
    /// The file as the library on disk holds it in the project.
    DeliveryFile stored(const UUID& id) const;

    TempDir library;
    std::vector<DeliveryFile> files;
    std::unique_ptr<StoreHarness> harness;
    std::unique_ptr<app::ContentView> view;
};

inline DeliveryFile SheetFixture::stored(const UUID& id) const {
    for (const Delivery& d : Repository(library.path()).loadWorkspace().projects)
        for (const DeliveryFile& f : d.files)
            if (f.id == id) return f;
    ADD_FAILURE() << "file not stored";
    return {};
}

/// A suite whose media are made once by shell commands in a folder of their own and copied into each
/// test's folders.
class MediaSuite : public ::testing::Test {
protected:
    static void makeMedia(const std::string& commands) {
        media_ = std::make_unique<TempDir>();
        shell("cd '" + media_->path().string() + "' && " + commands);
    }
    static void TearDownTestSuite() { media_.reset(); }
    static std::filesystem::path copyMedia(const std::string& name, const TempDir& into) {
        std::filesystem::copy_file(media_->path() / name, into / name);
        return into / name;
    }
    static inline std::unique_ptr<TempDir> media_;
};

/// The English text of a catalogue key.
inline QString english(const char* key) { return QString::fromStdString(L(InLanguage{"en"}, key)); }

/// The mean brightness in a small square around a point given as fractions of the image's size.
inline double brightnessAt(const QImage& image, double fx, double fy) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const int cx = static_cast<int>(fx * (grey.width() - 1));
    const int cy = static_cast<int>(fy * (grey.height() - 1));
    double sum = 0;
    int n = 0;
    for (int y = std::max(0, cy - 1); y <= std::min(grey.height() - 1, cy + 1); ++y)
        for (int x = std::max(0, cx - 1); x <= std::min(grey.width() - 1, cx + 1); ++x) {
            sum += grey.constScanLine(y)[x];
            ++n;
        }
    return n ? sum / n : -1;
}

inline double brightnessAt(const images::Pixels& p, double fx, double fy) {
    const int cx = static_cast<int>(fx * (p.width - 1));
    const int cy = static_cast<int>(fy * (p.height - 1));
    double sum = 0;
    int n = 0;
    for (int y = std::max(0, cy - 1); y <= std::min(p.height - 1, cy + 1); ++y)
        for (int x = std::max(0, cx - 1); x <= std::min(p.width - 1, cx + 1); ++x) {
            sum += p.data[static_cast<std::size_t>((y * p.width + x) * p.bands)];
            ++n;
        }
    return n ? sum / n : -1;
}

/// Exports the library's first project into `destination` (warnings allowed); the cover's path.
inline std::filesystem::path exportCover(const std::filesystem::path& library,
                                         const std::filesystem::path& destination) {
    const Repository repository(library);
    const Delivery project = repository.loadWorkspace().projects.at(0);
    const ExportReceipt receipt = DeliveryExporter::exportDelivery(project, repository, destination, true);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(receipt.path)) {
        if (entry.is_regular_file() && entry.path().parent_path().filename() == "02_封面") return entry.path();
    }
    ADD_FAILURE() << "no cover exported";
    return {};
}

}  // namespace sorvik::test
