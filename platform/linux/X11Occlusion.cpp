#include "platform/linux/X11Occlusion.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/linux/X11Connection.h"

namespace velmora {

bool intersects(const ScreenRect& a, const ScreenRect& b) {
    if (a.width <= 0 || a.height <= 0 || b.width <= 0 || b.height <= 0) return false;
    // 64-bit sums: a hostile window can claim a place near the end of the int range.
    const auto right = [](const ScreenRect& r) { return std::int64_t{r.x} + r.width; };
    const auto bottom = [](const ScreenRect& r) { return std::int64_t{r.y} + r.height; };
    return a.x < right(b) && b.x < right(a) && a.y < bottom(b) && b.y < bottom(a);
}

bool coveredInStacking(const std::vector<StackedWindow>& bottomToTop, std::uint64_t frame, const ScreenRect& target) {
    const auto at = std::find_if(bottomToTop.begin(), bottomToTop.end(),
                                 [frame](const StackedWindow& w) { return w.id == frame; });
    if (at == bottomToTop.end()) return true;
    return std::any_of(std::next(at), bottomToTop.end(),
                       [&](const StackedWindow& w) { return w.shown && intersects(w.rect, target); });
}

namespace {

ScreenRect overlap(const ScreenRect& a, const ScreenRect& b) {
    if (!intersects(a, b)) return {};
    const int x = std::max(a.x, b.x), y = std::max(a.y, b.y);
    const auto right = std::min(std::int64_t{a.x} + a.width, std::int64_t{b.x} + b.width);
    const auto bottom = std::min(std::int64_t{a.y} + a.height, std::int64_t{b.y} + b.height);
    return {x, y, static_cast<int>(right - x), static_cast<int>(bottom - y)};
}

// The value of one colour channel scaled to 0…255.
std::uint32_t channel(unsigned long pixel, unsigned long mask) {
    const int shift = std::countr_zero(mask);
    const unsigned long top = mask >> shift;
    return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / top);
}

std::optional<WindowPixels> toPixels(const XImage& image) {
    if (image.width <= 0 || image.height <= 0 || !image.red_mask || !image.green_mask || !image.blue_mask)
        return std::nullopt;
    WindowPixels out{image.width, image.height, {}};
    out.rgb.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
    const bool nativeOrder = image.byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
    if (image.bits_per_pixel == 32 && nativeOrder && image.red_mask == 0xff0000 && image.green_mask == 0xff00 &&
        image.blue_mask == 0xff) {
        for (int y = 0; y < image.height; ++y) {
            std::uint32_t* row = out.rgb.data() + static_cast<std::size_t>(y) * image.width;
            std::memcpy(row, image.data + static_cast<std::ptrdiff_t>(y) * image.bytes_per_line,
                        static_cast<std::size_t>(image.width) * 4);
            for (int x = 0; x < image.width; ++x) row[x] |= 0xff000000u;
        }
        return out;
    }
    auto& any = const_cast<XImage&>(image);  // XGetPixel only reads, but takes no const
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const unsigned long p = XGetPixel(&any, x, y);
            out.rgb[static_cast<std::size_t>(y) * image.width + x] = 0xff000000u |
                                                                      channel(p, image.red_mask) << 16 |
                                                                      channel(p, image.green_mask) << 8 |
                                                                      channel(p, image.blue_mask);
        }
    return out;
}

}  // namespace

struct X11Occlusion::Impl {
    X11Connection x;

    explicit Impl(std::optional<std::string> displayName) : x(std::move(displayName)) {}

    // The root's child that holds `w`; None when it is gone.
    static Window frameOf(Display* d, Window root, Window w) {
        for (int depth = 0; depth < 64; ++depth) {
            Window r = None, parent = None, *children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(d, w, &r, &parent, &children, &count)) return None;
            if (children) XFree(children);
            if (parent == root) return w;
            if (parent == None) return None;
            w = parent;
        }
        return None;
    }

    static std::optional<StackedWindow> describe(Display* d, Window w) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, w, &a)) return std::nullopt;
        // Input-only windows (the window manager's screen edges, say) draw nothing.
        return StackedWindow{w, {a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width},
                             a.map_state == IsViewable && a.c_class == InputOutput};
    }

    // Runs under the server grab: nothing else changes the stacking meanwhile.
    std::optional<WindowPixels> readGrabbed(Display* d, Window target) {
        const Window root = DefaultRootWindow(d);
        XWindowAttributes own;
        if (!XGetWindowAttributes(d, target, &own) || own.map_state != IsViewable || own.c_class != InputOutput)
            return std::nullopt;
        int rx = 0, ry = 0;
        Window child = None;
        if (!XTranslateCoordinates(d, target, root, 0, 0, &rx, &ry, &child)) return std::nullopt;
        const ScreenRect targetRect{rx, ry, own.width, own.height};
        const Window frame = frameOf(d, root, target);
        if (frame == None) return std::nullopt;

        Window r = None, parent = None, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, root, &r, &parent, &children, &count)) return std::nullopt;
        std::vector<StackedWindow> stacked;
        bool above = false;
        for (unsigned i = 0; i < count; ++i) {
            // Windows below the frame cannot cover it: they are not even asked about.
            above = above || children[i] == frame;
            if (!above) continue;
            auto described = describe(d, children[i]);
            // One that vanished between the two requests covers nothing.
            if (described) stacked.push_back(*described);
        }
        if (children) XFree(children);
        if (stacked.empty() || stacked.front().id != frame) return std::nullopt;
        if (coveredInStacking(stacked, frame, targetRect)) return std::nullopt;

        // Only what lies on the screen and inside the frame can be read.
        XWindowAttributes screen;
        if (!XGetWindowAttributes(d, root, &screen)) return std::nullopt;
        const ScreenRect visible = overlap(overlap(targetRect, {0, 0, screen.width, screen.height}), stacked.front().rect);
        if (visible.width <= 0 || visible.height <= 0) return std::nullopt;
        XImage* image = XGetImage(d, target, visible.x - rx, visible.y - ry, static_cast<unsigned>(visible.width),
                                  static_cast<unsigned>(visible.height), AllPlanes, ZPixmap);
        if (!image) return std::nullopt;
        auto pixels = toPixels(*image);
        XDestroyImage(image);
        return pixels;
    }

    std::optional<WindowPixels> read(std::uint64_t window) {
        Display* d = x.get();
        if (!d || window == 0) return std::nullopt;
        XGrabServer(d);
        auto pixels = readGrabbed(d, static_cast<Window>(window));
        XUngrabServer(d);
        XFlush(d);
        if (x.broken()) return std::nullopt;
        return pixels;
    }
};

X11Occlusion::X11Occlusion() : impl_(std::make_unique<Impl>(X11Connection::environmentDisplay())) {}
X11Occlusion::X11Occlusion(std::string displayName) : impl_(std::make_unique<Impl>(std::move(displayName))) {}
X11Occlusion::~X11Occlusion() = default;

std::optional<WindowPixels> X11Occlusion::readUncovered(std::uint64_t window) { return impl_->read(window); }

}  // namespace velmora
