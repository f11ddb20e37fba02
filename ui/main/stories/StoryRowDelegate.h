#pragma once
#include <QStyledItemDelegate>

#include "ui/main/stories/StoriesLogic.h"

namespace velmora {

class StoryListModel;

// A tone in the palette of `widget`.
QColor toneColour(stories::Tone tone, const QWidget* widget);

// Paints one story row from the model's prepared row: time, share ring with its arrow, title,
// headline, impact and source, and on the right the change and the footprint after it.
class StoryRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Outer insets of a row, and the width of its right column (the change and the total).
    static constexpr int insetX = 14;
    static constexpr int insetY = 4;
    static constexpr int padY = 12;
    static constexpr int padX = 4;
    static constexpr int timeWidth = 40;
    static constexpr int ring = 22;
    static constexpr int gap = 14;

private:
    // Width of the title's column inside a row `rowWidth` wide.
    int textWidth(int rowWidth, const QModelIndex& index) const;
};

}  // namespace velmora
