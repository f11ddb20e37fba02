#include "platform/qt/BidiText.h"


#include <algorithm>
#include <utility>
#include <vector>

namespace velmora {

namespace {

const QChar firstStrongIsolate(0x2068);
const QChar popDirectionalIsolate(0x2069);
const QChar ellipsis(0x2026);

// The code point at `i` and how many UTF-16 units it takes: an emoji is one character, not two
// halves that each read as a left-to-right letter.
std::pair<char32_t, qsizetype> codePointAt(QStringView text, qsizetype i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text[i + 1]), 2};
    return {c.unicode(), 1};
}

bool isolateOpener(QChar::Direction d) { return d == QChar::DirLRI || d == QChar::DirRLI || d == QChar::DirFSI; }

bool directionControl(QChar::Direction d) {
    switch (d) {
        case QChar::DirLRE: case QChar::DirLRO: case QChar::DirRLE: case QChar::DirRLO: case QChar::DirPDF:
        case QChar::DirLRI: case QChar::DirRLI: case QChar::DirFSI: case QChar::DirPDI:
            return true;
        default:
            return false;
    }
}

// What can reorder its neighbours in a left-to-right sentence.
bool movesNeighbours(QChar::Direction d) {
    return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN || directionControl(d);
}

// `inner` between U+2068 and U+2069, its own isolates balanced so that none closes ours early or
// runs on past it.
QString wrap(QStringView inner) {
    QString out;
    out.reserve(inner.size() + 2);
    out += firstStrongIsolate;
    int depth = 0;
    for (const QChar c : inner) {
        const QChar::Direction d = c.direction();
        if (isolateOpener(d)) ++depth;
        if (d == QChar::DirPDI) {
            if (depth == 0) continue;
            --depth;
        }
        out += c;
    }
    out += QString(depth + 1, popDirectionalIsolate);
    return out;
}

// The unit at `i`: one code point with its direction, or a whole isolate already balanced, which
// stands in a sentence as one neutral.
std::pair<QChar::Direction, qsizetype> bidiUnitAt(QStringView text, qsizetype i) {
    const auto [cp, length] = codePointAt(text, i);
    const QChar::Direction d = QChar::direction(cp);
    if (!isolateOpener(d)) return {d, length};
    int depth = 0;
    for (qsizetype j = i; j < text.size(); ++j) {
        const QChar::Direction inner = text[j].direction();
        if (isolateOpener(inner)) ++depth;
        else if (inner == QChar::DirPDI && --depth == 0) return {QChar::DirON, j + 1 - i};
    }
    return {d, length};
}

// `text` with each run from a right-to-left letter to the last one before a left-to-right letter
// isolated, with the "…" right after it that says it was cut: the figures and punctuation after
// it stay where the sentence puts them.
QString isolateRuns(QStringView text) {
    QString out;
    qsizetype done = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [direction, length] = bidiUnitAt(text, i);
        if (!movesNeighbours(direction)) {
            i += length;
            continue;
        }
        qsizetype end = i + length;
        for (qsizetype j = end; j < text.size();) {
            const auto [d, nextLength] = bidiUnitAt(text, j);
            if (d == QChar::DirL) break;
            // A combining mark belongs to the letter before it.
            if (movesNeighbours(d) || (d == QChar::DirNSM && j == end)) end = j + nextLength;
            j += nextLength;
        }
        // A run the engine cut short ends in "…": it stands at the run's cut end, inside it.
        if (end < text.size() && text[end] == ellipsis) ++end;
        out += text.mid(done, i - done);
        out += wrap(text.mid(i, end - i));
        done = i = end;
    }
    out += text.mid(done);
    return out;
}

// Whether a unit word ("bytes", "byte", "KB", "MB", "GB", "TB") starts at `at` and ends there.
bool unitStartsAt(QStringView text, qsizetype at) {
    for (const QLatin1StringView unit : {QLatin1StringView("bytes"), QLatin1StringView("byte"), QLatin1StringView("KB"),
                                         QLatin1StringView("MB"), QLatin1StringView("GB"), QLatin1StringView("TB")}) {
        const qsizetype end = at + unit.size();
        if (text.mid(at).startsWith(unit) && (end == text.size() || !text[end].isLetterOrNumber())) return true;
    }
    return false;
}

// `text` with each space between a figure and its unit replaced by `with`: a plain walk, since it
// runs on every layout of every wrapped label.
QString replaceUnitSpaces(QString text, QChar space, QChar with) {
    for (qsizetype i = 1; i + 1 < text.size(); ++i)
        if (text[i] == space && text[i - 1].isDigit() && text[i - 1].unicode() < 0x80 && unitStartsAt(text, i + 1)) text[i] = with;
    return text;
}

}  // namespace

bool needsIsolation(QStringView text) {
    for (qsizetype i = 0; i < text.size();) {
        const auto [cp, length] = codePointAt(text, i);
        if (movesNeighbours(QChar::direction(cp))) return true;
        i += length;
    }
    return false;
}

QString isolate(const QString& name) { return needsIsolation(name) ? wrap(name) : name; }

QString isolate(const std::string& name) { return isolate(QString::fromStdString(name)); }

QString joinUnits(QString text) { return replaceUnitSpaces(std::move(text), QLatin1Char(' '), QChar(0x00A0)); }

QString shownSentence(const QString& sentence, const QStringList& names) {
    // Where the known names stand, longest first so a name holding a shorter one is taken whole.
    QStringList wanted;
    for (const QString& name : names)
        if (needsIsolation(name)) wanted << name;
    std::sort(wanted.begin(), wanted.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    // What is isolated already stays as it is.
    std::vector<std::pair<qsizetype, qsizetype>> isolated, spans;
    for (qsizetype i = 0; i < sentence.size();) {
        const qsizetype length = bidiUnitAt(sentence, i).second;
        if (isolateOpener(sentence[i].direction()) && length > 1) isolated.emplace_back(i, i + length);
        i += length;
    }
    for (const QString& name : wanted)
        for (qsizetype at = sentence.indexOf(name); at >= 0; at = sentence.indexOf(name, at + 1)) {
            const qsizetype end = at + name.size();
            const auto overlaps = [&](const auto& s) { return at < s.second && s.first < end; };
            const bool free = std::none_of(spans.begin(), spans.end(), overlaps) &&
                              std::none_of(isolated.begin(), isolated.end(), overlaps);
            if (free) spans.emplace_back(at, end);
        }
    std::sort(spans.begin(), spans.end());
    QString out;
    out.reserve(sentence.size() + 8);
    qsizetype done = 0;
    const QStringView all(sentence);
    for (const auto& [from, to] : spans) {
        out += joinUnits(isolateRuns(all.mid(done, from - done)));
        out += wrap(all.mid(from, to - from));
        done = to;
    }
    out += joinUnits(isolateRuns(all.mid(done)));
    return out;
}

QString shownSentence(const std::string& sentence, const QStringList& names) {
    return shownSentence(QString::fromStdString(sentence), names);
}

QString withoutMarks(QString shown) {
    shown.remove(firstStrongIsolate).remove(popDirectionalIsolate);
    return replaceUnitSpaces(std::move(shown), QChar(0x00A0), QLatin1Char(' '));
}

}  // namespace velmora
