#pragma once
// Names inside English sentences. A sentence is laid out left to right; a name, title, address or
// file name placed in it is isolated (U+2068 … U+2069) when it holds right-to-left letters or
// direction controls, so that it keeps its own order and cannot pull the words and figures beside
// it ("Watching <Arabic name>: 2.93 GB" would otherwise read "Watching 2.93 :<name> GB"). A figure
// keeps to its unit across line breaks. Only what is shown is marked: texts stored or sent stay as
// they are.
#include <string>

#include <QString>
#include <QStringList>
#include <QStringView>

namespace velmora {

// `name`, isolated when it could move what stands beside it in a left-to-right sentence.
QString isolate(const QString& name);
QString isolate(const std::string& name);

// A sentence composed elsewhere (a story's title, a status line), as shown: each of `names` found
// in it and every other right-to-left run isolated, each figure joined to its unit.
QString shownSentence(const QString& sentence, const QStringList& names = {});
QString shownSentence(const std::string& sentence, const QStringList& names = {});

// `text` with the space between a figure and its unit ("399.96 GB") made a no-break space.
QString joinUnits(QString text);

// `shown` without the isolation marks and no-break spaces added above, as a screen reader hears it.
QString withoutMarks(QString shown);

// Whether `text` holds a right-to-left letter, an Arabic digit or a direction control.
bool needsIsolation(QStringView text);

}  // namespace velmora
