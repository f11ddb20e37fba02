#include "platform/linux/X11DesktopSession.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>

#include "engine/support/Utf8.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/X11Connection.h"

namespace velmora {

namespace {

// Desktop entries are read again at most this often, when an application not seen before appears.
constexpr auto desktopEntriesRefresh = std::chrono::seconds(60);
// A process environment larger than this is not searched.
constexpr std::size_t maxEnvironmentBytes = 1 << 20;

std::optional<std::string> readFile(const std::string& path, std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > limit) {
            close(fd);
            return std::nullopt;
        }
    }
    close(fd);
    return out;
}

std::optional<std::uint64_t> startTimeOf(int pid) {
    const auto text = readFile("/proc/" + std::to_string(pid) + "/stat", 4096);
    if (!text) return std::nullopt;
    const auto stat = procfs::parseStat(*text);
    if (!stat) return std::nullopt;
    return stat->startTime;
}

// A desktop-file id given as a path or with its extension, reduced to the id.
std::string reduceToId(std::string value) {
    if (const auto slash = value.rfind('/'); slash != std::string::npos) value.erase(0, slash + 1);
    constexpr std::string_view extension = ".desktop";
    if (value.size() > extension.size() && value.compare(value.size() - extension.size(), extension.size(), extension) == 0)
        value.resize(value.size() - extension.size());
    return value;
}

}  // namespace

int windowOwnerPid(int claimed, int server, std::optional<int> serverInnermost) {
    if (claimed <= 0) return server > 0 ? server : 0;
    if (server > 0 && server != claimed && serverInnermost == claimed) return server;
    return claimed;
}

struct X11DesktopSession::Impl {
    struct WindowInfo {
        int pid = 0;  // 0 when unknown
        bool ownClient = false;  // the pid is the window's own client's: the window goes with it
        std::optional<std::string> applicationId;  // _GTK_APPLICATION_ID or _KDE_NET_WM_DESKTOP_FILE
        std::optional<std::string> windowClass;    // the class part of WM_CLASS
        bool background = false;                   // a dock or the desktop itself
    };
    struct AppInfo {
        std::optional<std::string> bundleIdentifier;
        std::optional<std::string> localizedName;
    };

    X11Connection x;
    Atom clientList = None, activeWindow = None, gtkApplicationId = None, kdeDesktopFile = None, windowType = None,
         typeDock = None, typeDesktop = None;

    std::map<Window, WindowInfo> windows;
    std::map<std::pair<int, std::uint64_t>, AppInfo> apps;  // by pid and start time
    std::map<int, std::uint64_t> startTimes;                 // of the pids listed last time
    // The root's client list and active window, read again only when the server says they changed.
    std::vector<unsigned long> clients, active;
    bool listsChanged = true;
    // The last list, given again while nothing it was made from has changed. A pid that no window
    // of its own client holds can end without a word from the server: those are checked still.
    std::vector<RunningApplication> last;
    std::vector<int> unheld;
    bool lastValid = false;
    DesktopEntryIndex entries;
    std::optional<std::chrono::steady_clock::time_point> entriesLoaded;

    explicit Impl(std::optional<std::string> displayName) : x(std::move(displayName)) {
        x.onConnect = [this](Display* display) {
            // Window ids belong to the server they came from.
            windows.clear();
            startTimes.clear();
            listsChanged = true;
            lastValid = false;
            clientList = x.atom("_NET_CLIENT_LIST");
            activeWindow = x.atom("_NET_ACTIVE_WINDOW");
            gtkApplicationId = x.atom("_GTK_APPLICATION_ID");
            kdeDesktopFile = x.atom("_KDE_NET_WM_DESKTOP_FILE");
            windowType = x.atom("_NET_WM_WINDOW_TYPE");
            typeDock = x.atom("_NET_WM_WINDOW_TYPE_DOCK");
            typeDesktop = x.atom("_NET_WM_WINDOW_TYPE_DESKTOP");
            XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
        };
    }

