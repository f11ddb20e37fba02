#pragma once
#include <QStyledItemDelegate>

namespace velmora {

// Paints one feed entry: its time and source badge, the summary, then the app and up to two lines
// of detail when the entry has them.
class SensorFeedDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int padding = 6;
    static constexpr int spacing = 4;
    // The detail text cut to at most two lines at `width`, the last one elided.
    static QStringList detailLines(const QString& detail, const QFont& font, int width);
};

}  // namespace velmora
