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

// The left edge of each of `parts` (each where it first stands in `shown`) when `shown` is laid out
// on one line in `font` and `direction`: left to right as a painter on a left-to-right widget
// draws it, or Qt::LayoutDirectionAuto as a label takes its direction from its text.
inline std::vector<qreal> leftEdges(const QString& shown, const QFont& font, const QStringList& parts,
                                    Qt::LayoutDirection direction = Qt::LeftToRight) {
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setTextDirection(direction);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    std::vector<qreal> edges;
    for (const QString& part : parts) {
        const qsizetype at = shown.indexOf(part);
        EXPECT_GE(at, 0) << part.toStdString() << " in " << shown.toStdString();
        QRectF box;
        for (const QGlyphRun& run : layout.glyphRuns(static_cast<int>(at), static_cast<int>(part.size())))
            box |= run.boundingRect();
        edges.push_back(box.left());
    }
    return edges;
}

}  // namespace velmora
