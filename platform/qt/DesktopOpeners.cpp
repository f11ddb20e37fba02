#include "platform/qt/DesktopOpeners.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "platform/ChromiumBrowsers.h"

namespace velmora {

namespace {

void openFolder(const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

void callFileManager(const char* method, const QString& path, const QString& fallbackFolder) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return openFolder(fallbackFolder);
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", method);
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asynchronous: a file manager that is slow to start never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, fallbackFolder] {
        if (watcher->isError()) openFolder(fallbackFolder);
        watcher->deleteLater();
    });
}

QString configHome() {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.startsWith('/')) return config;
    return QDir::homePath() + "/.config";
}

}  // namespace

void DBusFileRevealer::showFolder(const std::string& path) {
    const QString folder = QString::fromStdString(path);
    callFileManager("ShowFolders", folder, folder);
}

void DBusFileRevealer::showItem(const std::string& path) {
    const QString item = QString::fromStdString(path);
    callFileManager("ShowItems", item, QFileInfo(item).absolutePath());
}

std::optional<std::string> ProcessBrowserLauncher::chromiumBrowser() const {
    QFile list(configHome() + "/mimeapps.list");
    if (list.open(QIODevice::ReadOnly)) {
        if (const auto handler = defaultHttpsHandler(list.read(1 << 20).toStdString()))
            if (const auto program = chromiumProgramForDesktopId(*handler)) {
                const QString found = QStandardPaths::findExecutable(QString::fromStdString(*program));
                if (!found.isEmpty()) return found.toStdString();
            }
    }
    for (const auto& program : chromiumPrograms()) {
        const QString found = QStandardPaths::findExecutable(QString::fromStdString(program));
        if (!found.isEmpty()) return found.toStdString();
    }
    return std::nullopt;
}

bool ProcessBrowserLauncher::openInChromium(const std::string& address) {
    const auto browser = chromiumBrowser();
    if (!browser) return false;
    return QProcess::startDetached(QString::fromStdString(*browser), {QString::fromStdString(address)});
}

}  // namespace velmora
