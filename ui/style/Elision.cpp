#include "ui/style/Elision.h"

#include <algorithm>
#include <vector>

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

bool isolateOpener(QChar c) { return c == QChar(0x2066) || c == QChar(0x2067) || c == QChar(0x2068); }

// The direction the isolate opened at `open` in `text` takes from its first strong letter (its
// own nested isolates skipped), as a first-strong isolate does; right to left for U+2067.
bool rightToLeftIsolate(const QString& text, qsizetype open) {
    if (text[open] != QChar(0x2068)) return text[open] == QChar(0x2067);
    int depth = 0;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        if (isolateOpener(text[i])) ++depth;
        else if (text[i] == popIsolate && --depth < 0) return false;
        if (depth > 0) continue;
        char32_t cp = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
        const QChar::Direction d = QChar::direction(cp);
        if (rightToLeft(d)) return true;
        if (d == QChar::DirL) return false;
    }
    return false;
}

// Where the isolate that holds position `at` of `shown` opens, or -1 outside every isolate.
qsizetype openIsolateAt(const QString& shown, qsizetype at) {
    const std::vector<qsizetype> open = openIsolates(shown, at);
    return open.empty() ? -1 : open.back();
}

bool hasStrongLetter(QStringView text) {
    for (const QChar c : text)
        if (rightToLeft(c.direction()) || c.direction() == QChar::DirL) return true;
    return false;
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
    const QString shown = metrics.elidedText(text, Qt::ElideRight, width);
    // A right-to-left name cut down to what holds no letter ("(" of "(בדיקה) כלי") would read left
    // to right and put "…" on its right: the mark keeps the name's own direction, so "…" stands at
    // its left, its cut end. The kept text is the start of `text`, so the isolate opens at the same
    // place in both.
    const qsizetype end = ellipsisEnd(shown);
    if (end < 0) return markEllipsis(shown);
    const qsizetype open = openIsolateAt(shown, end - 1);
    if (open >= 0 && open < text.size() && text[open] == shown[open] && !hasStrongLetter(QStringView(shown).mid(open + 1, end - 1 - open - 1)) && rightToLeftIsolate(text, open))
        return QString(shown).insert(end, rightToLeftMark);
    return markEllipsis(shown);
}

bool isElided(const QString& shown) { return ellipsisEnd(shown) >= 0; }

std::vector<qsizetype> openIsolates(const QString& text, qsizetype at) {
    std::vector<qsizetype> open;
    for (qsizetype i = 0; i < at && i < text.size(); ++i) {
        if (isolateOpener(text[i])) open.push_back(i);
        else if (text[i] == popIsolate && !open.empty()) open.pop_back();
    }
    return open;
}

QString reopenIsolates(const QString& text, qsizetype at, qsizetype end) {
    const std::vector<qsizetype> open = openIsolates(text, at);
    QString openers;
    for (const qsizetype i : open) openers += text[i];
    const QString line = openers + text.mid(at, std::max<qsizetype>(0, end - at));
    QString out;
    for (std::size_t k = 0; k < open.size(); ++k) {
        out += text[open[k]];
        const bool rightToLeft = rightToLeftIsolate(text, open[k]);
        if (rightToLeftIsolate(line, static_cast<qsizetype>(k)) != rightToLeft)
            out += rightToLeft ? rightToLeftMark : leftToRightMark;
    }
    return out;
}

QString closeIsolates(const QString& line) {
    return line + QString(static_cast<qsizetype>(openIsolates(line, line.size()).size()), popIsolate);
}

}  // namespace velmora
