// The velmora executable: builds the platform, the application state and the main window, then
// runs the Qt event loop. Without a display it runs on Qt's offscreen platform, still sampling and
// writing stories.
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "app/qt/AppStateAdapter.h"
#include "app/qt/DesktopSensorFactory.h"
#include "app/qt/SingleInstance.h"
#include "platform/AccessibilityPermission.h"
#include "platform/linux/A11yBusPermission.h"
#include "platform/linux/AtspiAccessibilityTree.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/LinuxAppTerminator.h"
#include "platform/linux/LinuxLoopbackListener.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/LinuxStableInstaller.h"
#include "platform/linux/LocalCalendar.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/SteadyClock.h"
#include "platform/linux/SystemClock.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/UnavailableScriptRunner.h"
#include "platform/linux/X11DesktopSession.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "platform/linux/X11WindowList.h"
#include "platform/linux/X11Workspace.h"
#include "platform/linux/XdgLoginItem.h"
#include "platform/linux/XdgPaths.h"
#include "platform/qt/DBusNotifier.h"
#include "platform/qt/DesktopUrlOpener.h"
#include "platform/qt/QtHttpsClient.h"
#include "platform/qt/QtSaveDialog.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtScreenCapture.h"
#include "ui/main/MainWindow.h"
#include "ui/style/Theme.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/windows/FirstRunView.h"

#include <QApplication>
#include <QSocketNotifier>

namespace velmora {
namespace {

// The desktop's accessibility switch as the grant the application state reads.
class AccessibilityProbe final : public PermissionProbe {
public:
    explicit AccessibilityProbe(AccessibilityPermission& permission) : permission_(permission) {}
    bool isGranted() const override { return permission_.isGranted(); }
    void request() override { permission_.request(); }

private:
    AccessibilityPermission& permission_;
};

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::string runningExecutable() {
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

// Installed: <prefix>/bin/velmora beside <prefix>/share/velmora. From a source build: the source
// tree's extension folder.
std::optional<std::string> resourceFolder(const std::string& executable) {
    std::error_code ec;
    const auto installed = std::filesystem::path(executable).parent_path().parent_path() / "share" / "velmora";
    if (std::filesystem::is_directory(installed, ec)) return installed.string();
    const auto source = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "extension";
    if (std::filesystem::is_directory(source, ec)) return source.string();
    return std::nullopt;
}

std::string autostartFolder(const std::string& home) {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config) + "/autostart";
    return home + "/.config/autostart";
}

// Shown again if it was closed, restored if minimised, and put in front of the other windows.
void bringForward(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

// SIGTERM and SIGINT end the event loop, so everything is torn down in order.
int signalPipe[2] = {-1, -1};
void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

void quitOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    using namespace velmora;
    // A copy started by Install opens nothing until the instance that started it has gone.
    LinuxStableInstaller::waitForReplacedInstance(5.0);
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (noDisplay && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Wayland sessions run us through XWayland: the window list, titles and idle time are X11's.
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Nothing is logged: Qt's own warnings (a plugin without some feature, say) are dropped too.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velmora");
    QApplication::setDesktopFileName("velmora");
    // One Velmora per user session: a second launch shows the running one's window and ends.
    SingleInstance instance(privateRuntimeFolder(std::getenv("XDG_RUNTIME_DIR")));
    switch (instance.claim()) {
        case SingleInstance::Claim::handedOver: return 0;
        case SingleInstance::Claim::unanswered: return 1;
        case SingleInstance::Claim::first:
        case SingleInstance::Claim::unguarded: break;
    }
    applyDarkFusion(app);
    quitOnSignals(app);

    const std::string executable = runningExecutable();
    const std::string home = homeFolder();

    SystemClock clock;
    SteadyClock steady;
    QtScheduler scheduler;
    PosixFileSystem files;
    XdgPaths paths;
    JsonFileDefaults defaults(files, paths.configDirectory() + "/defaults.json");
    LocalCalendar calendar;
    ProcfsProcessSource processes;
    X11DesktopSession desktop;
    LinuxMemorySource memory;
    const SelfProcess self{static_cast<std::int32_t>(::getpid()), std::string("velmora")};

    X11Workspace workspace(scheduler, desktop);
    X11WindowList windows;
    X11IdleTimeSource idleTime;
    UnavailableScriptRunner scripts;
    A11yBusPermission accessibilityBus;
    AtspiAccessibilityTree accessibilityTree(desktop, accessibilityBus);
    QtScreenRecordingPermission screenRecording;
    QtScreenCapture capture;
    TesseractTextRecognizer recognizer(scheduler);
    QtHttpsClient http;
    LinuxLoopbackListener listener;
    DesktopSensorFactory sensors({clock, scheduler, self, desktop, workspace, windows, idleTime, scripts,
                                  accessibilityTree, screenRecording, capture, recognizer, http, listener});

    QtWidgetWindowing windowing;
    FloatingWidgetController widget(windowing, defaults, scheduler);
    StoredFirstRunFlags firstRun(defaults, files, executable);
    DBusNotifier notifier;
    QtSaveDialog saveDialog;
    XdgLoginItem loginItem(autostartFolder(home), executable);
    const auto resources = resourceFolder(executable);
    LinuxStableInstaller installer({home, executable, resources}, scheduler, [] { QCoreApplication::quit(); });
    LinuxAppTerminator terminator(desktop, qEnvironmentVariable("DISPLAY").toStdString());
    AccessibilityProbe accessibility(accessibilityBus);
    DesktopUrlOpener urls;

    AppState state(AppDependencies{clock, steady, scheduler, defaults, files, paths, calendar, processes, desktop,
                                   memory, self, sensors, widget, firstRun, notifier, saveDialog, loginItem,
                                   installer, terminator, accessibility, screenRecording, urls, VELMORA_VERSION,
                                   resources});
    AppStateAdapter adapter(state, scheduler);
    windowing.attach(adapter, widget);
    MainWindow window(adapter);
    saveDialog.setParentWindow(&window);
    QObject::connect(&instance, &SingleInstance::showRequested, &window, [&window] { bringForward(window); });
    window.show();
    return app.exec();
}
