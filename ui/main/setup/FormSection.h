#pragma once
// The grouped-form look the Setup and Developer pages share: a heading over a rounded card.
#include <QString>

class QColor;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace velmora {

enum class TextRole;

struct FormSection {
    QWidget* box = nullptr;     // heading and card, to add to the page's column
    QWidget* card = nullptr;    // parent for the section's rows
    QVBoxLayout* rows = nullptr;
    QLabel* heading = nullptr;  // none when built without a heading
};

// A section with `heading` (none when empty) over a card padded by 14 and 8 between rows.
FormSection formSection(QWidget* parent, const QString& heading);

// A wrapping plain-text label in a role's font and colour.
QLabel* formText(const QString& text, TextRole role, const QColor& colour, QWidget* parent, int weight = 400);

}  // namespace velmora
