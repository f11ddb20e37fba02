#pragma once
#include <QStyledItemDelegate>
#include <memory>

#include "ui/main/stories/StoriesLogic.h"

namespace velmora {

struct StoryRow;

// A tone in the palette of `widget`.
QColor toneColour(stories::Tone tone, const QWidget* widget);

// Paints one story row from the model's prepared row: time, share ring with its arrow, title,
// headline, impact and source, and on the right the change and the footprint after it.
class StoryRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit StoryRowDelegate(QObject* parent = nullptr);
    ~StoryRowDelegate() override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The height of a row whose title takes both its lines: the tallest a row gets.
    int tallestRowHeight() const;

    // Outer insets of a row, and the width of its right column (the change and the total).
    static constexpr int insetX = 14;
    static constexpr int insetY = 4;
    static constexpr int padY = 12;
    static constexpr int padX = 4;
    static constexpr int timeWidth = 40;
    static constexpr int ring = 22;
    static constexpr int gap = 14;

    struct Layout;

private:
    // A row's wrapped title, elided texts, widths and height at `rowWidth`, laid out once per
    // story text, width and application font: size hints and paints come far more often.
    Layout& layout(const StoryRow& row, int rowWidth) const;

    // A row's height with `titleLines` lines of title, insets included.
    int rowHeight(int titleLines) const;

    struct Cache;
    mutable std::unique_ptr<Cache> cache_;
};

}  // namespace velmora
