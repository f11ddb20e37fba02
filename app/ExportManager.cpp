#include "app/ExportManager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/AppState.h"
#include "engine/detection/NoiseFilter.h"
#include "engine/stories/Phrasing.h"
#include "platform/Calendar.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/SaveDialog.h"

namespace velmora {

namespace ExportManager {

const char* const notes =
    "Velmora export \u2014 a local-first Linux memory-usage timeline. \"stories\": plain-language explanations of "
    "significant memory changes; confidence is \"high\"/\"medium\"/\"low\", meaning how sure Velmora is about "
    "*what* caused a change, not a statistical probability \u2014 \"low\" often means a real memory change was "
    "seen but no page/tab detail was available (see each story's own explanation text). \"dailyStats\": "
    "day-by-day rollups (per-app growth/story counts, seconds spent under memory pressure) used to tell a one-off "
    "spike from a recurring pattern. \"currentSnapshot\": a live picture of memory usage at the moment of export, "
    "not historical. All byte fields are raw byte counts. Apps named \"Velmora\" are this app measuring its own "
    "footprint.";

namespace {

bool allFinite(const Json& j) {
    if (j.is_number_float()) return std::isfinite(j.get<double>());
    if (j.is_structured())
        for (const auto& item : j)
            if (!allFinite(item)) return false;
    return true;
}

std::string twoDigits(long long n) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02lld", n);
    return buffer;
}

}  // namespace

Export makeExport(const AppState& state) {
    Export out;
    out.meta = Meta{state.dependencies().clock.now(), state.dependencies().appVersion.value_or("unknown"), notes};
    out.stories = state.timeline->events();
    out.dailyStats = state.dailyStats->days();
    out.currentSnapshot.system = state.sampler->systemSnapshot();
    for (const auto& app : state.sampler->appSnapshots()) {
        if (NoiseFilter::isNoise(app.identity)) continue;
        out.currentSnapshot.apps.push_back(
            CurrentApp{friendlyAppName(app.identity.displayName), app.footprintBytes, app.isForeground});
    }
    return out;
}

std::optional<std::string> encode(const Export& data) {
    try {
        ScopedDateStrategy dates(DateStrategy::iso8601);
        Json current = Json::object();
        if (data.currentSnapshot.system) current["system"] = velmora::encode(*data.currentSnapshot.system);
        Json apps = Json::array();
        for (const auto& app : data.currentSnapshot.apps)
            apps.push_back(Json{{"displayName", app.displayName},
                                {"footprintBytes", app.footprintBytes},
                                {"isForeground", app.isForeground}});
        current["apps"] = std::move(apps);
        // nlohmann keeps object keys sorted, at every level.
        Json root = Json::object();
        root["meta"] = Json{{"exportedAt", velmora::encode(data.meta.exportedAt)},
                            {"appVersion", data.meta.appVersion},
                            {"notes", data.meta.notes}};
        root["stories"] = velmora::encode(data.stories);
        root["dailyStats"] = velmora::encode(data.dailyStats);
        root["currentSnapshot"] = std::move(current);
        if (!allFinite(root)) return std::nullopt;
        return root.dump(2, ' ', false, Json::error_handler_t::replace);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> exportData(const AppState& state) { return encode(makeExport(state)); }

std::string suggestedFileName(Date date, const Calendar& calendar) {
    std::string stamp = "0000-00-00-0000";
    if (const auto local = calendar.localTime(date))
        stamp = dayKey(local->day) + "-" + twoDigits(std::clamp(local->hour, 0, 23)) +
                twoDigits(std::clamp(local->minute, 0, 59));
    return "Velmora-Export-" + stamp + ".json";
}

}  // namespace ExportManager

void AppState::exportToFile() {
    const auto data = ExportManager::exportData(*this);
    if (!data) {
        lastExportMessage = "Export failed \u2014 could not encode data.";
        announceChange();
        return;
    }
    std::weak_ptr<AppState*> weak = alive_;
    FileSystem& files = deps_.files;
    deps_.saveDialog.chooseJsonFile(
        ExportManager::suggestedFileName(deps_.clock.now(), deps_.calendar),
        [weak, &files, contents = *data](std::optional<std::string> path) {
            if (!path) return;
            const bool written = files.writeAtomically(*path, contents);
            auto self = weak.lock();
            if (!self) return;
            const auto slash = path->find_last_of('/');
            const std::string name = slash == std::string::npos ? *path : path->substr(slash + 1);
            (*self)->lastExportMessage =
                written ? "Exported to " + name : "Export failed: could not write " + name + ".";
            (*self)->announceChange();
        });
}

}  // namespace velmora
