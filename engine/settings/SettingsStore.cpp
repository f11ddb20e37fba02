#include "engine/settings/SettingsStore.h"

#include <cmath>
#include <string>

#include "platform/DefaultsStore.h"

namespace velmora {

namespace {

// Dates in the defaults are numbers: seconds since 2001-01-01 UTC.
std::optional<Date> storedDate(const std::optional<Json>& value) {
    if (!value || !value->is_number()) return std::nullopt;
    const double seconds = value->get<double>();
    if (!std::isfinite(seconds)) return std::nullopt;
    return Date{seconds};
}

}  // namespace

Json PermissionState::toJson() const { return encodeFields(*this); }

PermissionState PermissionState::fromJson(const Json& j) { return decodeFields<PermissionState>(j); }

PermissionState PermissionState::fromStored(const Json& j) {
    PermissionState p;
    if (!j.is_object()) return p;
    std::apply(
        [&](const auto&... field) {
            auto keep = [&](const auto& f) {
                auto it = j.find(f.name);
                if (it != j.end() && it->is_boolean()) p.*(f.member) = it->template get<bool>();
            };
            (keep(field), ...);
        },
        jsonFields);
    return p;
}

SettingsStore::SettingsStore(DefaultsStore& defaults) : defaults_(defaults) {
    if (auto stored = defaults_.value(std::string(key))) permissions_ = PermissionState::fromStored(*stored);
    developerModeEnabled_ = defaults_.boolValue(std::string(developerModeKey));
    weeklyDigestEnabled_ = defaults_.boolValue(std::string(weeklyDigestKey));
    const auto stored = defaults_.value(std::string(lastDigestSentDateKey));
    lastDigestSentDate_ = storedDate(stored);
    // Drops a stored value that is not a date; leaves a good one (or an absent key) untouched.
    if (stored && !lastDigestSentDate_) saveLastDigestSentDate();
}

void SettingsStore::setPermissions(const PermissionState& value) {
    permissions_ = value;
    savePermissions();
    changed();
}

void SettingsStore::setPermission(bool PermissionState::*sw, bool enabled) {
    PermissionState next = permissions_;
    next.*sw = enabled;
    setPermissions(next);
}

void SettingsStore::setDeveloperModeEnabled(bool enabled) {
    developerModeEnabled_ = enabled;
    defaults_.setValue(std::string(developerModeKey), enabled);
    changed();
}

void SettingsStore::setWeeklyDigestEnabled(bool enabled) {
    weeklyDigestEnabled_ = enabled;
    defaults_.setValue(std::string(weeklyDigestKey), enabled);
    changed();
}

void SettingsStore::setLastDigestSentDate(std::optional<Date> date) {
    if (date && !std::isfinite(date->secondsSince2001)) date.reset();  // JSON cannot hold it
    lastDigestSentDate_ = date;
    saveLastDigestSentDate();
}

void SettingsStore::savePermissions() { defaults_.setValue(std::string(key), permissions_.toJson()); }

void SettingsStore::saveLastDigestSentDate() {
    if (lastDigestSentDate_) defaults_.setValue(std::string(lastDigestSentDateKey), lastDigestSentDate_->secondsSince2001);
    else defaults_.remove(std::string(lastDigestSentDateKey));
}

}  // namespace velmora
