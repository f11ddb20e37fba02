#include "ui/style/Palette.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace velmora::palette {

QColor green() { return QColor::fromRgbF(0.30f, 0.72f, 0.42f); }
QColor orange() { return QColor::fromRgbF(0.90f, 0.55f, 0.25f); }
QColor yellow() { return QColor::fromRgbF(0.90f, 0.70f, 0.20f); }
QColor red() { return QColor::fromRgbF(0.90f, 0.35f, 0.30f); }
QColor grey() { return QColor::fromRgbF(0.65f, 0.60f, 0.55f); }

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(colour.alphaF() * alpha));
    return colour;
}

namespace {
QPalette paletteOf(const QWidget* widget) { return widget ? widget->palette() : QApplication::palette(); }
}  // namespace

QColor primaryText(const QWidget* widget) { return paletteOf(widget).color(QPalette::WindowText); }
QColor secondaryText(const QWidget* widget) { return withAlpha(primaryText(widget), 0.55); }
QColor tertiaryText(const QWidget* widget) { return withAlpha(primaryText(widget), 0.30); }
QColor accent(const QWidget* widget) { return paletteOf(widget).color(QPalette::Highlight); }

QColor forConfidence(ConfidenceLevel level) {
    switch (level) {
        case ConfidenceLevel::high: return green();
        case ConfidenceLevel::medium: return yellow();
        case ConfidenceLevel::low: break;
    }
    return grey();
}

QColor forPressure(MemoryPressureLevel level) {
    switch (level) {
        case MemoryPressureLevel::normal: return green();
        case MemoryPressureLevel::warning: return yellow();
        case MemoryPressureLevel::critical: break;
    }
    return red();
}

QColor forChange(std::int64_t deltaBytes) { return deltaBytes < 0 ? green() : orange(); }

}  // namespace velmora::palette
