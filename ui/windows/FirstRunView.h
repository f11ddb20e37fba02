#pragma once
#include <string>
#include <string_view>

#include "platform/FirstRunFlags.h"

namespace velmora {

class DefaultsStore;
class FileSystem;

// A build that runs from a CMake build tree: a CMakeCache.txt beside the executable or in a
// folder above it. Checked afresh at every call, never cached.
bool isTemporaryBuild(const FileSystem& files, const std::string& executablePath);

// The two stored flags that decide whether the welcome sheet is due at start-up.
struct FirstRunView {
    static constexpr std::string_view completedKey = "Velmora.FirstRunCompleted";
    static constexpr std::string_view stableHintDismissedKey = "Velmora.StableHintDismissed";

    static bool shouldShow(const DefaultsStore& defaults, bool temporaryBuild);
    static void markCompleted(DefaultsStore& defaults, bool temporaryBuild);
};

// The flags in the defaults, for the build that runs from `executablePath`.
class StoredFirstRunFlags final : public FirstRunFlags {
public:
    StoredFirstRunFlags(DefaultsStore& defaults, const FileSystem& files, std::string executablePath)
        : defaults_(defaults), files_(files), executable_(std::move(executablePath)) {}
    bool shouldShow() const override { return FirstRunView::shouldShow(defaults_, velmora::isTemporaryBuild(files_, executable_)); }
    void markCompleted() override { FirstRunView::markCompleted(defaults_, velmora::isTemporaryBuild(files_, executable_)); }
    void dismissStableHint() override;
    bool isTemporaryBuild() const override { return velmora::isTemporaryBuild(files_, executable_); }

private:
    DefaultsStore& defaults_;
    const FileSystem& files_;
    std::string executable_;
};

}  // namespace velmora
