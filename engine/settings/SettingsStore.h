#pragma once
#include <functional>
#include <optional>
#include <string_view>

#include "engine/settings/PermissionState.h"
#include "engine/support/Date.h"

namespace velmora {

class DefaultsStore;

// The user's persistent choices, kept in the user defaults and written back on every change.
class SettingsStore {
public:
    static constexpr std::string_view key = "Velmora.PermissionState";
    static constexpr std::string_view developerModeKey = "Velmora.DeveloperMode";
    static constexpr std::string_view weeklyDigestKey = "Velmora.WeeklyDigestEnabled";
    static constexpr std::string_view lastDigestSentDateKey = "Velmora.LastDigestSentDate";

    // The settings panes a permission request or the Setup page points to, kept by their original
    // identifiers; the shell's opener decides what, if anything, the desktop opens for each.
    static constexpr std::string_view accessibilitySettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";
    static constexpr std::string_view screenRecordingSettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture";
    static constexpr std::string_view loginItemsSettingsURL =
        "x-apple.systempreferences:com.apple.LoginItems-Settings.extension";

    // Loads every value; rewrites only the last-digest date (dropping a value that is not a date).
    explicit SettingsStore(DefaultsStore& defaults);

    const PermissionState& permissions() const { return permissions_; }
    bool developerModeEnabled() const { return developerModeEnabled_; }
    bool weeklyDigestEnabled() const { return weeklyDigestEnabled_; }
    std::optional<Date> lastDigestSentDate() const { return lastDigestSentDate_; }

    // Each setter stores the value, writes it, then calls onChange.
    void setPermissions(const PermissionState& value);
    void setPermission(bool PermissionState::*sw, bool enabled);  // one switch
    void setDeveloperModeEnabled(bool enabled);
    void setWeeklyDigestEnabled(bool enabled);
    // Writes (or removes) the date; does not call onChange.
    void setLastDigestSentDate(std::optional<Date> date);

    void savePermissions();
    void saveLastDigestSentDate();

    std::function<void()> onChange;

private:
    void changed() {
        if (onChange) onChange();
    }

    DefaultsStore& defaults_;
    PermissionState permissions_;
    bool developerModeEnabled_ = false;
    bool weeklyDigestEnabled_ = false;
    std::optional<Date> lastDigestSentDate_;
};

}  // namespace velmora
