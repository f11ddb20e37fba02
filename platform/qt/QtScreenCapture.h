#pragma once
#include "platform/PermissionProbe.h"
#include "platform/ScreenCapture.h"
#include "platform/linux/X11Occlusion.h"

namespace velmora {

// Window pixels read from the X server while no other window covers them, JPEG through Qt.
class QtScreenCapture final : public ScreenCapture {
public:
    QtScreenCapture();
    ~QtScreenCapture() override;
    std::unique_ptr<WindowImage> captureWindow(std::uint64_t windowId) override;
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const WindowImage& image, int width, int height,
                                                        double quality) override;

private:
    X11Occlusion occlusion_;
};

// Other windows can be read in an X11 session; a Wayland session grants nothing and has no prompt.
class QtScreenRecordingPermission final : public PermissionProbe {
public:
    bool isGranted() const override;
    void request() override {}
};

}  // namespace velmora
