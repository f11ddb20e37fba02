#include "platform/qt/QtScreenCapture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstring>

namespace velmora {

namespace {

struct QtWindowImage final : WindowImage {
    explicit QtWindowImage(QImage i) : image(std::move(i)) {}
    int width() const override { return image.width(); }
    int height() const override { return image.height(); }
    QImage image;
};

}  // namespace

QtScreenCapture::QtScreenCapture() = default;
QtScreenCapture::~QtScreenCapture() = default;

std::unique_ptr<WindowImage> QtScreenCapture::captureWindow(std::uint64_t windowId) {
    // A screen grab would take whatever lies over the window too (a private window, this
    // application's widget), so the window is read only while nothing covers it.
    auto pixels = occlusion_.readUncovered(windowId);
    if (!pixels) return nullptr;
    QImage image(pixels->width, pixels->height, QImage::Format_RGB32);
    if (image.isNull()) return nullptr;
    for (int y = 0; y < pixels->height; ++y)
        std::memcpy(image.scanLine(y), pixels->rgb.data() + static_cast<std::size_t>(y) * pixels->width,
                    static_cast<std::size_t>(pixels->width) * 4);
    return std::make_unique<QtWindowImage>(std::move(image));
}

std::optional<std::vector<std::uint8_t>> QtScreenCapture::encodeJpeg(const WindowImage& image, int width, int height,
                                                                    double quality) {
    const auto* own = dynamic_cast<const QtWindowImage*>(&image);
    if (!own || width <= 0 || height <= 0) return std::nullopt;
    const QImage scaled = own->image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (scaled.isNull() || !buffer.open(QIODevice::WriteOnly) ||
        !scaled.save(&buffer, "JPEG", static_cast<int>(std::lround(quality * 100))))
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool QtScreenRecordingPermission::isGranted() const { return QGuiApplication::platformName() == QLatin1String("xcb"); }

}  // namespace velmora
