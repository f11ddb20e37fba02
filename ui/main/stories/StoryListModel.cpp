#include "ui/main/stories/StoryListModel.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <set>

namespace velmora {

namespace {

QString rowText(const TimelineEvent& story) {
    const double unix = story.timestamp.unixSeconds();
    // A date no clock can show gets no time rather than an overflow.
    const QString time = std::isfinite(unix) && std::abs(unix) < 1e11
                             ? QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(unix * 1000.0)).toString("HH:mm")
                             : QString("--:--");
    return time + "  " + QString::fromStdString(story.title) + "\n" + QString::fromStdString(story.explanation);
}

}  // namespace

int StoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant StoryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
    return rows_[static_cast<std::size_t>(index.row())].text;
}

void StoryListModel::update(const std::vector<TimelineEvent>& stories) {
    std::vector<Row> next;
    next.reserve(stories.size());
    for (const auto& s : stories) next.push_back({s.id, rowText(s)});

    std::set<Uuid> kept;
    for (const auto& r : next) kept.insert(r.id);
    for (int i = static_cast<int>(rows_.size()) - 1; i >= 0;) {
        if (kept.contains(rows_[static_cast<std::size_t>(i)].id)) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && !kept.contains(rows_[static_cast<std::size_t>(first - 1)].id)) --first;
        beginRemoveRows({}, first, i);
        rows_.erase(rows_.begin() + first, rows_.begin() + i + 1);
        endRemoveRows();
        i = first - 1;
    }

    // What stays must keep its order; a store that reordered its stories gets a reset.
    std::size_t old = 0;
    for (const auto& r : next)
        if (old < rows_.size() && rows_[old].id == r.id) ++old;
    if (old != rows_.size()) {
        beginResetModel();
        rows_ = std::move(next);
        endResetModel();
        return;
    }
    for (std::size_t i = 0; i < next.size(); ++i) {
        if (i < rows_.size() && rows_[i].id == next[i].id) continue;
        // Insert the run of new ids that ends where the next kept row sits.
        std::size_t runEnd = i;
        while (runEnd < next.size() && (i >= rows_.size() || next[runEnd].id != rows_[i].id)) ++runEnd;
        beginInsertRows({}, static_cast<int>(i), static_cast<int>(runEnd - 1));
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(i), next.begin() + static_cast<std::ptrdiff_t>(i),
                     next.begin() + static_cast<std::ptrdiff_t>(runEnd));
        endInsertRows();
        i = runEnd - 1;
    }
    for (std::size_t i = 0; i < rows_.size();) {
        if (rows_[i].text == next[i].text) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < rows_.size() && rows_[end].text != next[end].text) rows_[end].text = next[end].text, ++end;
        emit dataChanged(index(static_cast<int>(i)), index(static_cast<int>(end - 1)), {Qt::DisplayRole});
        i = end;
    }
}

}  // namespace velmora
