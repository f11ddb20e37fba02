#pragma once
#include <QColor>
#include <QPixmap>
#include <QWidget>

#include "ui/style/SparklineGeometry.h"

class QPainter;

namespace velmora {

// Paints a sparkline's geometry into `rect`: the dashed zero line, the line in `colour` (or the
// pale placeholder), then the story ticks with their dots.
void paintSparkline(QPainter& painter, const QRectF& rect, const SparklineGeometry& geometry, const QColor& colour,
                    const QColor& secondary);

// A line of change since the start of a time window, a dashed zero line and story ticks by time.
class MarkedSparkline final : public QWidget {
    Q_OBJECT
public:
    explicit MarkedSparkline(QWidget* parent = nullptr);
    // Width and height are the widget's own; the rest of `input` is kept until the next call.
    void setData(SparklineInput input, const QColor& colour);
    SparklineGeometry geometry() const;
    QSize sizeHint() const override { return {120, 48}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SparklineInput input_;
    QColor colour_;
    // The last painting, kept until the data, the size, the colours or the pixel ratio change:
    // an hour of points is costly to stroke, and most repaints bring nothing new.
    QPixmap painted_;
    QColor paintedSecondary_;
};

}  // namespace velmora
