#pragma once
// A private Xlib connection for one sensor, reopened after the server goes away. Internal to
// the X11 implementations; nothing above platform/linux sees Xlib.
#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The 32-bit items of a property of the given type; empty when it is missing or the window is gone.
std::vector<unsigned long> readLongProperty(Display* display, Window w, Atom property, Atom type);

class X11Connection {
public:
    // An absent or empty display name never connects.
    explicit X11Connection(std::optional<std::string> displayName);
    ~X11Connection();
    // $DISPLAY, absent when unset.
    static std::optional<std::string> environmentDisplay();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // The open display, connecting first when needed (after a failure, at most every few
    // seconds); null when there is none. `onConnect` runs on each new connection.
    Display* get();
    // The connection broke during the last calls; the next get() starts over.
    bool broken() const { return broken_; }
    bool hasDisplayName() const { return displayName_ && !displayName_->empty(); }
    std::function<void(Display*)> onConnect;

    Atom atom(const char* name) { return XInternAtom(display_, name, False); }
    std::vector<unsigned long> longs(Window w, Atom property, Atom type) {
        return readLongProperty(display_, w, property, type);
    }
    // A text property as valid UTF-8 (UTF8_STRING taken as is, STRING and COMPOUND_TEXT
    // converted), cut at the first NUL; absent when missing or empty.
    std::optional<std::string> text(Window w, Atom property);
    // The process owning a window as the desktop session counts it (_NET_WM_PID, else the X
    // server's own record); 0 for a remote client or when unknown. `ownClient` says whether the
    // server knows that process as the window's own client, so the window goes when it does.
    int ownerPid(Window w, bool* ownClient = nullptr);

private:
    void disconnect();
    static void onConnectionLost(Display*, void* self);

    std::optional<std::string> displayName_;
    Display* display_ = nullptr;
    bool broken_ = false;
    std::optional<std::chrono::steady_clock::time_point> retryAfter_;
    Atom utf8String_ = None, netWmPid_ = None;
    bool haveXRes_ = false;
    std::string hostName_;
};

}  // namespace velmora
