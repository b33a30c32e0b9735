#pragma once
// One running app per library: a lock held on the open library folder for the process's life (the
// kernel drops it when the process dies, so a killed instance never keeps the next one out) and a
// local socket on which a second launch asks the first to show its window.
#include <QLocalServer>
#include <QObject>
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
        first,        // this process holds the library
        shown,        // another process holds it and was asked to show itself
        refused,      // another process holds it but did not answer
        unavailable,  // no lock could be had (see failure()): the library must not be written
    };

    explicit SingleInstance(std::filesystem::path library, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Tries to become the library's instance; on `first` starts listening.
    Outcome acquire();
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
    Outcome hold(files::FileDescriptor lock, int folder);
    Outcome askHolder();
    Outcome unavailable(int error, const std::filesystem::path& path);

    std::filesystem::path library_;
    std::string failure_;
    files::FileDescriptor lock_;
    std::shared_ptr<LibraryGuard> guard_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace sorvik::app
