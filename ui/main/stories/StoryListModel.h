#pragma once
#include <vector>

// Before Qt: the engine uses words Qt defines as macros.
#include "engine/stories/TimelineEvent.h"
#include "ui/main/stories/StoriesLogic.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QTimeZone>

namespace velmora {

// "HH:mm" of a story's time in `zone`; "--:--" for a date no clock can show.
QString storyTime(const Date& when, const QTimeZone& zone = QTimeZone::systemTimeZone());

// The names a story's texts may hold: its app's name, and the name the stories give it. A right-to-
// left one is isolated whole where those texts are shown.
QStringList storyNames(const TimelineEvent& story);

// One story's row as the delegate draws it, built once per change of the story.
struct StoryRow {
    Uuid id;
    QString time;
    QString title;  // as shown: names isolated, figures joined to their units
    QString text;  // time, title and explanation as plain text
    QString delta;
    QString total;     // empty: none
    QString subtitle;  // as shown; empty: the line stays, blank
    QString summary;
    QString source;
    QString accessible;
    stories::Tone deltaTone = stories::Tone::primary;
    stories::Tone accent = stories::Tone::orange;
    stories::Tone summaryTone = stories::Tone::secondary;
    stories::RowSymbol symbol = stories::RowSymbol::up;
    double share = 0;

    static StoryRow from(const TimelineEvent& story);
    bool operator==(const StoryRow&) const = default;
};

// The shown stories, newest first, keyed by story id: an update inserts, removes and changes
// rows instead of resetting the list, so scroll position and selection stay.
class StoryListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int IdRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void update(std::vector<StoryRow> rows);
    void update(const std::vector<TimelineEvent>& stories);

    const StoryRow* rowAt(int row) const;
    // The row of a story, or −1.
    int rowOf(const Uuid& id) const;

private:
    std::vector<StoryRow> rows_;
};

}  // namespace velmora
