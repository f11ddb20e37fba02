#include "platform/linux/X11Workspace.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <map>

#include "platform/linux/X11Connection.h"

namespace velmora {

struct X11Workspace::Impl : std::enable_shared_from_this<Impl> {
    Scheduler& scheduler;
    DesktopSession& session;
    X11Connection x;
    Atom clientListAtom = None, activeWindowAtom = None;
    bool stale = true;   // the server said the client list or the active window changed
    bool loaded = false;  // `apps` holds a first reading
    std::vector<RunningApplication> apps;
    std::int32_t lastActivePid = 0;
    std::map<ObserverId, std::pair<WorkspaceNotification, Handler>> observers;
    ObserverId nextId = 1;
    std::optional<Scheduler::TimerId> timer;  // the drain timer, while the connection cannot be watched
    std::optional<Scheduler::TimerId> watch;  // the connection's descriptor, while it can
    int watchedDescriptor = -1;

    Impl(Scheduler& s, DesktopSession& d, std::optional<std::string> displayName)
        : scheduler(s), session(d), x(std::move(displayName)) {
        x.onConnect = [this](Display* display) {
            clientListAtom = x.atom("_NET_CLIENT_LIST");
            activeWindowAtom = x.atom("_NET_ACTIVE_WINDOW");
            stale = true;
            XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
        };
    }

    ~Impl() { stopWaking(); }

    void stopWaking() {
        if (timer) scheduler.cancel(*timer);
        if (watch) scheduler.cancel(*watch);
        timer.reset();
        watch.reset();
        watchedDescriptor = -1;
    }

    // While anyone observes: woken when the server writes to the connection, so an idle desktop
    // costs nothing; a short timer drains instead where the descriptor cannot be watched, and
    // while there is no connection (a dead one reads as always ready).
    void keepWaking() {
        if (observers.empty() || !x.hasDisplayName()) return stopWaking();
        Display* d = x.broken() ? nullptr : x.get();
        const int fd = d ? ConnectionNumber(d) : -1;
        if (fd >= 0 && fd == watchedDescriptor) return;
        if (watch) scheduler.cancel(*watch);
        watch.reset();
        watchedDescriptor = -1;
        if (fd >= 0) watch = scheduler.watchReadable(fd, [this] { refresh(); });
        if (watch) {
            watchedDescriptor = fd;
            if (timer) scheduler.cancel(*timer);
            timer.reset();
            // Events read into the queue by this connection's own requests wake nobody.
            if (XEventsQueued(d, QueuedAlready) > 0)
                scheduler.post([weak = weak_from_this()] {
                    if (const auto self = weak.lock()) self->refresh();
                });
        } else if (!timer) {
            timer = scheduler.scheduleRepeating(drainInterval, [this] { refresh(); });
        }
    }

    void notify(WorkspaceNotification name, const RunningApplication& app) {
        // Observers hear of it on a turn of their own, never inside a call into the workspace.
        scheduler.post([weak = weak_from_this(), name, app] {
            const auto self = weak.lock();
            if (!self) return;
            std::vector<ObserverId> ids;
            for (const auto& [id, observer] : self->observers)
                if (observer.first == name) ids.push_back(id);
            for (const auto id : ids) {
                const auto it = self->observers.find(id);
                if (it == self->observers.end()) continue;  // removed by an earlier handler
                const Handler handler = it->second.second;
                handler(app);
            }
        });
    }

    void refresh() {
        drain();
        keepWaking();
    }

    void drain() {
        Display* d = x.get();
        if (!d) return;
        while (!x.broken() && XEventsQueued(d, QueuedAfterReading) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == PropertyNotify && (e.xproperty.atom == clientListAtom || e.xproperty.atom == activeWindowAtom))
                stale = true;
        }
        if (!stale || x.broken()) return;
        session.windowListsChanged();
        auto now = session.runningApplications();
        // A session that lost its own connection reads as empty; that is not every app quitting.
        if (now.empty() && !x.longs(DefaultRootWindow(d), clientListAtom, XA_WINDOW).empty()) return;
        if (x.broken()) return;
        stale = false;

        if (loaded) {
            const auto has = [](const std::vector<RunningApplication>& list, std::int32_t pid) {
                return std::any_of(list.begin(), list.end(), [pid](const auto& a) { return a.pid == pid; });
            };
            for (const auto& app : apps)
                if (!has(now, app.pid)) {
                    notify(WorkspaceNotification::didTerminateApplication, app);
                    if (app.pid == lastActivePid) lastActivePid = 0;
                }
            for (const auto& app : now)
                if (!has(apps, app.pid)) notify(WorkspaceNotification::didLaunchApplication, app);
        }
        const auto active = std::find_if(now.begin(), now.end(), [](const auto& a) { return a.isActive; });
        // Focus passing through no window and back to the same application is no activation.
        if (active != now.end() && active->pid != lastActivePid) {
            if (loaded) notify(WorkspaceNotification::didActivateApplication, *active);
            lastActivePid = active->pid;
        }
        apps = std::move(now);
        loaded = true;
    }
};

X11Workspace::X11Workspace(Scheduler& scheduler, DesktopSession& session)
    : impl_(std::make_shared<Impl>(scheduler, session, X11Connection::environmentDisplay())) {}

X11Workspace::X11Workspace(Scheduler& scheduler, DesktopSession& session, std::string displayName)
    : impl_(std::make_shared<Impl>(scheduler, session, std::move(displayName))) {}

X11Workspace::~X11Workspace() = default;

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    impl_->refresh();
    for (const auto& app : impl_->apps)
        if (app.isActive) return app;
    return std::nullopt;
}

Workspace::ObserverId X11Workspace::addObserver(WorkspaceNotification name, Handler handler) {
    const ObserverId id = impl_->nextId++;
    impl_->observers.emplace(id, std::pair{name, std::move(handler)});
    // Learn the current applications now, so that only what changes after is reported.
    if (!impl_->timer && !impl_->watch && impl_->x.hasDisplayName()) impl_->refresh();
    return id;
}

void X11Workspace::removeObserver(ObserverId id) {
    impl_->observers.erase(id);
    if (impl_->observers.empty()) impl_->stopWaking();
}

}  // namespace velmora
