#pragma once
// What the first file detail or crop sheet would otherwise make on the GUI thread when it opens,
// made once the main window shows: the image library and the media module started, GStreamer
// initialised with the demuxers, decoders and converters the player uses loaded (on a worker),
// then, on the GUI thread in short steps, the player's back end with its audio devices and the
// sheets' fonts.
#include <QObject>

#include "Sorvik/Support/DetachedJobs.hpp"

namespace sorvik::app {

class PreviewWarmUp : public QObject {
    Q_OBJECT
public:
    explicit PreviewWarmUp(QObject* parent = nullptr);

    /// Starts the warm-up; later calls do nothing. The worker's part runs once per process.
    void start();
    bool isFinished() const { return finished_; }

signals:
    /// All of it is made.
    void finished();

private:
    void warmOnGuiThread();

    bool started_ = false;
    bool finished_ = false;
    DetachedJobs jobs_;
};

}  // namespace sorvik::app
