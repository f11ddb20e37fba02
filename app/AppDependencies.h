#pragma once
#include <optional>
#include <string>

#include "engine/sampling/ProcessGrouper.h"

namespace velmora {

class AppTerminator;
class Calendar;
class Clock;
class DefaultsStore;
class DesktopSession;
class DigestNotifier;
class FileSystem;
class FirstRunFlags;
class FloatingWidget;
class LoginItem;
class MonotonicClock;
class Paths;
class PermissionProbe;
class ProcessSource;
class SaveDialog;
class Scheduler;
class SensorFactory;
class StableInstaller;
class SystemMemorySource;
class UrlOpener;

// Everything AppState reaches outside itself; the application passes the real ones, tests fakes.
struct AppDependencies {
    const Clock& clock;
    const MonotonicClock& steadyClock;
    Scheduler& scheduler;
    DefaultsStore& defaults;
    FileSystem& files;
    const Paths& paths;
    const Calendar& calendar;
    ProcessSource& processes;
    DesktopSession& desktop;
    SystemMemorySource& memory;
    SelfProcess self;
    SensorFactory& sensors;
    FloatingWidget& floatingWidget;
    FirstRunFlags& firstRun;
    DigestNotifier& notifier;
    SaveDialog& saveDialog;
    LoginItem& loginItem;
    StableInstaller& installer;
    AppTerminator& terminator;
    PermissionProbe& accessibilityPermission;
    PermissionProbe& screenRecordingPermission;
    UrlOpener& urlOpener;
    std::optional<std::string> appVersion;         // none: the export says "unknown"
    std::optional<std::string> resourceDirectory;  // holds the "chromium" and "firefox" extension folders
};

}  // namespace velmora
