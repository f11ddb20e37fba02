#pragma once
// A screenshot ring over fakes: "Editor" (pid 42) is frontmost with window 1 of 3200 × 1600.
#include "sensors/visual/ScreenshotRingBuffer.h"
#include "tests/fakes/FakeAppPlatform.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/FakeVisual.h"
#include "tests/fakes/ManualScheduler.h"

namespace velmora {

inline ListedWindow listedWindow(std::uint64_t id, std::int32_t pid, int layer = 0,
                                 std::optional<std::string> title = {}, bool onScreen = true) {
    return ListedWindow{id, pid, layer, std::move(title), {}, onScreen};
}

struct RingRig {
    static constexpr std::int32_t selfPid = 7;
    FakeClock clock{Date{0}};
    ManualScheduler scheduler{clock};
    FakePermissionProbe permission;
    FakeDesktopSession desktop;
    FakeWindowList windows;
    FakeScreenCapture capture;
    ScreenshotRingBuffer ring{permission, desktop, windows, capture, scheduler, clock, selfPid};

    RingRig() {
        permission.granted = true;
        desktop.apps = {{selfPid, "velmora", "Velmora"}, {42, "org.example.Editor", "Editor", false, true}};
        windows.list = {listedWindow(1, 42)};
        capture.sizes[1] = {3200, 1600};
    }
};

inline std::vector<double> times(const auto& frames) {
    std::vector<double> out;
    for (const auto& f : frames) out.push_back(f.timestamp.secondsSince2001);
    return out;
}

}  // namespace velmora
