#pragma once
// Where words land when a text is laid out: the order a reader sees, whatever the order in the
// string. Used to hold right-to-left names and the words and figures beside them in their places.
#include <vector>

#include <gtest/gtest.h>

#include <QFont>
#include <QGlyphRun>
#include <QString>
#include <QStringList>
#include <QTextLayout>

namespace velmora {

// Where the characters [from, from + length) of `shown` are drawn when it is laid out on one line
// in `font` and `direction`: left to right as a painter on a left-to-right widget draws it, or
// Qt::LayoutDirectionAuto as a label takes its direction from its text.
inline QRectF drawnBox(const QString& shown, const QFont& font, Qt::LayoutDirection direction, qsizetype from,
                       qsizetype length) {
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setTextDirection(direction);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QRectF box;
    for (const QGlyphRun& run : layout.glyphRuns(static_cast<int>(from), static_cast<int>(length))) box |= run.boundingRect();
    return box;
}

// The left edge of each of `parts` (each where it first stands in `shown`), laid out as above.
inline std::vector<qreal> leftEdges(const QString& shown, const QFont& font, const QStringList& parts,
                                    Qt::LayoutDirection direction = Qt::LeftToRight) {
    std::vector<qreal> edges;
    for (const QString& part : parts) {
        const qsizetype at = shown.indexOf(part);
        EXPECT_GE(at, 0) << part.toStdString() << " in " << shown.toStdString();
        edges.push_back(drawnBox(shown, font, direction, at, part.size()).left());
    }
    return edges;
}

}  // namespace velmora
