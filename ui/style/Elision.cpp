#include "ui/style/Elision.h"

namespace velmora {

namespace {
const QChar ellipsis(0x2026);
const QChar leftToRightMark(0x200E);
const QChar rightToLeftMark(0x200F);

bool rightToLeft(QChar::Direction d) { return d == QChar::DirR || d == QChar::DirAL; }
}  // namespace

QString markEllipsis(const QString& shown) {
    if (!shown.endsWith(ellipsis)) return shown;
    // The direction of the run that was cut: that of its last strong letter, read by code point so
    // that an emoji's two halves do not pass for a left-to-right letter.
    for (qsizetype i = shown.size() - 2; i >= 0; --i) {
        char32_t cp = shown[i].unicode();
        if (shown[i].isLowSurrogate() && i > 0 && shown[i - 1].isHighSurrogate()) {
            cp = QChar::surrogateToUcs4(shown[i - 1], shown[i]);
            --i;
        }
        const QChar::Direction d = QChar::direction(cp);
        if (rightToLeft(d)) return shown + rightToLeftMark;
        // A left-to-right run cut inside a right-to-left text keeps "…" on its right too.
        if (d == QChar::DirL) return shown.isRightToLeft() ? shown + leftToRightMark : shown;
    }
    return shown;
}

QString elideEnd(const QFontMetrics& metrics, const QString& text, int width) {
    return markEllipsis(metrics.elidedText(text, Qt::ElideRight, width));
}

bool isElided(const QString& shown) {
    if (shown.endsWith(leftToRightMark) || shown.endsWith(rightToLeftMark)) return shown.chopped(1).endsWith(ellipsis);
    return shown.endsWith(ellipsis);
}

}  // namespace velmora
