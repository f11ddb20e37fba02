#pragma once
#include <optional>
#include <string>

namespace velmora {

// Shows a folder, or a file selected in its folder, in the desktop's file manager.
class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    virtual void showFolder(const std::string& path) = 0;
    virtual void showItem(const std::string& path) = 0;
};

// Starts a Chromium-family browser on an address only such a browser opens (chrome://…).
class BrowserLauncher {
public:
    virtual ~BrowserLauncher() = default;
    // The program that would be started; none when the system has no such browser.
    virtual std::optional<std::string> chromiumBrowser() const = 0;
    // False when no browser was found or it could not be started.
    virtual bool openInChromium(const std::string& address) = 0;
};

}  // namespace velmora
