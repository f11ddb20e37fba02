#include "platform/qt/DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <sstream>

namespace velmora {

namespace {

struct Panel {
    const char* linkPart;  // what the settings link contains
    const char* desktop;
    std::vector<std::string> command;
};

const Panel panels[] = {
    {"Privacy_Accessibility", "GNOME", {"gnome-control-center", "universal-access"}},
    {"Privacy_Accessibility", "KDE", {"systemsettings", "kcm_access"}},
    {"Privacy_ScreenCapture", "GNOME", {"gnome-control-center", "privacy"}},
    {"LoginItems", "KDE", {"systemsettings", "kcm_autostart"}},
};

constexpr std::string_view settingsScheme = "x-apple.systempreferences:";

}  // namespace

std::optional<std::vector<std::string>> DesktopUrlOpener::settingsPanelCommand(const std::string& url,
                                                                               const std::string& currentDesktop) {
    std::istringstream names(currentDesktop);
    for (std::string desktop; std::getline(names, desktop, ':');)
        for (const auto& panel : panels)
            if (desktop == panel.desktop && url.find(panel.linkPart) != std::string::npos) return panel.command;
    return std::nullopt;
}

bool DesktopUrlOpener::open(const std::string& url) {
    if (url.starts_with(settingsScheme)) {
        const auto command = settingsPanelCommand(url, qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString());
        if (!command) return false;
        const QString program = QStandardPaths::findExecutable(QString::fromStdString(command->front()));
        if (program.isEmpty()) return false;
        QStringList arguments;
        for (std::size_t i = 1; i < command->size(); ++i) arguments << QString::fromStdString((*command)[i]);
        return QProcess::startDetached(program, arguments);
    }
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    return address.isValid() && QDesktopServices::openUrl(address);
}

}  // namespace velmora
