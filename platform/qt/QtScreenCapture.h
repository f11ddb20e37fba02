#pragma once
#include "platform/PermissionProbe.h"
#include "platform/ScreenCapture.h"

namespace velmora {

// Window pixels through the X server (Qt's screen grab of one window); needs a QGuiApplication.
class QtScreenCapture final : public ScreenCapture {
public:
    std::unique_ptr<WindowImage> captureWindow(std::uint64_t windowId) override;
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const WindowImage& image, int width, int height,
                                                        double quality) override;
};

// Other windows can be read in an X11 session; a Wayland session grants nothing and has no prompt.
class QtScreenRecordingPermission final : public PermissionProbe {
public:
    bool isGranted() const override;
    void request() override {}
};

}  // namespace velmora
