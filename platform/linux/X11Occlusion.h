#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenRect&) const = default;
};

// Rectangles that share only an edge or a corner do not meet; an empty one meets nothing.
bool intersects(const ScreenRect& a, const ScreenRect& b);

// One child of the root window.
struct StackedWindow {
    std::uint64_t id = 0;
    ScreenRect rect;      // root coordinates, border included
    bool shown = false;   // mapped, viewable and drawing pixels of its own
};

// Whether a shown window stacked above `frame` (the root's child that holds the target) meets
// `target`. `bottomToTop` is the root's children in stacking order. A frame missing from the
// list counts as covered: nothing is known of what lies over it.
bool coveredInStacking(const std::vector<StackedWindow>& bottomToTop, std::uint64_t frame, const ScreenRect& target);

// A window's pixels as 0xffRRGGBB, row after row.
struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
};

// Reads a window's pixels only while no other window lies over any part of it, on a connection
// of its own. The check and the read happen under one server grab, so nothing can be mapped or
// moved over the window in between.
class X11Occlusion {
public:
    // $DISPLAY; none when it is unset.
    X11Occlusion();
    // The given display; an empty name means none.
    explicit X11Occlusion(std::string displayName);
    ~X11Occlusion();
    X11Occlusion(const X11Occlusion&) = delete;
    X11Occlusion& operator=(const X11Occlusion&) = delete;

    // The part of the window that lies on the screen; nothing when it is covered, unmapped,
    // gone, off screen, or there is no display.
    std::optional<WindowPixels> readUncovered(std::uint64_t window);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
