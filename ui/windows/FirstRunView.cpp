#include "ui/windows/FirstRunView.h"

#include "platform/DefaultsStore.h"
#include "platform/FileSystem.h"

namespace velmora {

bool isTemporaryBuild(const FileSystem& files, const std::string& executablePath) {
    std::string folder = executablePath;
    for (auto slash = folder.rfind('/'); slash != std::string::npos && slash > 0; slash = folder.rfind('/')) {
        folder.resize(slash);
        if (files.exists(folder + "/CMakeCache.txt")) return true;
    }
    return !executablePath.empty() && executablePath.front() == '/' && files.exists("/CMakeCache.txt");
}

bool FirstRunView::shouldShow(const DefaultsStore& defaults, bool temporaryBuild) {
    if (!defaults.boolValue(std::string(completedKey))) return true;
    return temporaryBuild && !defaults.boolValue(std::string(stableHintDismissedKey));
}

void FirstRunView::markCompleted(DefaultsStore& defaults, bool temporaryBuild) {
    defaults.setValue(std::string(completedKey), true);
    if (!temporaryBuild) defaults.setValue(std::string(stableHintDismissedKey), true);
}

void StoredFirstRunFlags::dismissStableHint() { defaults_.setValue(std::string(FirstRunView::stableHintDismissedKey), true); }

}  // namespace velmora
