#pragma once
// Texts that painting code draws itself (delegates, chips, capsules) are invisible to a walk over
// the widget tree. Each such draw is noted here, so a check can hold the text against its box.
#include <QFont>
#include <QRectF>
#include <QString>
#include <functional>

class QPainter;
class QWidget;

namespace velmora {

struct PaintedText {
    const QWidget* widget = nullptr;  // what was painted on
    QRectF box;                       // the room the text had, in the widget's coordinates
    QFont font;
    QString shown;
    // For one line of a wrapped text: the whole text and where in it the line starts, so a check
    // can see where the lines break. Empty for a text drawn on one line.
    QString wrapped;
    int lineStart = 0;
};

// Hears every noted text until set again; an empty function stops it. Nothing is kept otherwise.
void setPaintedTextListener(std::function<void(const PaintedText&)> listener);
// Notes `shown`, drawn by `painter` in its current font within `box`.
void notePaintedText(const QPainter& painter, const QRectF& box, const QString& shown);
// Notes `shown`, the line of `whole` that starts at `start`, drawn within `box`.
void notePaintedLine(const QPainter& painter, const QRectF& box, const QString& shown, const QString& whole, int start);

}  // namespace velmora
