#pragma once
// How a name shown alone is drawn: where its ink falls in a picture (an emoji's colour apart from
// the letters' grey), and where its "…" stands when it is cut; and how a right-to-left name goes on
// over the next line of a sentence that wraps inside it.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include <QColor>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "platform/qt/BidiText.h"
#include "tests/ui/TextOrder.h"
#include "ui/main/ElidedLabel.h"
#include "ui/style/TextReport.h"

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

// The ink of `widget` in `image`, a picture of `in`, which holds it.
inline Ink inkOf(const QImage& image, const QWidget* widget, const QWidget* in) {
    return inkIn(image, QRect(widget->mapTo(in, QPoint(0, 0)), widget->size()));
}

// As painted: the emoji after Arabic words is drawn in colour, on the left of their letters.
inline void expectEmojiLeftOfLetters(const Ink& ink) {
    EXPECT_GE(ink.colourRight, 0) << "the emoji is not drawn in colour";
    EXPECT_LT(ink.colourRight, ink.lettersLeft);
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

// A right-to-left `shown`, cut, has its "…" at its left end, where it was cut.
inline void expectCutAtItsLeft(const QString& shown, const QFont& font) {
    const auto [dots, letters] = ellipsisAndLetters(shown, font);
    EXPECT_LE(dots, letters + 0.5) << shown.toStdString();
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
// The same Hebrew name read by its words alone.
inline const AloneName hebrewWordsAlone{hebrewAlone.name, hebrewAlone.leftToRight.mid(0, 2)};
// The Arabic name's words without its emoji.
inline const QString arabicWords = QString::fromUtf8("متصفح الويب السريع");

// A Persian app name with a Latin word in it ("Photo editor Pixel Studio for visual designs,
// professional edition 1403"): long enough to wrap in a story row's title and be cut there.
inline const QString persianWrapped = QString::fromUtf8("ویرایشگر عکس Pixel Studio برای طرح‌های تصویری نسخهٔ حرفه‌ای ۱۴۰۳");

// The words of the name that `line` (a wrapped line of a left-to-right sentence, starting inside
// the name) goes on with, each with its place in `line`, in the order they are written; and where
// the name ends in `line` (its closing mark, or the line's end).
struct GoingOn {
    std::vector<std::pair<qsizetype, qsizetype>> words;  // start, length
    qsizetype end = 0;
};
inline GoingOn goingOn(const QString& line) {
    GoingOn out;
    int depth = 0;
    qsizetype i = 0;
    const auto mark = [](QChar c) { return c.category() == QChar::Other_Format; };
    for (; i < line.size(); ++i) {
        if (line[i] == QChar(0x2068) || line[i] == QChar(0x2067) || line[i] == QChar(0x2066)) ++depth;
        else if (line[i] == QChar(0x2069) && --depth <= 0) break;
        else if (!line[i].isSpace() && !mark(line[i]) && line[i] != QChar(0x2026)) {
            qsizetype j = i;
            while (j < line.size() && !line[j].isSpace() && !mark(line[j]) && line[j] != QChar(0x2026)) ++j;
            out.words.emplace_back(i, j - i);
            i = j - 1;
        }
    }
    out.end = i;
    return out;
}

// `line`, drawn left to right in `font` and going on inside a right-to-left name, keeps the name's
// direction: each word of the name stands left of the one before it, but where Latin words follow
// one another (a run of the name in its own direction) each stands on its right; and when the line
// is cut inside the name its "…" stands at the name's left end, where it is cut.
inline void expectGoesOnRightToLeft(const QString& line, const QFont& font) {
    const GoingOn on = goingOn(line);
    ASSERT_FALSE(on.words.empty()) << line.toStdString();
    const auto box = [&](std::pair<qsizetype, qsizetype> word) { return drawnBox(line, font, Qt::LeftToRight, word.first, word.second); };
    const auto latin = [&](std::pair<qsizetype, qsizetype> word) { return line[word.first].script() == QChar::Script_Latin; };
    const auto text = [&](std::pair<qsizetype, qsizetype> word) { return line.mid(word.first, word.second).toStdString(); };
    qreal leftmost = box(on.words[0]).left();
    for (std::size_t k = 1; k < on.words.size(); ++k) {
        const qreal before = box(on.words[k - 1]).left(), here = box(on.words[k]).left();
        if (latin(on.words[k - 1]) && latin(on.words[k]))
            EXPECT_GT(here, before) << text(on.words[k]) << " not right of " << text(on.words[k - 1]) << " in " << line.toStdString();
        else
            EXPECT_LT(here, before) << text(on.words[k]) << " not left of " << text(on.words[k - 1]) << " in " << line.toStdString();
        leftmost = std::min(leftmost, here);
    }
    const qsizetype dots = line.indexOf(QChar(0x2026));
    if (dots >= 0 && dots < on.end) {
        EXPECT_LE(drawnBox(line, font, Qt::LeftToRight, dots, 1).right(), leftmost + 0.5)
            << "\u2026 not at the name's left end: " << line.toStdString();
    }
}

// Whether `shown`, laid out left to right in `font` as a painter draws it, has `leftToRight` in
// that order.
inline void expectInOrder(const QString& shown, const QFont& font, const QStringList& leftToRight) {
    const std::vector<qreal> edges = leftEdges(shown, font, leftToRight);
    for (std::size_t i = 1; i < edges.size(); ++i)
        EXPECT_LT(edges[i - 1], edges[i]) << leftToRight[static_cast<qsizetype>(i - 1)].toStdString() << " not left of "
                                          << leftToRight[static_cast<qsizetype>(i)].toStdString() << " in "
                                          << shown.toStdString();
}

// A label showing `name` alone: read aloud as it is, its words in their order on its first line.
inline void expectAlone(const ElidedLabel* label, const AloneName& name) {
    EXPECT_EQ(label->accessibleName(), name.name);
    expectInOrder(label->lines(label->width()).value(0), label->font(), name.leftToRight);
}

// The visible label of `page` that shows `name` (its marks aside), else null and a failure.
inline ElidedLabel* labelShowing(const QWidget& page, const QString& name) {
    for (auto* label : page.findChildren<ElidedLabel*>())
        if (label->isVisibleTo(&page) && withoutMarks(label->text()) == name) return label;
    ADD_FAILURE() << "no label shows " << name.toStdString();
    return nullptr;
}

// In `page`, the labels `find` (by default labelShowing) finds for hebrewAlone and arabicAlone each
// stand alone (see expectAlone), their ink starting where the label of `latin` starts its own, the
// Arabic one's emoji on the left of its letters.
inline void expectAloneInTheColumnOf(QWidget& page, const QString& latin,
                                     const std::function<ElidedLabel*(const QString&)>& find = {}) {
    const auto labelOf = [&](const QString& name) { return find ? find(name) : labelShowing(page, name); };
    const QImage image = page.grab().toImage();
    ElidedLabel* latinLabel = labelOf(latin);
    ASSERT_NE(latinLabel, nullptr);
    for (const AloneName& c : {hebrewAlone, arabicAlone}) {
        SCOPED_TRACE(c.name.toStdString());
        ElidedLabel* label = labelOf(c.name);
        ASSERT_NE(label, nullptr);
        expectAlone(label, c);
        const Ink ink = inkOf(image, label, &page);
        EXPECT_NEAR(ink.left, inkOf(image, latinLabel, &page).left, 2);
        if (c.name == arabicAlone.name) expectEmojiLeftOfLetters(ink);
    }
}

// `label` is cut on its one line, and its tooltip, read aloud too, holds `whole` without the
// marks that keep its names in their order.
inline void expectCutWithAPlainTooltip(const ElidedLabel* label, const QString& whole) {
    const QStringList lines = label->lines(label->width());
    ASSERT_EQ(lines.size(), 1);
    ASSERT_TRUE(lines[0].contains(QChar(0x2026))) << "not cut at " << label->width() << " px: " << lines[0].toStdString();
    const QString tip = label->toolTip();
    EXPECT_EQ(tip, whole);
    for (const QChar mark : {QChar(0x2068), QChar(0x2069), QChar(0x00A0)}) EXPECT_FALSE(tip.contains(mark)) << int(mark.unicode());
}

// A title that goes on with `name` whole on its second line: as many of `filler` (a word no wider
// than the name's first) as fill a line of `width` in `metrics` before the name's first word.
inline QString filledBefore(const QString& name, const QString& filler, const QFontMetrics& metrics, int width) {
    const QString first = name.section(QLatin1Char(' '), 0, 0);
    QString fill = filler;
    while (metrics.horizontalAdvance(fill + " " + first) <= width) fill += " " + filler;
    return fill + " " + name;
}

// `page` at `width` x `height`, shown and refreshed, its events handled.
template <class Page>
void showRefreshed(Page& page, int width, int height) {
    page.resize(width, height);
    page.show();
    page.refresh();
    QCoreApplication::processEvents();
}

// What `widget` paints, text by text, while it is grabbed, and the picture.
struct Painted {
    QImage image;
    std::vector<PaintedText> texts;
    // The first text painted whose words (its marks aside) start with `start`, else a failure.
    PaintedText startingWith(const QString& start) const {
        for (const PaintedText& t : texts)
            if (withoutMarks(t.shown).startsWith(start)) return t;
        ADD_FAILURE() << "nothing painted starting " << start.toStdString();
        return {};
    }
};
inline Painted paintedBy(QWidget& widget) {
    Painted painted;
    setPaintedTextListener([&](const PaintedText& t) { painted.texts.push_back(t); });
    painted.image = widget.grab().toImage();
    setPaintedTextListener({});
    return painted;
}

}  // namespace velmora
