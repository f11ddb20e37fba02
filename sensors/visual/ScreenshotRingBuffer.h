#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/support/Date.h"
#include "engine/support/Uuid.h"
#include "platform/Scheduler.h"

namespace velmora {

class Clock;
class DesktopSession;
class PermissionProbe;
class ScreenCapture;
class WindowList;

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

// Shrinks (never enlarges) so that the longer side is at most maxDimension; at least 1 × 1.
PixelSize downscaledSize(int width, int height, double maxDimension);

// The last twenty small JPEG pictures of the frontmost window, one a second while capturing.
// Pictures stay in memory. Windows the privacy gate marks sensitive and this application's own
// windows are never read. Main thread only.
class ScreenshotRingBuffer {
public:
    struct Frame {
        Uuid id;
        Date timestamp;
        std::vector<std::uint8_t> jpegData;
        std::optional<std::string> windowOwnerName;
        std::optional<std::string> windowTitle;  // never filled: frames are taken without it
        bool operator==(const Frame&) const = default;
    };

    static constexpr std::size_t capacity = 20;
    static constexpr double maxDimension = 640.0;
    static constexpr double jpegQuality = 0.55;

    ScreenshotRingBuffer(PermissionProbe& permission, DesktopSession& desktop, WindowList& windows,
                         ScreenCapture& capture, Scheduler& scheduler, const Clock& clock, std::int32_t selfPid);
    ~ScreenshotRingBuffer();
    ScreenshotRingBuffer(const ScreenshotRingBuffer&) = delete;
    ScreenshotRingBuffer& operator=(const ScreenshotRingBuffer&) = delete;

    // Restarts from an empty ring, capturing once at once and then every second, when screen
    // recording is granted (asking for it first when requestPermission is set).
    void start(bool requestPermission);
    // Stops capturing and drops every frame.
    void stop();
    // One capture tick. A grant found withdrawn stops the ring.
    void captureNow();

    // For a change from start to end: the frames from start − 3 s to end + 2 s (at most three:
    // first, middle, last), or the newest three of the ring when none lies there.
    std::vector<Frame> framesAround(Date start, Date end) const;
    // Drops the frames with these ids, keeping the others in order.
    void removeFrames(const std::vector<Uuid>& ids);
    // The application state's latest reading of the grant; a withdrawn grant stops the ring.
    void setScreenRecordingTrusted(bool trusted);

    // Published: each change is announced through onChange.
    const std::deque<Frame>& frames() const { return frames_; }
    std::size_t frameCount() const { return frames_.size(); }
    bool isCapturing() const { return isCapturing_; }
    bool screenRecordingTrusted() const { return screenRecordingTrusted_; }

    std::function<void()> onChange;

private:
    struct Picture;
    std::optional<Picture> captureFrontmostWindow();
    void announce();

    PermissionProbe& permission_;
    DesktopSession& desktop_;
    WindowList& windows_;
    ScreenCapture& capture_;
    Scheduler& scheduler_;
    const Clock& clock_;
    std::int32_t selfPid_;

    std::deque<Frame> frames_;
    bool isCapturing_ = false;
    bool screenRecordingTrusted_ = false;
    std::optional<Scheduler::TimerId> timer_;
};

}  // namespace velmora
