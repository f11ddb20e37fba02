#pragma once
#include "engine/support/Json.h"

namespace velmora {

// The user's sensor switches.
struct PermissionState {
    bool memoryMonitoringEnabled = true;
    bool accessibilityEnabled = false;
    bool screenshotsEnabled = false;
    bool cloudAIEnabled = false;

    bool operator==(const PermissionState&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("memoryMonitoringEnabled", &PermissionState::memoryMonitoringEnabled),
        jsonField("accessibilityEnabled", &PermissionState::accessibilityEnabled),
        jsonField("screenshotsEnabled", &PermissionState::screenshotsEnabled),
        jsonField("cloudAIEnabled", &PermissionState::cloudAIEnabled)};
    Json toJson() const;
    // Strict: all four members must be present and Boolean.
    static PermissionState fromJson(const Json& j);
    // What a stored value means when read back: every member that is present and Boolean is kept,
    // a missing or mistyped member takes its default, and anything but an object gives the defaults.
    static PermissionState fromStored(const Json& j);
};

// What the system has granted; filled from the platform, never stored.
struct PermissionStatus {
    bool accessibilityGranted = false;
    bool screenRecordingGranted = false;

    bool operator==(const PermissionStatus&) const = default;
};

}  // namespace velmora
