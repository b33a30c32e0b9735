#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in a terminal, a service manager) as a request to
// quit, handed to the GUI thread through a pipe that a socket notifier watches. The handler only
// writes to the pipe. A signal sent twice at once (a tool that signals the process and its group)
// quits once; one repeated seconds later, when that quit has not ended, ends the process at once.
#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <vector>

#include "SorvikCore/FileSystem.hpp"

namespace sorvik::app {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    /// Installs the handlers; one object at a time. Throws std::system_error when no pipe can be made.
    explicit QuitSignals(QObject* parent = nullptr);
    /// Puts the default actions back.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

signals:
    /// On the GUI thread, once per signal received.
    void quitRequested(int signal);

private:
    files::FileDescriptor readEnd_;
    files::FileDescriptor writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<int> installed_;
};

}  // namespace sorvik::app
