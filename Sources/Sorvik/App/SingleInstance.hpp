#pragma once
// One running app per library: a lock held on the open library folder for the process's life (the
// kernel drops it when the process dies, so a killed instance never keeps the next one out) and a
// local socket on which a second launch asks the first to show its window.
#include <QLocalServer>
#include <QObject>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "SorvikCore/FileSystem.hpp"
#include "SorvikCore/LibraryGuard.hpp"

namespace sorvik::app {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        first,         // this process holds the library
        shown,         // another process holds it and was asked to show itself
        refused,       // another process holds it but did not answer
        unavailable,   // no lock could be had (see failure()): the library must not be written
        notAnswering,  // the library's file system did not answer in time: it is neither read nor written
    };

    explicit SingleInstance(std::filesystem::path library, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Tries to become the library's instance; on `first` starts listening. The folder is made,
    /// opened and locked on a thread of its own, waited for up to `deadline`.
    Outcome acquire(std::chrono::milliseconds deadline = std::chrono::seconds(2));
    /// Why no lock could be had, after `unavailable`: the platform's error naming the folder.
    const std::string& failure() const { return failure_; }
    /// After `first`: the folder the lock is held on, through which the library is written.
    const std::shared_ptr<LibraryGuard>& guard() const { return guard_; }
    /// The local socket name for a library.
    static QString serverName(const std::filesystem::path& library);

signals:
    /// A later launch asked this instance to show its window.
    void activationRequested();

private:
    /// What the thread found: the lock, a holder to ask, or why neither.
    struct Attempt;
    static Attempt lockFolder(const std::filesystem::path& library);
    static QString serverNameOf(const std::string& resolved);
    Outcome hold(files::FileDescriptor lock, int folder);
    Outcome askHolder();
    Outcome unavailable(int error, const std::filesystem::path& path);

    std::filesystem::path library_;
    std::string resolved_;
    std::string failure_;
    files::FileDescriptor lock_;
    std::shared_ptr<LibraryGuard> guard_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace sorvik::app
