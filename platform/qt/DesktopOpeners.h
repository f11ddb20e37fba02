#pragma once
#include "platform/DesktopOpeners.h"

namespace velmora {

// The freedesktop file-manager interface (org.freedesktop.FileManager1); when no file manager
// answers it, the folder is opened with the desktop's default handler instead.
class DBusFileRevealer final : public FileRevealer {
public:
    void showFolder(const std::string& path) override;
    void showItem(const std::string& path) override;
};

// The default web browser when it is of the Chromium family, else the first such browser on PATH,
// started with the address as its one argument (no shell in between).
class ProcessBrowserLauncher final : public BrowserLauncher {
public:
    std::optional<std::string> chromiumBrowser() const override;
    bool openInChromium(const std::string& address) override;
};

}  // namespace velmora
