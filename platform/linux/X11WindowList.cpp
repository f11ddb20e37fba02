#include "platform/linux/X11WindowList.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <map>
#include <set>

#include "platform/linux/X11Connection.h"

namespace velmora {

namespace {

constexpr unsigned long allDesktops = 0xFFFFFFFFul;

}  // namespace

struct X11WindowList::Impl {
    struct Entry {
        ListedWindow window;
        bool mapped = false;
        bool hidden = false;          // minimised (_NET_WM_STATE_HIDDEN)
        bool desktopElement = false;  // the desktop background itself
        std::optional<unsigned long> desktop;
        bool titleStale = true, stateStale = true, geometryStale = true, desktopStale = true;
    };

    X11Connection x;
    Atom stackingAtom = None, netWmName = None, netWmState = None, stateAbove = None, stateBelow = None,
         stateHidden = None, windowType = None, typeDock = None, typeDesktop = None, netWmDesktop = None,
         currentDesktopAtom = None;
    std::map<Window, Entry> cache;
    std::vector<Window> stacking;  // bottom to top, as the window manager lists it
    bool stackingStale = true;
    std::optional<unsigned long> currentDesktop;
    bool currentDesktopStale = true;

    explicit Impl(std::optional<std::string> displayName) : x(std::move(displayName)) {
        x.onConnect = [this](Display* d) {
            stackingAtom = x.atom("_NET_CLIENT_LIST_STACKING");
            netWmName = x.atom("_NET_WM_NAME");
            netWmState = x.atom("_NET_WM_STATE");
            stateAbove = x.atom("_NET_WM_STATE_ABOVE");
            stateBelow = x.atom("_NET_WM_STATE_BELOW");
            stateHidden = x.atom("_NET_WM_STATE_HIDDEN");
            windowType = x.atom("_NET_WM_WINDOW_TYPE");
            typeDock = x.atom("_NET_WM_WINDOW_TYPE_DOCK");
            typeDesktop = x.atom("_NET_WM_WINDOW_TYPE_DESKTOP");
            netWmDesktop = x.atom("_NET_WM_DESKTOP");
            currentDesktopAtom = x.atom("_NET_CURRENT_DESKTOP");
            cache.clear();
            stacking.clear();
            stackingStale = currentDesktopStale = true;
            XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
        };
    }

    // Marks what the queued events say has changed; reads no more than is already there.
    void drain(Display* d) {
        while (!x.broken() && XEventsQueued(d, QueuedAfterReading) > 0) {
            XEvent e;
            XNextEvent(d, &e);
            const Window w = e.xany.window;
            if (e.type == PropertyNotify && w == DefaultRootWindow(d)) {
                if (e.xproperty.atom == stackingAtom) stackingStale = true;
                if (e.xproperty.atom == currentDesktopAtom) currentDesktopStale = true;
                continue;
            }
            const auto it = cache.find(w);
            if (it == cache.end()) continue;
            Entry& entry = it->second;
            switch (e.type) {
                case PropertyNotify: {
                    const Atom a = e.xproperty.atom;
                    if (a == netWmName || a == XA_WM_NAME) entry.titleStale = true;
                    if (a == netWmState || a == windowType) entry.stateStale = true;
                    if (a == netWmDesktop) entry.desktopStale = true;
                    break;
                }
                case ConfigureNotify:
                case ReparentNotify: entry.geometryStale = true; break;
                case MapNotify: entry.mapped = true; break;
                case UnmapNotify: entry.mapped = false; break;
                case DestroyNotify: cache.erase(it); break;
                default: break;
            }
        }
    }

