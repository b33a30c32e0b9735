#include "Sorvik/App/Screenshot.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <functional>

#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Views/Window/ContentView.hpp"
#include "Sorvik/Views/Thumbnails/FileThumbnail.hpp"

namespace sorvik::app {

namespace {

/// Runs the event loop until `done` holds or the deadline passes.
bool waitFor(const std::function<bool()>& done, const QElapsedTimer& clock, std::chrono::milliseconds patience) {
    while (!done()) {
        if (clock.elapsed() > patience.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

}  // namespace

QString writeScreenshot(SorvikApp& app, const QString& file, QSize size, std::chrono::milliseconds patience) {
    AppStore& store = app.store();
    MainWindow& window = app.mainWindow();
    window.resize(size);
    app.showMainWindow();
    QElapsedTimer clock;
    clock.start();
    store.loadRudidEdevov();
    if (store.error()) return QString::fromStdString(*store.error());
    if (!waitFor([&] { return !store.isBusy(); }, clock, patience))
        return QStringLiteral("the sample's scan did not end in time");
    if (store.error()) return QString::fromStdString(*store.error());
    if (store.deliveries().empty()) return QStringLiteral("the sample made no project");
    // The cards' pictures decode on their own threads; a few turns let them land.
    if (!waitFor([&] { return !window.content()->thumbnails().hasWork(); }, clock, patience)) {
        return QStringLiteral("the pictures did not load in time");
    }
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    window.resize(size);
    const QImage picture = window.grab().toImage();
    if (picture.size() != size) return QStringLiteral("the window is %1x%2").arg(picture.width()).arg(picture.height());
    if (!picture.save(file, "PNG")) return QStringLiteral("cannot write ") + file;
    return {};
}

}  // namespace sorvik::app
