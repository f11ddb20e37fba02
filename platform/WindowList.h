#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct WindowBounds {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const WindowBounds&) const = default;
};

// One top-level window of the desktop, as the window manager lists it.
struct ListedWindow {
    // Ordinary windows sit on layer 0; keep-above windows and docks above it, keep-below ones under it.
    static constexpr int normalLayer = 0;
    static constexpr int aboveLayer = 3;
    static constexpr int dockLayer = 20;
    static constexpr int belowLayer = -1;

    std::uint64_t windowId = 0;         // the X window id
    std::int32_t ownerPid = 0;          // 0 when unknown
    int layer = normalLayer;
    std::optional<std::string> title;   // absent when the window has none (valid UTF-8 otherwise)
    WindowBounds bounds;                // in screen pixels
    bool onScreen = false;              // mapped and viewable (not minimised, not on another desktop)
    bool operator==(const ListedWindow&) const = default;
};

// The desktop's window list. Without a display, or after the connection broke, it is empty.
class WindowList {
public:
    virtual ~WindowList() = default;
    // The top-level windows, frontmost first, hidden ones included (see `onScreen`); the desktop
    // background is left out.
    virtual std::vector<ListedWindow> windows() = 0;
};

}  // namespace velmora
