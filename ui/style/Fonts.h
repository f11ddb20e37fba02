#pragma once
// Text roles in logical pixels from one table, and a font whose digits all have one width.
#include <QFont>

namespace velmora {

enum class TextRole { largeTitle, title2, title3, headline, body, callout, subheadline, caption, caption2 };

// The role's font, built on `base` (the application font by default): its family, a pixel size
// from the table (never below the caption floor) and the role's weight.
QFont roleFont(TextRole role, QFont::Weight weight = QFont::Normal);
QFont roleFont(TextRole role, const QFont& base, QFont::Weight weight);
// The table's pixel size of a role.
int rolePixelSize(TextRole role);

// `font` when its ten digits share one advance (numbers that change every second then do not
// jiggle), else the system's fixed-width font at the same pixel size and weight.
QFont numberFont(const QFont& font);
// Whether the ten digits of `font` advance equally.
bool hasEqualDigits(const QFont& font);
// How wide a column of byte amounts in `font` must be so that no amount is ever cut: the widest
// the formatter writes in MB and GB ("1,023.9 MB", "99.99 GB"), with a sign when `withSign`.
int amountColumnWidth(const QFont& font, bool withSign);

}  // namespace velmora
