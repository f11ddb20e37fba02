#include "ui/style/Elision.h"

namespace velmora {

namespace {
const QChar ellipsis(0x2026);
const QChar leftToRightMark(0x200E);
const QChar rightToLeftMark(0x200F);

const QChar popIsolate(0x2069);
const QChar popFormatting(0x202C);

bool rightToLeft(QChar::Direction d) { return d == QChar::DirR || d == QChar::DirAL; }

// Where "…" ends in `shown`: before the closing isolates and direction marks that may follow it
// (an isolated name cut short keeps its closing mark after "…"); -1 when it does not end in "…".
qsizetype ellipsisEnd(const QString& shown) {
    qsizetype end = shown.size();
    while (end > 0 && (shown[end - 1] == popIsolate || shown[end - 1] == popFormatting || shown[end - 1] == leftToRightMark ||
                       shown[end - 1] == rightToLeftMark))
        --end;
    return end > 0 && shown[end - 1] == ellipsis ? end : -1;
}

}  // namespace

QString markEllipsis(const QString& shown) {
    const qsizetype end = ellipsisEnd(shown);
    if (end < 0) return shown;
    for (qsizetype i = end; i < shown.size(); ++i)
        if (shown[i] == leftToRightMark || shown[i] == rightToLeftMark) return shown;  // marked already
    // The direction of the run that was cut: that of its last strong letter, read by code point so
    // that an emoji's two halves do not pass for a left-to-right letter.
    for (qsizetype i = end - 2; i >= 0; --i) {
        char32_t cp = shown[i].unicode();
        if (shown[i].isLowSurrogate() && i > 0 && shown[i - 1].isHighSurrogate()) {
            cp = QChar::surrogateToUcs4(shown[i - 1], shown[i]);
            --i;
        }
        const QChar::Direction d = QChar::direction(cp);
        if (rightToLeft(d)) return QString(shown).insert(end, rightToLeftMark);
        // A left-to-right run cut inside a right-to-left text keeps "…" on its right too.
        if (d == QChar::DirL) return shown.isRightToLeft() ? QString(shown).insert(end, leftToRightMark) : shown;
    }
    return shown;
}

QString elideEnd(const QFontMetrics& metrics, const QString& text, int width) {
    return markEllipsis(metrics.elidedText(text, Qt::ElideRight, width));
}

bool isElided(const QString& shown) { return ellipsisEnd(shown) >= 0; }

}  // namespace velmora
