#pragma once
#include <QWidget>

#include "engine/stories/SensorSource.h"

class QPainter;

namespace velmora {

// The short label of one evidence source in a pale capsule; every source looks the same.
class SourceBadge final : public QWidget {
    Q_OBJECT
public:
    explicit SourceBadge(SensorSource source = SensorSource::unknown, QWidget* parent = nullptr);
    void setSource(SensorSource source);
    SensorSource source() const { return source_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // For delegates: the badge's size and its painting at `topLeft`, in the fonts of `base`.
    static QSize sizeFor(SensorSource source, const QFont& base);
    static void paint(QPainter& painter, const QPointF& topLeft, SensorSource source, const QFont& base,
                      const QColor& secondary);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SensorSource source_;
};

}  // namespace velmora
