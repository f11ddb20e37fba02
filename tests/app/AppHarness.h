#pragma once
// An AppState over fakes, a manual clock and a temporary folder for its files.
#include <memory>

#include "app/AppState.h"
#include "platform/Paths.h"
#include "platform/linux/LocalCalendar.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/fakes/FakeAppPlatform.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/InMemoryDefaults.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TempDir.h"

namespace velmora {

constexpr std::uint64_t MiB = 1024 * 1024;

class FolderPaths final : public Paths {
public:
    explicit FolderPaths(std::string dir) : dir_(std::move(dir)) {}
    std::string applicationSupportDirectory() const override { return dir_; }
    std::string configDirectory() const override { return dir_ + "/config"; }

private:
    std::string dir_;
};

inline ProcessIdentity appIdentity(const std::string& key, const std::string& name,
                                   std::optional<std::string> bundle = std::nullopt) {
    return {key, std::move(bundle), name, {4242}, false};
}

struct AppHarness {
    TempDir dir;
    FakeClock clock{Date{800000000.0}};
    FakeMonotonicClock steady;
    ManualScheduler scheduler{clock};
    InMemoryDefaults defaults;
    PosixFileSystem files;
    FolderPaths paths{dir.path()};
    LocalCalendar calendar;
    FakeProcessSource processes;
    FakeDesktopSession desktop;
    FakeSystemMemorySource memory;
    FakeSensorFactory sensors;
    FakeFloatingWidget widget;
    FakeFirstRunFlags firstRun;
    FakeDigestNotifier notifier;
    FakeSaveDialog saveDialog;
    FakeLoginItem loginItem;
    FakeStableInstaller installer;
    FakeAppTerminator terminator;
    FakePermissionProbe accessibility, screenRecording;
    FakeUrlOpener urls;
    std::unique_ptr<AppState> state;

    AppDependencies dependencies(SensorFactory* factory = nullptr) {
        return AppDependencies{clock,     steady,   scheduler, defaults,   files,      paths,      calendar,
                               processes, desktop,  memory,    SelfProcess{999, "velmora"},
                               factory ? *factory : sensors,   widget,     firstRun,   notifier,   saveDialog,
                               loginItem, installer, terminator, accessibility, screenRecording, urls,
                               std::nullopt, std::nullopt};
    }
    AppState& make(SensorFactory* factory = nullptr) {
        state = std::make_unique<AppState>(dependencies(factory));
        return *state;
    }
    // An app of one process, started from /usr/bin/`program`, with a window named `name`.
    void addApp(std::int32_t pid, const std::string& program, const std::string& name, std::uint64_t bytes,
                bool front) {
        ProcessReading r;
        r.pid = pid;
        r.executablePath = "/usr/bin/" + program;
        r.shortName = program;
        r.parentPid = 1;
        r.footprintBytes = bytes;
        r.startTime = 5;
        processes.processes.push_back(r);
        desktop.apps.push_back({pid, program, name, false, front});
    }
};

}  // namespace velmora
