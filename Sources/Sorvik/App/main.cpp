// Starts the desktop app on the library chosen by "--data-dir", SORVIK_DATA_DIR or the default.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "Sorvik/App/QuitSignals.hpp"
#include "Sorvik/App/Screenshot.hpp"
#include "SorvikCore/FolderIndexer.hpp"
#include "Sorvik/App/SingleInstance.hpp"
#include "Sorvik/App/SorvikApp.hpp"
#include "Sorvik/Stores/LibraryPreload.hpp"
#include "Sorvik/Support/Strings.hpp"
#include "Sorvik/Views/FileDetail/PreviewWarmUp.hpp"

namespace {

/// Preferences in ~/.config/Sorvik/Sorvik.conf.
class SettingsStorage final : public sorvik::app::PreferenceStorage {
public:
    QString string(const QString& key, const QString& fallback) const override {
        return settings_.value(key, fallback).toString();
    }
    bool boolean(const QString& key, bool fallback) const override { return settings_.value(key, fallback).toBool(); }
    // Written at once: the process may leave without running destructors.
    void setString(const QString& key, const QString& value) override {
        settings_.setValue(key, value);
        settings_.sync();
    }
    void setBoolean(const QString& key, bool value) override {
        settings_.setValue(key, value);
        settings_.sync();
    }

private:
    QSettings settings_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace sorvik::app;
    // The timer rescans the whole index every 30 seconds.
    sorvik::FolderIndexer::keepLargeBlocksInHeap();
    // The library is chosen from the raw argument bytes, before Qt takes its own options.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    LibraryChoice library = chooseLibrary(arguments);
    // Read while Qt starts and the window is built; used only if unchanged once the lock is held.
    if (library.folder) library.preload = std::make_shared<LibraryPreload>(*library.folder);
    // Leaving before the store took the reading: without waiting for it to end.
    const auto leave = [&library](int status) {
        if (library.preload && !library.preload->finished()) {
            std::fflush(nullptr);
            ::_exit(status);
        }
        return status;
    };

    // The player's GStreamer back end applies a clip's rotation; the FFmpeg one shows portrait clips
    // sideways. Qt reads the choice when it first plays something.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Sorvik"));
    QApplication::setApplicationName(QStringLiteral("Sorvik"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sorvik"));
    QApplication::setApplicationVersion(QStringLiteral(SORVIK_APP_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.sorvik.Sorvik"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/sorvik/app/sorvik.svg")));
    // Until the app is up a signal waits in the pipe; it quits as soon as the event loop runs.
    QuitSignals quitSignals;

    std::unique_ptr<SingleInstance> instance;
    if (library.folder) {
        instance = std::make_unique<SingleInstance>(*library.folder);
        switch (instance->acquire()) {
            case SingleInstance::Outcome::shown: return leave(0);
            case SingleInstance::Outcome::refused: {
                const QString message = Lq("Sorvik 已在使用这个资料库。");
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
                // A signal closes the box (every event loop ends) and the process leaves.
                QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app, [] { QCoreApplication::exit(1); });
                QMessageBox::warning(nullptr, QStringLiteral("Sorvik"), message);
                return leave(1);
            }
            case SingleInstance::Outcome::notAnswering:
                // Neither read nor written: the window says so, and Quit ends the app at once.
                library.answers = false;
                std::fprintf(
                    stderr, "%s\n",
                    sorvik::L("资料库“{0}”没有响应，所在的磁盘或网络位置可能不可用。", {library.folder->string()})
                        .c_str());
                break;
            case SingleInstance::Outcome::unavailable:
                // Without the lock another process may write it too: read, never written.
                library.lockFailure = instance->failure();
                std::fprintf(
                    stderr, "%s\n",
                    sorvik::L("无法独占使用这个资料库：{0}\n为免两个程序同时写入，本次只读打开，所做的更改不会保存。",
                              {library.lockFailure})
                        .c_str());
                break;
            case SingleInstance::Outcome::first: library.guard = instance->guard(); break;
        }
    }

    const QString binDir = QCoreApplication::applicationDirPath();
    AppLocations locations;
    const QString share = QDir(binDir).absoluteFilePath(QStringLiteral(SORVIK_DATA_FROM_BIN));
    if (QDir(share).exists()) locations.resources = pathFromText(QDir::cleanPath(share));
    locations.agent = pathFromText(QDir(binDir).absoluteFilePath(QStringLiteral("sorvik-agent")));

    SorvikApp sorvik(app, library, std::make_unique<SettingsStorage>(), std::move(locations));
    if (instance)
        QObject::connect(instance.get(), &SingleInstance::activationRequested, &sorvik, &SorvikApp::showMainWindow);
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &sorvik, &SorvikApp::quitOnSignal);
    int status = 0;
    // "--screenshot FILE": the README's picture of the window with the sample (scripts/screenshot.sh).
    const auto shot = std::find(arguments.begin(), arguments.end(), std::string("--screenshot"));
    if (shot != arguments.end() && shot + 1 != arguments.end()) {
        const QString failure =
            writeScreenshot(sorvik, QString::fromStdString(*(shot + 1)), QSize(1180, 800), std::chrono::minutes(2));
        if (!failure.isEmpty()) std::fprintf(stderr, "screenshot: %s\n", failure.toLocal8Bit().constData());
        status = failure.isEmpty() ? 0 : 1;
        sorvik.quitOnSignal();
    } else {
        sorvik.showMainWindow();
        // Once the window is up, what the first preview would make is made ahead of it.
        PreviewWarmUp warmUp;
        QTimer::singleShot(0, &warmUp, [&warmUp] { warmUp.start(); });
        status = app.exec();
    }
    // The store has saved and stopped its work by now. A thread still running (stuck in the kernel
    // on a dead mount, or in a long decode) is never joined: the process leaves without the
    // destructors that would wait for it.
    if (!sorvik.backgroundWorkEnded(std::chrono::milliseconds(500)) ||
        (library.preload && !library.preload->finished())) {
        instance.reset();
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
