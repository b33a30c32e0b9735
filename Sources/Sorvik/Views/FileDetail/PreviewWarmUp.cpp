#include "Sorvik/Views/FileDetail/PreviewWarmUp.hpp"

#include <dlfcn.h>

#include <QAudioDevice>
#include <QCameraDevice>
#include <QDir>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QImage>
#include <QPainter>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QVideoSink>
#include <QTimer>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "SorvikCore/Images.hpp"
#include "SorvikCore/MediaModule.hpp"
#include "Sorvik/Views/FileDetail/VideoPlayerView.hpp"
#include "Sorvik/Views/Kit/Metrics.hpp"
#include "Sorvik/Views/Kit/Theme.hpp"

namespace sorvik::app {

namespace {

/// GStreamer initialised and the plugins of the elements the player builds loaded, through the
/// library Qt's back end links (a few C functions, so no headers are needed). Qt's own
/// initialisation then finds it done. Anything missing is skipped: the player loads it later.
void loadGStreamer() {
    void* library = ::dlopen("libgstreamer-1.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) return;
    using Init = int (*)(int*, char***, void**);
    using Find = void* (*)(const char*);
    using Load = void* (*)(void*);
    using Unref = void (*)(void*);
    const auto init = reinterpret_cast<Init>(::dlsym(library, "gst_init_check"));
    const auto find = reinterpret_cast<Find>(::dlsym(library, "gst_element_factory_find"));
    const auto load = reinterpret_cast<Load>(::dlsym(library, "gst_plugin_feature_load"));
    using Create = void* (*)(void*, const char*);
    const auto unref = reinterpret_cast<Unref>(::dlsym(library, "gst_object_unref"));
    const auto create = reinterpret_cast<Create>(::dlsym(library, "gst_element_factory_create"));
    const auto sink = reinterpret_cast<Load>(::dlsym(library, "gst_object_ref_sink"));
    if (!init || !find || !load || !unref || !create || !sink || !init(nullptr, nullptr, nullptr)) return;
    for (const char* name :
         {"uridecodebin", "decodebin",     "filesrc",       "typefind",  "queue",        "multiqueue",
          "identity",     "qtdemux",       "matroskademux", "h264parse", "avdec_h264",   "avdec_h265",
          "avdec_aac",    "videoconvert",  "videoscale",    "videoflip", "audioconvert", "audioresample",
          "volume",       "autoaudiosink", "pulsesink",     "alsasink"}) {
        void* factory = find(name);
        if (!factory) continue;
        if (void* loaded = load(factory)) unref(loaded);
        // One element made and dropped sets up its type (class and pads) here rather than where
        // the player makes its first; audio sinks are left alone, they may reach for a device.
        if (!std::string_view(name).ends_with("sink")) {
            if (void* element = create(factory, nullptr)) unref(sink(element));
        }
        unref(factory);
    }
    // The device providers' plugins, which Qt's device monitor loads when its back end starts.
    struct List {
        void* data;
        List* next;
        List* prev;
    };
    using Providers = List* (*)(int);
    using FreeList = void (*)(List*);
    const auto providers =
        reinterpret_cast<Providers>(::dlsym(library, "gst_device_provider_factory_list_get_device_providers"));
    const auto freeList = reinterpret_cast<FreeList>(::dlsym(library, "gst_plugin_feature_list_free"));
    if (!providers || !freeList) return;
    List* list = providers(0);
    for (List* item = list; item; item = item->next) {
        if (void* loaded = load(item->data)) unref(loaded);
    }
    freeList(list);
}

/// Qt's media back ends read (their metadata, which Qt's plugin loader keeps while a loader holds
/// them) and the one Qt picks loaded, so that the back end made on the GUI thread finds them ready.
/// The loaders are kept for the process, as Qt keeps the back end (once per process).
void loadQtMediaPlugins() {
    const QString chosen = qEnvironmentVariable("QT_MEDIA_BACKEND", QStringLiteral("gstreamer"));
    const QDir folder(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/multimedia"));
    static auto* const loaders = new std::vector<std::unique_ptr<QPluginLoader>>;
    for (const QString& name : folder.entryList(QDir::Files)) {
        auto loader = std::make_unique<QPluginLoader>(folder.filePath(name));
        loader->metaData();
        if (name.contains(chosen)) loader->load();
        loaders->push_back(std::move(loader));
    }
}

void warmWorkerSide() {
    try {
        images::ensureStarted();
    } catch (...) {
        // The sheets report it when they decode.
    }
    try {
        media::functions();
    } catch (...) {
        // The player falls back to Qt's own conversion.
    }
    loadGStreamer();
    loadQtMediaPlugins();
}

}  // namespace

PreviewWarmUp::PreviewWarmUp(QObject* parent) : QObject(parent), jobs_(this) {}

void PreviewWarmUp::start() {
    if (started_) return;
    started_ = true;
    static std::once_flag once;
    jobs_.run<bool>(
        [](std::stop_token) {
            std::call_once(once, warmWorkerSide);
            return true;
        },
        [this](std::optional<bool>, std::exception_ptr) { warmOnGuiThread(); });
}

void PreviewWarmUp::warmOnGuiThread() {
    // One step per pass of the event loop, so that input and painting go between them: the audio
    // devices, the media back end with its device monitor, a video sink, a player's pipeline and
    // controls, then the sheets' fonts, Chinese glyphs included, one size and weight at a time.
    steps_.push_back([] { QMediaDevices::audioOutputs(); });
    steps_.push_back([] { QMediaDevices::videoInputs(); });
    steps_.push_back([] { QVideoSink sink; });
    steps_.push_back([] {
        QVideoSink sink;
        QMediaPlayer player;
        player.setVideoSink(&sink);
    });
    // The player's controls (a slider with a style sheet), laid out and drawn once.
    steps_.push_back([] {
        VideoPlayerView view(std::nullopt);
        view.resize(586, 310);
        view.grab();
    });
    for (const int size : {type::caption, type::footnote, type::body, type::callout, type::sheetTitle}) {
        for (const QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold}) {
            steps_.push_back([size, weight] {
                // Drawn, not only measured: the glyphs the sheets show are rasterised and cached.
                static const QString sample = QStringLiteral(
                    "文件用途截到成片结尾恢复原文裁切封面取消保存调整编辑只影响交付副本，原件保持不变。"
                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789 :/·");
                QImage image(8, 8, QImage::Format_RGB32);  // as a window's opaque backing store
                QPainter painter(&image);
                painter.setFont(Theme::font(size, weight));
                painter.drawText(QPointF(0, 4), sample);
            });
        }
    }
    nextStep();
}

void PreviewWarmUp::nextStep() {
    if (steps_.empty()) {
        finished_ = true;
        emit finished();
        return;
    }
    QTimer::singleShot(0, this, [this] {
        const std::function<void()> step = std::move(steps_.front());
        steps_.pop_front();
        step();
        nextStep();
    });
}

}  // namespace sorvik::app
