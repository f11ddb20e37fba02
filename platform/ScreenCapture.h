#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// A grabbed window picture, kept in the platform's own form until it is encoded.
class WindowImage {
public:
    virtual ~WindowImage() = default;
    virtual int width() const = 0;   // pixels
    virtual int height() const = 0;  // pixels
};

// Pixels of one window and their JPEG form. Main thread only.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    // The window's own contents; null when it cannot be read (gone, unmapped, no display) or
    // another window lies over any part of it.
    virtual std::unique_ptr<WindowImage> captureWindow(std::uint64_t windowId) = 0;
    // Scales smoothly to exactly width × height, drops any alpha and encodes as JPEG at
    // `quality` (0…1). Nothing when a step fails.
    virtual std::optional<std::vector<std::uint8_t>> encodeJpeg(const WindowImage& image, int width, int height,
                                                                double quality) = 0;
};

}  // namespace velmora
