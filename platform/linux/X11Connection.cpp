#include "platform/linux/X11Connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "engine/support/Utf8.h"
#include "platform/linux/ProcfsParsing.h"
#include "platform/linux/X11DesktopSession.h"

namespace velmora {

namespace {

// Waiting this long before reconnecting keeps a dead display from costing a connect per poll.
constexpr auto reconnectDelay = std::chrono::seconds(30);
// Longer titles are cut; 16 KiB of text is far past anything a title bar shows.
constexpr long maxTextLongs = 4096;

int ignoreXError(Display*, XErrorEvent*) { return 0; }
int ignoreIOError(Display*) { return 0; }

std::optional<int> innermostPidOf(int pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[8192];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    if (n <= 0) return std::nullopt;
    return procfs::innermostPid(std::string_view(buffer, static_cast<std::size_t>(n)));
}

}  // namespace

X11Connection::X11Connection(std::optional<std::string> displayName) : displayName_(std::move(displayName)) {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0) hostName_ = name;
}

X11Connection::~X11Connection() { disconnect(); }

std::optional<std::string> X11Connection::environmentDisplay() {
    const char* name = std::getenv("DISPLAY");
    return name ? std::optional<std::string>(name) : std::nullopt;
}

void X11Connection::disconnect() {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
}

void X11Connection::onConnectionLost(Display*, void* self) { static_cast<X11Connection*>(self)->broken_ = true; }

Display* X11Connection::get() {
    if (broken_) {
        disconnect();
        broken_ = false;
        retryAfter_ = std::chrono::steady_clock::now() + reconnectDelay;
    }
    if (display_) return display_;
    if (!hasDisplayName()) return nullptr;
    if (retryAfter_ && std::chrono::steady_clock::now() < *retryAfter_) return nullptr;
    static std::once_flag handlers;
    std::call_once(handlers, [] {
        // A window that vanishes between two requests is normal; a lost server is handled above.
        XSetErrorHandler(ignoreXError);
        XSetIOErrorHandler(ignoreIOError);
    });
    display_ = XOpenDisplay(displayName_->c_str());
    if (!display_) {
        retryAfter_ = std::chrono::steady_clock::now() + reconnectDelay;
        return nullptr;
    }
    retryAfter_.reset();
    XSetIOErrorExitHandler(display_, onConnectionLost, this);
    utf8String_ = atom("UTF8_STRING");
    netWmPid_ = atom("_NET_WM_PID");
    int event = 0, error = 0, major = 0, minor = 0;
    haveXRes_ = XResQueryExtension(display_, &event, &error) && XResQueryVersion(display_, &major, &minor) &&
                (major > 1 || (major == 1 && minor >= 2));
    if (onConnect) onConnect(display_);
    XFlush(display_);
    return broken_ ? nullptr : display_;
}

std::vector<unsigned long> readLongProperty(Display* display, Window w, Atom property, Atom type) {
    std::vector<unsigned long> out;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, w, property, 0, 1 << 16, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data && format == 32 && actualType == type) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        out.assign(items, items + count);
    }
    if (data) XFree(data);
    return out;
}

std::optional<std::string> X11Connection::text(Window w, Atom property) {
    XTextProperty value{};
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    if (XGetWindowProperty(display_, w, property, 0, maxTextLongs, False, AnyPropertyType, &actualType, &format, &count,
                           &after, &value.value) != Success ||
        !value.value) {
        return std::nullopt;
    }
    std::optional<std::string> out;
    if (format == 8 && count > 0) {
        std::string raw;
        if (actualType == utf8String_) {
            raw.assign(reinterpret_cast<const char*>(value.value), count);
        } else {
            value.encoding = actualType;
            value.format = format;
            value.nitems = count;
            char** list = nullptr;
            int items = 0;
            if (Xutf8TextPropertyToTextList(display_, &value, &list, &items) >= Success && list) {
                if (items > 0 && list[0]) raw = list[0];
                XFreeStringList(list);
            }
        }
        raw.resize(std::min(raw.size(), raw.find('\0')));
        if (!raw.empty()) out = utf8::sanitize(raw);
    }
    XFree(value.value);
    return out;
}

int X11Connection::ownerPid(Window w, bool* ownClient) {
    if (ownClient) *ownClient = false;
    XTextProperty machine{};
    if (XGetWMClientMachine(display_, w, &machine) && machine.value) {
        const std::string host(reinterpret_cast<const char*>(machine.value), machine.nitems);
        XFree(machine.value);
        if (!hostName_.empty() && host != hostName_) return 0;
    }
    const auto pid = longs(w, netWmPid_, XA_CARDINAL);
    const int claimed = !pid.empty() && pid[0] > 0 && pid[0] < (1ul << 31) ? static_cast<int>(pid[0]) : 0;
    int server = 0;
    if (haveXRes_) {
        XResClientIdSpec spec{w, XRES_CLIENT_ID_PID_MASK};
        long count = 0;
        XResClientIdValue* values = nullptr;
        if (XResQueryClientIds(display_, 1, &spec, &count, &values) == Success) {
            for (long i = 0; i < count && server <= 0; ++i) server = XResGetClientPid(&values[i]);
            XResClientIdsDestroy(count, values);
        }
    }
    std::optional<int> innermost;
    if (claimed > 0 && server > 0 && server != claimed) innermost = innermostPidOf(server);
    const int owner = windowOwnerPid(claimed, server > 0 ? server : 0, innermost);
    if (ownClient) *ownClient = owner > 0 && owner == server;
    return owner;
}

}  // namespace velmora
