#include "ui/style/TextReport.h"

#include <QPainter>
#include <QWidget>

namespace velmora {

namespace {
std::function<void(const PaintedText&)>& listener() {
    static std::function<void(const PaintedText&)> l;
    return l;
}
}  // namespace

void setPaintedTextListener(std::function<void(const PaintedText&)> l) { listener() = std::move(l); }

void notePaintedLine(const QPainter& painter, const QRectF& box, const QString& shown, const QString& whole, int start) {
    const auto& l = listener();
    if (!l || shown.isEmpty()) return;
    // A painter opened on a widget reports the widget even while a grab redirects it.
    if (painter.device() == nullptr || painter.device()->devType() != QInternal::Widget) return;
    const QRectF mapped = painter.worldTransform().mapRect(box);
    l(PaintedText{static_cast<const QWidget*>(painter.device()), mapped, painter.font(), shown, whole, start});
}

void notePaintedText(const QPainter& painter, const QRectF& box, const QString& shown) {
    notePaintedLine(painter, box, shown, QString(), 0);
}

}  // namespace velmora
