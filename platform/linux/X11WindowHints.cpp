#include "platform/linux/X11WindowHints.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velmora {

void markAsUtilityOnEveryWorkspace(void* displayHandle, std::uint64_t window) {
    auto* display = static_cast<Display*>(displayHandle);
    if (!display || !window) return;
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const Atom utility = XInternAtom(display, "_NET_WM_WINDOW_TYPE_UTILITY", False);
    const Atom desktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
    const unsigned long everyDesktop = 0xFFFFFFFFul;
    XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&utility), 1);
    XChangeProperty(display, window, desktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&everyDesktop), 1);
    XFlush(display);
}

}  // namespace velmora
