// One window-title poll against the real desktop, beside a floor measured in the same run: one
// X round trip (XGetInputFocus through XSync). Twelve titled windows of this process make a
// desktop to look through. Run under scripts/with-desktop.sh.
#include <benchmark/benchmark.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "platform/linux/X11DesktopSession.h"
#include "platform/linux/X11WindowList.h"
#include "platform/linux/X11Workspace.h"
#include "sensors/WindowTitleProbe.h"

using namespace velmora;

namespace {

constexpr int windowCount = 12;

class WallClock final : public Clock {
public:
    Date now() const override { return Date{800000000.0}; }
};

Display* own = nullptr;
Window front = None;  // the window mapped last, which has the focus

void BM_Floor_XRoundTrip(benchmark::State& state) {
    Window focus = None;
    int revert = 0;
    for (auto _ : state) {
        XGetInputFocus(own, &focus, &revert);
        XSync(own, False);
    }
}

struct Probe {
    ActivityEventBus bus;
    IdleScheduler scheduler;
    WallClock clock;
    X11DesktopSession session;
    X11Workspace workspace{scheduler, session};
    X11WindowList windows;
    // Not this process: the probe never looks at its own application's windows.
    WindowTitleProbe probe{bus, workspace, windows, scheduler, clock, SelfProcess{0, std::nullopt}};
};

// A steady desktop: what the probe does nearly every time.
void BM_WindowTitlePoll(benchmark::State& state) {
    Probe p;
    p.probe.poll();
    for (auto _ : state) p.probe.poll();
    state.counters["title seen"] = p.probe.lastObservedTitle() ? 1 : 0;
}

// The front window retitled before each poll (outside the timing): the poll reads the new title.
void BM_WindowTitlePollAfterRetitle(benchmark::State& state) {
    Probe p;
    const Atom nameAtom = XInternAtom(own, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(own, "UTF8_STRING", False);
    p.probe.poll();
    const std::size_t before = p.bus.events().size();
    long i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string title = "Velmora retitled " + std::to_string(i++);
        XChangeProperty(own, front, nameAtom, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
        XSync(own, False);
        state.ResumeTiming();
        p.probe.poll();
    }
    // Events are kept up to the bus's limit; the share of polls that saw their change.
    state.counters["changes seen"] =
        static_cast<double>(std::min<std::size_t>(p.bus.events().size() - before, state.iterations())) /
        static_cast<double>(std::min<std::size_t>(state.iterations(), ActivityEventBus::maxEvents - before));
}

BENCHMARK(BM_Floor_XRoundTrip)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_WindowTitlePoll)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_WindowTitlePollAfterRetitle)->Unit(benchmark::kMicrosecond)->Iterations(1000);

// Titled, mapped windows owned by this process; the last one mapped gets the focus.
void openWindows() {
    const Atom pidAtom = XInternAtom(own, "_NET_WM_PID", False);
    const Atom nameAtom = XInternAtom(own, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(own, "UTF8_STRING", False);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    for (int i = 0; i < windowCount; ++i) {
        const Window w = XCreateSimpleWindow(own, DefaultRootWindow(own), 20 * i, 20 * i, 200 + 10 * i, 150, 0, 0, 0);
        const std::string title = "Velmora bench window " + std::to_string(i);
        XChangeProperty(own, w, pidAtom, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XChangeProperty(own, w, nameAtom, utf8, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
        XMapWindow(own, w);
        front = w;
    }
    XSync(own, False);
    sleep(1);  // let the window manager frame them and give the last one the focus
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    own = XOpenDisplay(nullptr);
    if (!own) {
        std::fprintf(stderr, "no X display: run under scripts/with-desktop.sh\n");
        return 1;
    }
    openWindows();

    SecondsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& timePerIteration = reporter.seconds;

    const auto [floorCpu, floorReal] = timePerIteration["BM_Floor_XRoundTrip"];
    const auto [pollCpu, pollReal] = timePerIteration["BM_WindowTitlePoll"];
    if (floorCpu > 0 && floorReal > 0) {
        std::printf("poll / round trip ratio: %.2f in processor time, %.2f in wall-clock time\n", pollCpu / floorCpu,
                    pollReal / floorReal);
        const auto [changedCpu, changedReal] = timePerIteration["BM_WindowTitlePollAfterRetitle"];
        std::printf("poll after a title change / round trip ratio: %.2f in processor time, %.2f in wall-clock time\n",
                    changedCpu / floorCpu, changedReal / floorReal);
        std::printf("window-title probe CPU share at one poll every %.2f s: %.4f %%\n", WindowTitleProbe::interval,
                    100.0 * pollCpu / WindowTitleProbe::interval);
    }
    XCloseDisplay(own);
    benchmark::Shutdown();
    return 0;
}
