#pragma once
// One way to cut a text short: at its end, with "…" standing where the text runs out. In a
// right-to-left run (a Hebrew or Arabic name) that is on the run's left, though "…" comes last in
// the string: a neutral "…" after the run would otherwise take the surrounding left-to-right
// direction and land on the run's right, beside its first word.
#include <QFontMetrics>
#include <QString>

#include <vector>

namespace velmora {

// `text` cut at its end to fit `width` in `metrics`, ending in "…" (and, after a right-to-left
// run, a right-to-left mark that gives "…" the run's direction, also when a right-to-left name
// is cut down to no letter); whole when it fits.
QString elideEnd(const QFontMetrics& metrics, const QString& text, int width);
// `shown`, cut by other means and ending in "…" (closing isolates may follow it), with the mark
// its last run needs.
QString markEllipsis(const QString& shown);
// Whether `shown` ends in "…", direction marks and closing isolates after it or not.
bool isElided(const QString& shown);
// Where the isolates of `text` still open at `at` were opened, outermost first.
std::vector<qsizetype> openIsolates(const QString& text, qsizetype at);

// A line of a wrapped text is drawn on its own: one that starts inside isolates carries them over,
// each in the direction it took in the whole text.
// The openers of the isolates of `text` still open at `at`, outermost first, each followed by the
// mark of its direction where the line's own words up to `end` would give it another (a Persian
// name whose next line starts with a Latin word).
QString reopenIsolates(const QString& text, qsizetype at, qsizetype end);
// `line` with the isolates it leaves open closed at its end.
QString closeIsolates(const QString& line);

}  // namespace velmora
