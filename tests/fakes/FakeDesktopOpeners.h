#pragma once
#include <string>
#include <vector>

#include "platform/DesktopOpeners.h"

namespace velmora {

struct FakeFileRevealer final : FileRevealer {
    void showFolder(const std::string& path) override { folders.push_back(path); }
    void showItem(const std::string& path) override { items.push_back(path); }
    std::vector<std::string> folders, items;
};

struct FakeBrowserLauncher final : BrowserLauncher {
    std::optional<std::string> chromiumBrowser() const override { return browser; }
    bool openInChromium(const std::string& address) override {
        if (!browser) return false;
        opened.push_back(address);
        return true;
    }
    std::optional<std::string> browser;
    std::vector<std::string> opened;
};

}  // namespace velmora
