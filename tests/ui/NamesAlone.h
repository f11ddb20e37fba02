#pragma once
// How a name shown alone is drawn: where its ink falls in a picture (an emoji's colour apart from
// the letters' grey), and where its "…" stands when it is cut.
#include <algorithm>
#include <cstdlib>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include "tests/ui/TextOrder.h"

namespace velmora {

// Within `box` of `image`, the columns inked apart from the ground (read at the box's right end,
// which a short name leaves empty): the leftmost of all, the rightmost in colour, and the leftmost
// in grey more than 2 px clear of the colour. -1 or 1 << 20 when there is none.
struct Ink {
    int left = 1 << 20;
    int colourLeft = 1 << 20;
    int colourRight = -1;
    int lettersLeft = 1 << 20;
};
inline Ink inkIn(const QImage& image, const QRect& box) {
    const QColor ground = image.pixelColor(box.right(), box.center().y());
    const auto inked = [&](const QColor& c) {
        return std::abs(c.red() - ground.red()) + std::abs(c.green() - ground.green()) + std::abs(c.blue() - ground.blue()) > 120;
    };
    const auto spread = [](const QColor& c) {
        return std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
    };
    Ink ink;
    for (int x = box.left(); x <= box.right(); ++x)
        for (int y = box.top(); y <= box.bottom(); ++y)
            if (const QColor c = image.pixelColor(x, y); inked(c)) {
                ink.left = std::min(ink.left, x);
                if (spread(c) > 100) ink.colourLeft = std::min(ink.colourLeft, x), ink.colourRight = std::max(ink.colourRight, x);
            }
    for (int x = box.left(); x <= box.right(); ++x)
        for (int y = box.top(); y <= box.bottom(); ++y)
            if (const QColor c = image.pixelColor(x, y);
                (x < ink.colourLeft - 2 || x > ink.colourRight + 2) && inked(c) && spread(c) < 30)
                ink.lettersLeft = std::min(ink.lettersLeft, x);
    return ink;
}

// Where "…" ends on the right, and where the leftmost letter before it starts, in `shown` laid out
// left to right in `font` (the marks around a name take no room, so only letters count).
inline std::pair<qreal, qreal> ellipsisAndLetters(const QString& shown, const QFont& font) {
    const qsizetype at = shown.indexOf(QChar(0x2026));
    EXPECT_GT(at, 0) << "not cut: " << shown.toStdString();
    qreal letters = 1e9;
    for (qsizetype i = 0; i < at; ++i)
        if (shown[i].isLetter()) letters = std::min(letters, drawnBox(shown, font, Qt::LeftToRight, i, 1).left());
    return {at > 0 ? drawnBox(shown, font, Qt::LeftToRight, at, 1).right() : 1e9, letters};
}

// The names these tests show alone, and their words and marks as a reader sees them, left to right.
struct AloneName {
    QString name;
    QStringList leftToRight;
};
inline const AloneName hebrewAlone{QString::fromUtf8("(בדיקה) כלי"),  // "tool (test)": its "(" stands on the right
                                   {QString::fromUtf8("כלי"), QString::fromUtf8("בדיקה"), QStringLiteral("(")}};
inline const AloneName arabicAlone{QString::fromUtf8("متصفح الويب السريع 🚀"),  // "the fast web browser"
                                   {QString::fromUtf8("🚀"), QString::fromUtf8("السريع"), QString::fromUtf8("الويب"),
                                    QString::fromUtf8("متصفح")}};

// Whether `shown`, laid out left to right in `font` as a painter draws it, has `leftToRight` in
// that order.
inline void expectInOrder(const QString& shown, const QFont& font, const QStringList& leftToRight) {
    const std::vector<qreal> edges = leftEdges(shown, font, leftToRight);
    for (std::size_t i = 1; i < edges.size(); ++i)
        EXPECT_LT(edges[i - 1], edges[i]) << leftToRight[static_cast<qsizetype>(i - 1)].toStdString() << " not left of "
                                          << leftToRight[static_cast<qsizetype>(i)].toStdString() << " in "
                                          << shown.toStdString();
}

}  // namespace velmora
