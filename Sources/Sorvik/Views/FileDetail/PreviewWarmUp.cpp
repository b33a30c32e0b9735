#include "Sorvik/Views/FileDetail/PreviewWarmUp.hpp"

#include <dlfcn.h>

#include <QAudioDevice>
#include <QFontMetricsF>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QVideoSink>
#include <QTimer>
#include <mutex>

#include "SorvikCore/Images.hpp"
#include "SorvikCore/MediaModule.hpp"
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
    const auto unref = reinterpret_cast<Unref>(::dlsym(library, "gst_object_unref"));
    if (!init || !find || !load || !unref || !init(nullptr, nullptr, nullptr)) return;
    for (const char* name :
         {"uridecodebin", "decodebin",     "filesrc",       "typefind",  "queue",        "multiqueue",
          "identity",     "qtdemux",       "matroskademux", "h264parse", "avdec_h264",   "avdec_h265",
          "avdec_aac",    "videoconvert",  "videoscale",    "videoflip", "audioconvert", "audioresample",
          "volume",       "autoaudiosink", "pulsesink",     "alsasink"}) {
        void* factory = find(name);
        if (!factory) continue;
        if (void* loaded = load(factory)) unref(loaded);
        unref(factory);
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
    // The media back end, its devices and a player's pipeline, as the first player would make them.
    QMediaDevices::audioOutputs();
    {
        QVideoSink sink;
        QMediaPlayer player;
        player.setVideoSink(&sink);
    }
    // The fonts, Chinese glyphs included, in a later step of their own.
    QTimer::singleShot(0, this, [this] {
        const QString sample = QStringLiteral("文件用途 Ag 0:00");
        for (const int size : {type::caption, type::footnote, type::body, type::callout, type::sheetTitle}) {
            for (const QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold})
                QFontMetricsF(Theme::font(size, weight)).horizontalAdvance(sample);
        }
        finished_ = true;
        emit finished();
    });
}

}  // namespace sorvik::app
