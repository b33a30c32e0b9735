#include "Sorvik/App/QtPlatform.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QUrl>
#include <memory>

namespace sorvik::app {

QString pathText(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::filesystem::path pathFromText(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

std::vector<std::filesystem::path> QtPlatform::choose(const ChooserRequest& request) {
    QWidget* parent = window_ ? window_.data() : QApplication::activeWindow();
    QFileDialog dialog(parent, QString::fromStdString(request.title));
    // The desktop's own chooser where it offers one (an XDG desktop portal, the desktop's platform
    // theme), else Qt's; only Qt's takes several folders at once and shows the message.
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    // Where the last chooser for the same purpose ended, else the home folder; never the process's
    // current folder. A folder is shown chosen in its parent.
    QSettings settings;
    const QString memoryKey = QStringLiteral("choosers/") + QString::fromStdString(request.purpose);
    const QString last = request.purpose.empty() ? QString() : settings.value(memoryKey).toString();
    const QFileInfo lastInfo(last);
    if (!last.isEmpty() && lastInfo.isDir()) {
        if (request.kind == ChooserRequest::Kind::folders && !lastInfo.isRoot()) {
            dialog.setDirectory(lastInfo.absolutePath());
            dialog.selectFile(lastInfo.fileName());
        } else {
            dialog.setDirectory(last);
        }
    } else {
        dialog.setDirectory(QDir::homePath());
    }
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.prompt));
    if (request.kind == ChooserRequest::Kind::folders) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        if (request.multiple) {
            for (auto* view : dialog.findChildren<QAbstractItemView*>()) {
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
            }
        }
    } else {
        dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (!request.message.empty()) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* message = new QLabel(QString::fromStdString(request.message), &dialog);
            message->setWordWrap(true);
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    std::vector<std::filesystem::path> chosen;
    for (const QString& file : dialog.selectedFiles()) chosen.push_back(pathFromText(file));
    if (!chosen.empty() && !request.purpose.empty()) {
        const QString first = dialog.selectedFiles().constFirst();
        settings.setValue(memoryKey,
                          request.kind == ChooserRequest::Kind::folders ? first : QFileInfo(first).absolutePath());
    }
    return chosen;
}

void QtPlatform::copyText(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

namespace {

/// Opens the item with xdg-open and tells `unopened` when that failed; where no xdg-open is
/// installed, Qt's own services are tried. xdg-open that exits 0 is believed: it may have started
/// a program that then shows nothing, which no one can see from here.
void openWithDesktop(const std::filesystem::path& path, std::function<void()> unopened) {
    const QUrl url = QUrl::fromLocalFile(pathText(path));
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty()) {
        if (!QDesktopServices::openUrl(url)) unopened();
        return;
    }
    // Not parented: it must not be killed with a window, and it deletes itself once it ended.
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto report = std::make_shared<std::function<void()>>(std::move(unopened));
    QObject::connect(process, &QProcess::finished, process, [process, report](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0) (*report)();
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        (*report)();
        process->deleteLater();
    });
    process->start();
}

}  // namespace

void QtPlatform::reveal(const std::filesystem::path& path, std::function<void()> unopened) {
    const QString uri = QUrl::fromLocalFile(pathText(path)).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{uri} << QString();
    // Asked without waiting: a file manager that is slow to start never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000));
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : path;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder, unopened = std::move(unopened)](QDBusPendingCallWatcher* w) mutable {
                         // No file manager answers: open the folder that holds the item.
                         if (w->isError()) openWithDesktop(folder, std::move(unopened));
                         w->deleteLater();
                     });
}

void QtPlatform::open(const std::filesystem::path& path, std::function<void()> unopened) {
    openWithDesktop(path, std::move(unopened));
}

bool QtPlatform::hasSystemTray() { return QSystemTrayIcon::isSystemTrayAvailable(); }

UnsavedQuitChoice QtPlatform::askUnsavedQuit(const UnsavedQuitRequest& request) {
    QWidget* parent = window_ ? window_.data() : QApplication::activeWindow();
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(request.title), QString::fromStdString(request.text),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(QString::fromStdString(request.detail));
    QPushButton* retry = box.addButton(QString::fromStdString(request.retry), QMessageBox::AcceptRole);
    QPushButton* quit = box.addButton(QString::fromStdString(request.quitWithoutSaving), QMessageBox::DestructiveRole);
    box.setDefaultButton(retry);
    // Closing the box is no permission to drop the changes: it asks again.
    box.setEscapeButton(retry);
    box.exec();
    return box.clickedButton() == quit ? UnsavedQuitChoice::quitWithoutSaving : UnsavedQuitChoice::retry;
}

Date QtPlatform::now() { return Date::now(); }

}  // namespace sorvik::app
