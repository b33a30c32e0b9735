#pragma once
// One running app per library: a lock held on a file in the library folder for the process's life
// (the kernel drops it when the process dies, so a killed instance never keeps the next one out)
// and a local socket on which a second launch asks the first to show its window.
#include <QLocalServer>
#include <QObject>
#include <filesystem>
#include <memory>

#include "SorvikCore/FileSystem.hpp"

namespace sorvik::app {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        first,    // this process holds the library
        shown,    // another process holds it and was asked to show itself
        refused,  // another process holds it but did not answer
        unlocked, // no lock could be taken (the library folder cannot be written); runs alone
    };

    explicit SingleInstance(std::filesystem::path library, QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Tries to become the library's instance; on `first` starts listening.
    Outcome acquire();
    /// The local socket name for a library.
    static QString serverName(const std::filesystem::path& library);

signals:
    /// A later launch asked this instance to show its window.
    void activationRequested();

private:
    std::filesystem::path library_;
    files::FileDescriptor lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace sorvik::app