    // What a window is, read when it first appears; none when it is already gone. Its
    // DestroyNotify then comes before any window that reuses the id can be listed.
    std::optional<WindowInfo> describe(Display* display, Window w) {
        XSelectInput(display, w, StructureNotifyMask);
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, w, &attributes)) return std::nullopt;
        WindowInfo info;
        info.pid = x.ownerPid(w, &info.ownClient);
        info.applicationId = x.text(w, gtkApplicationId);
        if (!info.applicationId) {
            if (auto kde = x.text(w, kdeDesktopFile)) info.applicationId = reduceToId(*kde);
        }
        XClassHint hint{};
        if (XGetClassHint(display, w, &hint)) {
            if (hint.res_class && hint.res_class[0]) info.windowClass = utf8::sanitize(hint.res_class);
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
        for (const auto type : x.longs(w, windowType, XA_ATOM))
            if (type == typeDock || type == typeDesktop) info.background = true;
        return info;
    }

    void refreshEntries(bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!force && entriesLoaded && now - *entriesLoaded < desktopEntriesRefresh) return;
        entriesLoaded = now;
        entries.load(applicationFolders(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), std::getenv("XDG_DATA_DIRS")),
                     messagesLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")));
    }

    AppInfo identify(int pid, const std::vector<const WindowInfo*>& owned) {
        refreshEntries(false);
        AppInfo app;
        std::optional<std::string> windowClass;
        for (const auto* w : owned) {
            if (!app.bundleIdentifier && w->applicationId) app.bundleIdentifier = w->applicationId;
            if (!windowClass && w->windowClass) windowClass = w->windowClass;
        }
        if (!app.bundleIdentifier) {
            if (const auto environment = readFile("/proc/" + std::to_string(pid) + "/environ", maxEnvironmentBytes))
                app.bundleIdentifier = launchedDesktopFileId(*environment, pid);
        }
        if (!app.bundleIdentifier && windowClass) {
            if (const auto* entry = entries.byWindowClass(*windowClass)) app.bundleIdentifier = entry->id;
        }
        if (!app.bundleIdentifier) app.bundleIdentifier = windowClass;
        if (app.bundleIdentifier) app.localizedName = nameOf(*app.bundleIdentifier);
        if (!app.localizedName) app.localizedName = windowClass;
        return app;
    }

    // Entries loaded already.
    std::optional<std::string> nameOf(const std::string& id) const {
        const DesktopEntry* entry = entries.byId(id);
        if (!entry) {
            std::string lower = id;
            for (auto& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            entry = entries.byId(lower);
        }
        return entry ? entry->name : std::nullopt;
    }

    // The server hands a closed client's window ids to the next client: what was read about a
    // destroyed window must not be credited to a new one with its id.
    void forgetDestroyed(Display* display) {
        while (!x.broken() && XEventsQueued(display, QueuedAfterReading) > 0) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == DestroyNotify && windows.erase(e.xdestroywindow.window) > 0) lastValid = false;
            if (e.type == PropertyNotify && (e.xproperty.atom == clientList || e.xproperty.atom == activeWindow))
                listsChanged = true;
        }
    }

    std::vector<RunningApplication> list() {
        Display* display = x.get();
        if (!display) return {};
        forgetDestroyed(display);
        if (lastValid && !listsChanged && unheldStillRunning()) return last;
        lastValid = false;
        const Window root = DefaultRootWindow(display);
        if (listsChanged) {
            clients = x.longs(root, clientList, XA_WINDOW);
            active = x.longs(root, activeWindow, XA_WINDOW);
            if (x.broken()) return {};
            listsChanged = false;
        }

        std::set<Window> present;
        std::vector<int> order;
        std::map<int, std::vector<const WindowInfo*>> byPid;
        std::set<int> listedBefore;  // pids whose own client's window was listed last time
        int activePid = 0;
        bool complete = true;  // every listed window was read
        for (const auto id : clients) {
            const Window w = id;
            present.insert(w);
            auto it = windows.find(w);
            if (it == windows.end()) {
                auto info = describe(display, w);
                if (x.broken()) return {};
                if (!info) {
                    complete = false;
                    continue;
                }
                it = windows.emplace(w, std::move(*info)).first;
            } else if (it->second.ownClient) {
                listedBefore.insert(it->second.pid);
            }
            const WindowInfo& info = it->second;
            if (info.pid <= 0) continue;
            auto& owned = byPid[info.pid];
            if (owned.empty()) order.push_back(info.pid);
            owned.push_back(&info);
            if (!active.empty() && active[0] == w) activePid = info.pid;
        }
        for (auto it = windows.begin(); it != windows.end();) {
            if (present.count(it->first)) {
                ++it;
                continue;
            }
            XSelectInput(display, it->first, NoEventMask);
            it = windows.erase(it);
        }

        std::vector<RunningApplication> out;
        std::set<std::pair<int, std::uint64_t>> seen;
        std::map<int, std::uint64_t> starts;
        for (const int pid : order) {
            // The server destroys a client's windows when it goes, so while a window of its own
            // client is still listed the pid is still the process read then.
            const auto known = listedBefore.count(pid) ? startTimes.find(pid) : startTimes.end();
            const auto start = known != startTimes.end() ? std::optional(known->second) : startTimeOf(pid);
            if (!start) continue;  // gone already
            starts.emplace(pid, *start);
            const std::pair key{pid, *start};
            seen.insert(key);
            auto it = apps.find(key);
            if (it == apps.end()) it = apps.emplace(key, identify(pid, byPid[pid])).first;
            RunningApplication app;
            app.pid = pid;
            app.bundleIdentifier = it->second.bundleIdentifier;
            app.localizedName = it->second.localizedName;
            app.activationProhibited = true;
            for (const auto* w : byPid[pid]) app.activationProhibited = app.activationProhibited && w->background;
            app.isActive = pid == activePid;
            out.push_back(std::move(app));
        }
        for (auto it = apps.begin(); it != apps.end();) it = seen.count(it->first) ? std::next(it) : apps.erase(it);
        startTimes = std::move(starts);
        unheld.clear();
        for (const int pid : order) {
            const auto& owned = byPid[pid];
            if (std::none_of(owned.begin(), owned.end(), [](const WindowInfo* w) { return w->ownClient; }))
                unheld.push_back(pid);
        }
        lastValid = complete && out.size() == order.size();
        last = out;
        return out;
    }

    bool unheldStillRunning() const {
        return std::all_of(unheld.begin(), unheld.end(), [this](int pid) {
            const auto known = startTimes.find(pid);
            return known != startTimes.end() && startTimeOf(pid) == known->second;
        });
    }
};

X11DesktopSession::X11DesktopSession() : impl_(std::make_unique<Impl>(X11Connection::environmentDisplay())) {}

X11DesktopSession::X11DesktopSession(std::string displayName)
    : impl_(std::make_unique<Impl>(std::move(displayName))) {}

X11DesktopSession::~X11DesktopSession() = default;

std::vector<RunningApplication> X11DesktopSession::runningApplications() { return impl_->list(); }

void X11DesktopSession::windowListsChanged() { impl_->listsChanged = true; }

std::optional<std::string> X11DesktopSession::applicationName(const std::string& bundleIdentifier) {
    impl_->refreshEntries(false);
    return impl_->nameOf(bundleIdentifier);
}

}  // namespace velmora
