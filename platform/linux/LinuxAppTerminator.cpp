#include "platform/linux/LinuxAppTerminator.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/X11Connection.h"

namespace velmora {

namespace {

// The process's start time when it is alive, not a zombie, and belongs to this user.
std::optional<std::uint64_t> ownLiveProcess(std::int32_t pid) {
    if (pid <= 0 || pid == ::getpid()) return std::nullopt;
    const std::string folder = "/proc/" + std::to_string(pid);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || info.st_uid != ::getuid()) return std::nullopt;
    std::ifstream in(folder + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto fields = procfs::parseStat(text);
    if (!fields || fields->state == 'Z' || fields->state == 'X') return std::nullopt;
    return fields->startTime;
}

int ignoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

LinuxAppTerminator::LinuxAppTerminator(DesktopSession& session, std::string displayName)
    : session_(session), displayName_(std::move(displayName)) {}

bool LinuxAppTerminator::remember(std::int32_t pid) {
    const auto start = ownLiveProcess(pid);
    if (!start) return false;
    startTimes_[pid] = *start;
    return true;
}

std::vector<std::int32_t> LinuxAppTerminator::applicationsWithBundleID(const std::string& bundleID) {
    std::vector<std::int32_t> pids;
    for (const auto& app : session_.runningApplications())
        if (app.bundleIdentifier == bundleID && std::find(pids.begin(), pids.end(), app.pid) == pids.end() &&
            remember(app.pid))
            pids.push_back(app.pid);
    return pids;
}

bool LinuxAppTerminator::hasWindow(std::int32_t pid) {
    const auto apps = session_.runningApplications();
    return std::any_of(apps.begin(), apps.end(), [&](const auto& app) { return app.pid == pid; }) && remember(pid);
}

bool LinuxAppTerminator::closeWindows(std::int32_t pid) {
    const auto known = startTimes_.find(pid);
    const auto now = ownLiveProcess(pid);
    // The pid may name another process by now; that one was never asked about.
    if (known == startTimes_.end() || !now || *now != known->second) return false;
    return closeWindowsOf(pid);
}

bool LinuxAppTerminator::closeWindowsOf(std::int32_t pid) {
    if (displayName_.empty()) return false;
    static std::once_flag handlers;
    std::call_once(handlers, [] { XSetErrorHandler(ignoreXError); });
    Display* display = XOpenDisplay(displayName_.c_str());
    if (!display) return false;
    const Window root = DefaultRootWindow(display);
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
    const Atom closeWindow = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    const auto longs = [&](Window w, Atom property, Atom type) { return readLongProperty(display, w, property, type); };
    bool asked = false, sent = true;
    for (const unsigned long window : longs(root, clientList, XA_WINDOW)) {
        const auto owner = longs(window, wmPid, XA_CARDINAL);
        if (owner.empty() || static_cast<std::int32_t>(owner.front()) != pid) continue;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = closeWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = CurrentTime;
        event.xclient.data.l[1] = 2;  // source: a pager or a user's direct action
        asked = true;
        sent = XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event) != 0 && sent;
    }
    XSync(display, False);
    XCloseDisplay(display);
    return asked && sent;
}

}  // namespace velmora
