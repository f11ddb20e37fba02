#include "ui/style/MarkedSparkline.h"

#include <QPainter>
#include <QPainterPath>

#include <utility>

#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

namespace velmora {

void paintSparkline(QPainter& painter, const QRectF& rect, const SparklineGeometry& g, const QColor& colour,
                    const QColor& secondary) {
    painter.save();
    painter.translate(rect.topLeft());
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = rect.width(), h = rect.height();

    const QColor base(secondary.red(), secondary.green(), secondary.blue());
    QPen zero(palette::withAlpha(base, 0.25), 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    zero.setDashPattern({3, 3});  // in pen widths: 3 px on, 3 off at width 1
    painter.setPen(zero);
    painter.drawLine(QPointF(0, g.zeroY), QPointF(w, g.zeroY));

    if (g.placeholder()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette::withAlpha(base, 0.1));
        painter.drawRoundedRect(QRectF(0, 0, w, h), 2, 2);
    } else {
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(g.points.size()));
        for (const auto& p : g.points) line << QPointF(p.x, p.y);
        paintLine(painter, line, w, QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }

    for (const auto& tick : g.ticks) {
        const QColor c = tick.release ? palette::green() : palette::orange();
        painter.setPen(QPen(palette::withAlpha(c, 0.45), 1.5, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(tick.x, 0), QPointF(tick.x, h));
        painter.setPen(QPen(palette::withAlpha(Qt::white, 0.5), 1));
        painter.setBrush(c);
        painter.drawEllipse(QPointF(tick.x, g.dotY), SparklineGeometry::dotRadius, SparklineGeometry::dotRadius);
    }
    painter.restore();
}

MarkedSparkline::MarkedSparkline(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(12);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MarkedSparkline::setData(SparklineInput input, const QColor& colour) {
    // Width and height are the widget's; a tick that brings the same line paints nothing.
    input.width = input_.width;
    input.height = input_.height;
    if (input == input_ && colour == colour_) return;
    input_ = std::move(input);
    colour_ = colour;
    painted_ = QPixmap();
    update();
}

SparklineGeometry MarkedSparkline::geometry() const {
    SparklineInput in = input_;
    in.width = width();
    in.height = height();
    return sparklineGeometry(in);
}

void MarkedSparkline::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    const QColor secondary = palette::secondaryText(this);
    if (painted_.isNull() || painted_.deviceIndependentSize() != QSizeF(size()) || painted_.devicePixelRatio() != ratio ||
        secondary != paintedSecondary_) {
        input_.width = width();
        input_.height = height();
        painted_ = QPixmap((QSizeF(size()) * ratio).toSize());
        painted_.setDevicePixelRatio(ratio);
        painted_.fill(Qt::transparent);
        QPainter painter(&painted_);
        paintSparkline(painter, QRectF(rect()), sparklineGeometry(input_), colour_, secondary);
        paintedSecondary_ = secondary;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, painted_);
}

}  // namespace velmora
