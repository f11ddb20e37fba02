// Names inside English sentences: isolated so a right-to-left one keeps the words and figures
// beside it in their places, figures kept on their units' lines, and "…" placed by the direction
// of the letters it cuts, read by code point.
#include <gtest/gtest.h>

#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "tests/ui/TextOrder.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QTextLayout>

namespace velmora {
namespace {

const QString fsi(QChar(0x2068)), pdi(QChar(0x2069));
// "Document manager" in Arabic, as a desktop entry's translated name gives it.
const QString arabicName = QString::fromUtf8("مدير المستندات");

TEST(BidiText, NameInsideSentenceKeepsWordsAndFiguresInPlace) {
    const struct {
        QString sentence;
        QStringList inOrder;
    } cases[] = {
        {"Watching " + arabicName + ": 2.93 GB (+1.46 GB vs start)", {"Watching", arabicName, "2.93", "GB", "+1.46"}},
        {"Settling " + arabicName + QString::fromUtf8("… 58s"), {"Settling", arabicName, "58s"}},
        {arabicName + " used +500 MB more", {arabicName, "used", "+500"}},
    };
    for (const auto& c : cases) {
        const std::vector<qreal> edges = leftEdges(shownSentence(c.sentence, {arabicName}), QFont(QStringLiteral("DejaVu Sans"), 12), c.inOrder);
        for (std::size_t i = 1; i < edges.size(); ++i)
            EXPECT_LT(edges[i - 1], edges[i]) << c.sentence.toStdString() << ": " << c.inOrder[qsizetype(i)].toStdString();
    }
}

TEST(BidiText, IsolatesOnlyWhatCanMoveItsNeighbours) {
    EXPECT_EQ(isolate(QStringLiteral("Firefox Web Browser")), "Firefox Web Browser");
    EXPECT_EQ(isolate(std::string("1,024 tabs")), "1,024 tabs");
    EXPECT_EQ(isolate(arabicName), fsi + arabicName + pdi);
    // A title with a stray override or a stray closing isolate stays inside its own isolate.
    EXPECT_EQ(isolate(QString::fromUtf8("a\u202Eb")), fsi + QString::fromUtf8("a\u202Eb") + pdi);
    EXPECT_EQ(isolate(QString::fromUtf8("a\u2069b")), fsi + "ab" + pdi);
    EXPECT_EQ(isolate(QString::fromUtf8("a\u2067b")), fsi + QString::fromUtf8("a\u2067b") + pdi + pdi);
    EXPECT_TRUE(needsIsolation(QString::fromUtf8("\u0661\u0662")));  // Arabic digits
    EXPECT_FALSE(needsIsolation(QString::fromUtf8("Caf\u00E9 \U0001F4C1")));
}

TEST(BidiText, SentenceIsolatesKnownNamesWholeAndOtherRightToLeftRuns) {
    const QString title = QString::fromUtf8("تقرير");
    // A known name is isolated whole, Latin letters within it included.
    EXPECT_EQ(shownSentence("In " + title + " Q3: 2 tabs", {title + " Q3"}), "In " + fsi + title + " Q3" + pdi + ": 2 tabs");
    // An unknown one: from its first right-to-left letter to its last, punctuation and figures after it left out.
    EXPECT_EQ(shownSentence(std::string("In Excel: \u062A\u0642\u0631\u064A\u0631 (2), \u0645\u0644\u0641: 3 KB")),
              "In Excel: " + fsi + QString::fromUtf8("\u062A\u0642\u0631\u064A\u0631 (2), \u0645\u0644\u0641") + pdi +
                  QString::fromUtf8(": 3\u00A0KB"));
    // An emoji after the name stays outside it; one inside it stays inside.
    EXPECT_EQ(shownSentence(title + QString::fromUtf8(" \U0001F4CA grew")), fsi + title + pdi + QString::fromUtf8(" \U0001F4CA grew"));
    EXPECT_EQ(shownSentence(title + QString::fromUtf8(" \U0001F4CA ") + title), fsi + title + QString::fromUtf8(" \U0001F4CA ") + title + pdi);
    // What was isolated already is kept as it is.
    const QString once = shownSentence("Quit " + isolate(arabicName), {arabicName});
    EXPECT_EQ(once, "Quit " + fsi + arabicName + pdi);
    EXPECT_EQ(shownSentence(QStringLiteral("Firefox used 2 GB")), QString::fromUtf8("Firefox used 2\u00A0GB"));
}

// A right-to-left fragment the engine cut short ("…" right after its last letter) keeps its "…" at
// its cut end, on its left, not beside its first word: at the end of a sentence and inside one.
TEST(BidiText, AnEllipsisTheEngineLeftAfterARightToLeftRunStandsAtItsLeft) {
    const QString run = QString::fromUtf8("\u05D3\u05D5\u05D7 \u05E9\u05E0\u05EA\u05D9 \u05DE\u05E4\u05D5\u05E8\u05D8 "
                                          "\u05DC\u05E9\u05E0\u05EA");
    const QFont font(QStringLiteral("DejaVu Sans"), 12);
    for (const QString& sentence : {"You were editing " + run + QChar(0x2026), "You opened " + run + QChar(0x2026) + " in Firefox"}) {
        const QString shown = shownSentence(sentence);
        const qsizetype dots = shown.indexOf(QChar(0x2026)), at = shown.indexOf(run);
        ASSERT_GE(at, 0) << shown.toStdString();
        const QRectF mark = drawnBox(shown, font, Qt::LeftToRight, dots, 1);
        const QRectF letters = drawnBox(shown, font, Qt::LeftToRight, at, run.size());
        EXPECT_LE(mark.right(), letters.left() + 0.5) << shown.toStdString();
        // The English words around it keep their places.
        const std::vector<qreal> edges = leftEdges(shown, font, {"You", QChar(0x2026), run.left(3)});
        EXPECT_LT(edges[0], edges[1]) << shown.toStdString();
        if (sentence.endsWith("Firefox"))
            EXPECT_GT(drawnBox(shown, font, Qt::LeftToRight, shown.indexOf("Firefox"), 7).left(), letters.right());
    }
}

TEST(BidiText, FiguresKeepTheirUnits) {
    EXPECT_EQ(joinUnits(QStringLiteral("399.96 GB, 1 byte, 12 bytes, 7 KB, 3 MB and 2 TB")),
              QString::fromUtf8("399.96\u00A0GB, 1\u00A0byte, 12\u00A0bytes, 7\u00A0KB, 3\u00A0MB and 2\u00A0TB"));
    // Not a unit: a word that starts like one, or a unit before its figure.
    EXPECT_EQ(joinUnits(QStringLiteral("5 GBP, MB 5, Q3 Budget, 4 bytesized")), "5 GBP, MB 5, Q3 Budget, 4 bytesized");
    EXPECT_EQ(withoutMarks(shownSentence("Watching " + arabicName + ": 2.93 GB", {arabicName})),
              "Watching " + arabicName + ": 2.93 GB");
}

TEST(BidiText, EllipsisTakesTheDirectionOfTheLettersItCutsReadByCodePoint) {
    const QString rlm(QChar(0x200F)), lrm(QChar(0x200E)), dots(QChar(0x2026));
    const QString emoji = QString::fromUtf8("\U0001F4C1");
    // An Arabic name cut just after an emoji: "…" belongs to the Arabic run, on its left.
    EXPECT_EQ(markEllipsis(arabicName + " " + emoji + dots), arabicName + " " + emoji + dots + rlm);
    EXPECT_EQ(markEllipsis(arabicName + emoji + dots), arabicName + emoji + dots + rlm);
    // A Latin run after the emoji decides alone.
    EXPECT_EQ(markEllipsis("Files " + emoji + dots), "Files " + emoji + dots);
    EXPECT_EQ(markEllipsis(arabicName + " Files " + emoji + dots), arabicName + " Files " + emoji + dots + lrm);
    // An isolated name cut short keeps its closing isolate after "…": the mark goes before it, once.
    EXPECT_EQ(markEllipsis("Quit " + fsi + arabicName + dots + pdi), "Quit " + fsi + arabicName + dots + rlm + pdi);
    EXPECT_EQ(markEllipsis("Quit " + fsi + arabicName + dots + rlm + pdi), "Quit " + fsi + arabicName + dots + rlm + pdi);
    EXPECT_TRUE(isElided("Quit " + fsi + arabicName + dots + rlm + pdi));
    EXPECT_FALSE(isElided("Quit " + fsi + arabicName + pdi));
    const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 12));
    const QString cut = elideEnd(metrics, "Quit " + isolate(arabicName + " " + arabicName + " " + arabicName), 120);
    EXPECT_TRUE(isElided(cut)) << cut.toStdString();
    EXPECT_TRUE(cut.startsWith("Quit ")) << cut.toStdString();
    EXPECT_TRUE(cut.contains(dots + rlm)) << cut.toStdString();
    // A lone low surrogate at the start reads as nothing and decides nothing.
    EXPECT_EQ(markEllipsis(QString(QChar(0xDC01)) + dots), QString(QChar(0xDC01)) + dots);
}

}  // namespace
}  // namespace velmora
