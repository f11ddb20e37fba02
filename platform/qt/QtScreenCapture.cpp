#include "platform/qt/QtScreenCapture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cmath>

namespace velmora {

namespace {

struct QtWindowImage final : WindowImage {
    explicit QtWindowImage(QImage i) : image(std::move(i)) {}
    int width() const override { return image.width(); }
    int height() const override { return image.height(); }
    QImage image;
};

}  // namespace

std::unique_ptr<WindowImage> QtScreenCapture::captureWindow(std::uint64_t windowId) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || windowId == 0) return nullptr;
    QImage image = screen->grabWindow(static_cast<WId>(windowId)).toImage();
    if (image.isNull()) return nullptr;
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
