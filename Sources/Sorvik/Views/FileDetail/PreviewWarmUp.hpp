#pragma once
// What the first file detail or crop sheet would otherwise make on the GUI thread when it opens,
// made once the main window shows: the image library and the media module started, GStreamer
// initialised with the demuxers, decoders, converters and device providers the player uses loaded,
// Qt's media plugins read and its back end's library loaded (on a worker), then, on the GUI thread
// in steps of a few milliseconds each, one per pass of the event loop, the back end with its
// devices, a player and the sheets' fonts.
#include <QObject>
#include <deque>
#include <functional>

#include "Sorvik/Support/DetachedJobs.hpp"

namespace sorvik::app {

class PreviewWarmUp : public QObject {
    Q_OBJECT
public:
    explicit PreviewWarmUp(QObject* parent = nullptr);

    /// Starts the warm-up; later calls do nothing. The worker's part runs once per process.
    void start();
    bool isFinished() const { return finished_; }
    /// Steps still to run on the GUI thread, one per pass of the event loop (tests).
    std::size_t stepsLeft() const { return steps_.size(); }

signals:
    /// All of it is made.
    void finished();

private:
    void warmOnGuiThread();
    /// Runs the next step in a later pass of the event loop, or finishes.
    void nextStep();

    bool started_ = false;
    bool finished_ = false;
    std::deque<std::function<void()>> steps_;
    DetachedJobs jobs_;
};

}  // namespace sorvik::app
