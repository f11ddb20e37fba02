#pragma once
// The five shared colours and the text tones every screen uses, so a colour means the same
// thing everywhere: green calm or given back, yellow tight, orange growth, red pressure, grey unsure.
#include <QColor>

#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/stories/TimelineEvent.h"

class QWidget;

namespace velmora::palette {

// Exact sRGB components, opacity 1.
QColor green();
QColor orange();
QColor yellow();
QColor red();
QColor grey();

// `colour` at `alpha` (0…1) times its own opacity.
QColor withAlpha(QColor colour, double alpha);

// The window's text colour, and its secondary and tertiary tones (55 % and 30 %).
QColor primaryText(const QWidget* widget = nullptr);
QColor secondaryText(const QWidget* widget = nullptr);
QColor tertiaryText(const QWidget* widget = nullptr);
// The highlight colour, used as the accent.
QColor accent(const QWidget* widget = nullptr);

// A confidence level's badge colour: green, yellow, grey.
QColor forConfidence(ConfidenceLevel level);
// A pressure level's status colour: green, yellow, red.
QColor forPressure(MemoryPressureLevel level);
// A change's direction: a fall green, a rise or no change orange.
QColor forChange(std::int64_t deltaBytes);

}  // namespace velmora::palette
