#pragma once
// An application state whose sampler has ticked through a few minutes of several apps.
#include <string>
#include <utility>
#include <vector>

#include "tests/app/AppHarness.h"

namespace velmora {

struct SeededApp {
    std::string name;  // the desktop entry's name
    std::string program;
    std::uint64_t startBytes;
    std::int64_t bytesPerTick;
    std::uint64_t wobble = 0;  // added in a seven-second saw tooth
};

inline std::vector<SeededApp> sevenApps() {
    return {{"Firefox", "firefox", 1800 * MiB, 200 * 1024, 40 * MiB},   {"Visual Studio Code", "code", 1200 * MiB, -100 * 1024},
            {"Thunderbird", "thunderbird", 700 * MiB, 0},     {"LibreOffice Writer", "soffice", 500 * MiB, 50 * 1024},
            {"Spotify", "spotify", 400 * MiB, 30 * 1024, 9 * MiB},     {"Slack", "slack", 300 * MiB, -20 * 1024},
            {"GIMP", "gimp", 200 * MiB, 10 * 1024}};
}

// Ticks the sampler `ticks` times a second apart with `apps` running (the first in front).
inline void seedHistory(AppHarness& h, const std::vector<SeededApp>& apps, int ticks) {
    for (int n = 0; n < ticks; ++n) {
        // Bytes follow the clock, so later calls carry the same lines on.
        const auto t = static_cast<std::int64_t>(h.clock.now() - Date{800000000.0});
        h.processes.processes.clear();
        h.desktop.apps.clear();
        for (std::size_t i = 0; i < apps.size(); ++i) {
            const auto pid = static_cast<std::int32_t>(100 + i);
            const auto bytes = static_cast<std::uint64_t>(static_cast<std::int64_t>(apps[i].startBytes) +
                                                          apps[i].bytesPerTick * t + static_cast<std::int64_t>(apps[i].wobble) * (t % 7) / 6);
            h.addApp(pid, apps[i].program, apps[i].name, bytes, i == 0);
        }
        h.state->sampler->tick();
        h.clock.advance(1);
    }
}

// App names long in Persian, Hebrew, Urdu and Chinese, by their language's code.
inline const std::pair<const char*, std::string> longNamesInFourScripts[] = {
    {"fa", "سامانه مدیریت اسناد و بایگانی سازمانی نسخه حرفه‌ای"},
    {"he", "מערכת ניהול המסמכים והארכיון של המשרד"},
    {"ur", "دستاویزات اور آرکائیو کا انتظامی نظام"},
    {"zh", "企业知识管理系统专业版企业知识管理系统专业版"}};

// A second on, then a sample: `name` in front at `appBytes` beside Firefox at 400 MB, and
// `freeBytes` free of 24 GB.
inline void tickBesideFirefox(AppHarness& h, const std::string& name, std::uint64_t appBytes, std::uint64_t freeBytes) {
    h.clock.advance(1);
    h.steady.now += 1;
    h.processes.processes.clear();
    h.desktop.apps.clear();
    h.addApp(100, "docs", name, appBytes, true);
    h.addApp(101, "firefox", "Firefox", 400 * MiB, false);
    h.memory.reading = {24ull << 30, freeBytes, 0, 0, MemoryPressureLevel::normal};
    h.state->sampler->tick();
}

}  // namespace velmora