    // Reads a window seen for the first time; false when it is already gone.
    bool load(Display* d, Window w, Entry& entry) {
        // Listen first, so no change between the reads below and the next call is lost.
        XSelectInput(d, w, PropertyChangeMask | StructureNotifyMask);
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, w, &attributes)) return false;
        entry.window.windowId = w;
        entry.mapped = attributes.map_state != IsUnmapped;
        entry.window.ownerPid = x.ownerPid(w);
        return true;
    }

    void refresh(Display* d, Window w, Entry& entry) {
        if (entry.titleStale) {
            entry.window.title = x.text(w, netWmName);
            if (!entry.window.title) entry.window.title = x.text(w, XA_WM_NAME);
            entry.titleStale = false;
        }
        if (entry.stateStale) {
            const auto types = x.longs(w, windowType, XA_ATOM);
            const auto states = x.longs(w, netWmState, XA_ATOM);
            const auto has = [](const std::vector<unsigned long>& list, Atom a) {
                return std::find(list.begin(), list.end(), a) != list.end();
            };
            entry.desktopElement = has(types, typeDesktop);
            entry.hidden = has(states, stateHidden);
            entry.window.layer = has(types, typeDock)      ? ListedWindow::dockLayer
                                 : has(states, stateAbove) ? ListedWindow::aboveLayer
                                 : has(states, stateBelow) ? ListedWindow::belowLayer
                                                           : ListedWindow::normalLayer;
            entry.stateStale = false;
        }
        if (entry.desktopStale) {
            const auto desktop = x.longs(w, netWmDesktop, XA_CARDINAL);
            entry.desktop = desktop.empty() ? std::nullopt : std::optional<unsigned long>(desktop[0]);
            entry.desktopStale = false;
        }
        if (entry.geometryStale) {
            Window root = None, child = None;
            int px = 0, py = 0, rx = 0, ry = 0;
            unsigned width = 0, height = 0, border = 0, depth = 0;
            if (XGetGeometry(d, w, &root, &px, &py, &width, &height, &border, &depth) &&
                XTranslateCoordinates(d, w, root, 0, 0, &rx, &ry, &child)) {
                entry.window.bounds = {static_cast<double>(rx), static_cast<double>(ry), static_cast<double>(width),
                                       static_cast<double>(height)};
            }
            entry.geometryStale = false;
        }
        entry.window.onScreen = entry.mapped && !entry.hidden &&
                                (!entry.desktop || !currentDesktop || *entry.desktop == allDesktops ||
                                 *entry.desktop == *currentDesktop);
    }

    std::vector<ListedWindow> list() {
        Display* d = x.get();
        if (!d) return {};
        drain(d);
        const Window root = DefaultRootWindow(d);
        if (currentDesktopStale) {
            const auto current = x.longs(root, currentDesktopAtom, XA_CARDINAL);
            currentDesktop = current.empty() ? std::nullopt : std::optional<unsigned long>(current[0]);
            currentDesktopStale = false;
        }
        if (stackingStale) {
            const auto items = x.longs(root, stackingAtom, XA_WINDOW);
            stacking.assign(items.begin(), items.end());
            const std::set<Window> listed(stacking.begin(), stacking.end());
            for (auto it = cache.begin(); it != cache.end();) {
                if (listed.count(it->first)) {
                    ++it;
                    continue;
                }
                XSelectInput(d, it->first, NoEventMask);
                it = cache.erase(it);
            }
            stackingStale = false;
        }
        std::vector<ListedWindow> out;
        for (auto it = stacking.rbegin(); it != stacking.rend() && !x.broken(); ++it) {
            auto entry = cache.find(*it);
            if (entry == cache.end()) {
                Entry fresh;
                if (!load(d, *it, fresh)) continue;
                entry = cache.emplace(*it, std::move(fresh)).first;
            }
            refresh(d, *it, entry->second);
            if (!entry->second.desktopElement) out.push_back(entry->second.window);
        }
        if (x.broken()) return {};
        return out;
    }
};

X11WindowList::X11WindowList() : impl_(std::make_unique<Impl>(X11Connection::environmentDisplay())) {}
X11WindowList::X11WindowList(std::string displayName) : impl_(std::make_unique<Impl>(std::move(displayName))) {}
X11WindowList::~X11WindowList() = default;

std::vector<ListedWindow> X11WindowList::windows() { return impl_->list(); }

}  // namespace velmora
