#include "sensors/visual/ScreenshotRingBuffer.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "engine/activity/ActivityEventBus.h"
#include "platform/Clock.h"
#include "platform/DesktopSession.h"
#include "platform/PermissionProbe.h"
#include "platform/ScreenCapture.h"
#include "platform/WindowList.h"

namespace velmora {

PixelSize downscaledSize(int width, int height, double maxDimension) {
    const double longest = std::max(width, height);
    const double scale = longest > 0 ? std::min(maxDimension / longest, 1.0) : 1.0;
    const auto side = [scale](int v) { return std::max(1, static_cast<int>(std::floor(v * scale))); };
    return {side(width), side(height)};
}

struct ScreenshotRingBuffer::Picture {
    std::unique_ptr<WindowImage> image;
    std::optional<std::string> ownerName;
};

ScreenshotRingBuffer::ScreenshotRingBuffer(PermissionProbe& permission, DesktopSession& desktop,
                                           WindowList& windows, ScreenCapture& capture, Scheduler& scheduler,
                                           const Clock& clock, std::int32_t selfPid)
    : permission_(permission), desktop_(desktop), windows_(windows), capture_(capture), scheduler_(scheduler),
      clock_(clock), selfPid_(selfPid) {}

ScreenshotRingBuffer::~ScreenshotRingBuffer() {
    if (timer_) scheduler_.cancel(*timer_);
}

void ScreenshotRingBuffer::announce() {
    if (onChange) onChange();
}

void ScreenshotRingBuffer::start(bool requestPermission) {
    stop();
    screenRecordingTrusted_ = permission_.isGranted();
    if (!screenRecordingTrusted_ && requestPermission) {
        permission_.request();
        screenRecordingTrusted_ = permission_.isGranted();
    }
    if (!screenRecordingTrusted_) {
        announce();
        return;
    }
    isCapturing_ = true;
    // The destructor cancels the timer, so it never outlives the buffer.
    timer_ = scheduler_.scheduleRepeating(1.0, [this] { captureNow(); });
    announce();
    captureNow();
}

void ScreenshotRingBuffer::stop() {
    if (timer_) scheduler_.cancel(*timer_);
    timer_.reset();
    isCapturing_ = false;
    frames_.clear();
    announce();
}

void ScreenshotRingBuffer::setScreenRecordingTrusted(bool trusted) {
    screenRecordingTrusted_ = trusted;
    if (!trusted && isCapturing_) stop();
    else announce();
}

void ScreenshotRingBuffer::captureNow() {
    if (!isCapturing_) return;
    // Pictures taken after the grant was withdrawn would be read without leave.
    if (!permission_.isGranted()) {
        screenRecordingTrusted_ = false;
        stop();
        return;
    }
    auto picture = captureFrontmostWindow();
    if (!picture) return;
    const PixelSize size = downscaledSize(picture->image->width(), picture->image->height(), maxDimension);
    auto jpeg = capture_.encodeJpeg(*picture->image, size.width, size.height, jpegQuality);
    if (!jpeg) return;
    frames_.push_back(Frame{Uuid::random(), clock_.now(), std::move(*jpeg), std::move(picture->ownerName), std::nullopt});
    while (frames_.size() > capacity) frames_.pop_front();
    announce();
}

std::optional<ScreenshotRingBuffer::Picture> ScreenshotRingBuffer::captureFrontmostWindow() {
    const auto apps = desktop_.runningApplications();
    const auto front = std::find_if(apps.begin(), apps.end(), [](const RunningApplication& a) { return a.isActive; });
    if (front == apps.end() || front->pid == selfPid_) return std::nullopt;

    std::vector<ListedWindow> own;
    for (auto& w : windows_.windows())
        if (w.onScreen && w.ownerPid == front->pid) own.push_back(std::move(w));
    // Within a layer the list's front-to-back order stands.
    std::stable_sort(own.begin(), own.end(), [](const auto& a, const auto& b) { return a.layer < b.layer; });
    if (own.empty() || own.front().windowId == 0) return std::nullopt;
    const ListedWindow& window = own.front();

    ProcessIdentity app;
    app.groupingKey = front->bundleIdentifier ? *front->bundleIdentifier : "name:" + front->localizedName.value_or("");
    app.bundleID = front->bundleIdentifier;
    app.displayName = front->localizedName.value_or("Unknown");
    app.pids = {front->pid};
    if (ActivityEventBus::isSensitive(app, window.title) || ActivityEventBus::hidesPrivateWindows(app)) return std::nullopt;

    auto image = capture_.captureWindow(window.windowId);
    if (!image || image->width() <= 0 || image->height() <= 0) return std::nullopt;
    return Picture{std::move(image), front->localizedName};
}

std::vector<ScreenshotRingBuffer::Frame> ScreenshotRingBuffer::framesAround(Date start, Date end) const {
    const Date from = start - 3.0;
    const Date to = end + 2.0;
    std::vector<Frame> inside;
    for (const auto& f : frames_)
        if (f.timestamp >= from && f.timestamp <= to) inside.push_back(f);
    if (inside.empty()) {
        const std::size_t n = std::min<std::size_t>(3, frames_.size());
        return {frames_.end() - static_cast<std::ptrdiff_t>(n), frames_.end()};
    }
    if (inside.size() <= 3) return inside;
    return {inside.front(), inside[inside.size() / 2], inside.back()};
}

void ScreenshotRingBuffer::removeFrames(const std::vector<Uuid>& ids) {
    const std::unordered_set<Uuid> gone(ids.begin(), ids.end());
    const auto before = frames_.size();
    std::erase_if(frames_, [&](const Frame& f) { return gone.count(f.id) != 0; });
    if (frames_.size() != before) announce();
}

}  // namespace velmora
