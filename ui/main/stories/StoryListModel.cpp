#include "ui/main/stories/StoryListModel.h"

#include <QDateTime>

#include "engine/stories/Phrasing.h"
#include "platform/qt/BidiText.h"

#include <cmath>
#include <set>

namespace velmora {

QString storyTime(const Date& when, const QTimeZone& zone) {
    const double unix = when.unixSeconds();
    // A date no clock can show gets no time rather than an overflow in the cast.
    if (!std::isfinite(unix) || std::abs(unix) >= 1e11) return QStringLiteral("--:--");
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(unix * 1000.0)), zone)
        .toString(QStringLiteral("HH:mm"));
}

QStringList storyNames(const TimelineEvent& story) {
    if (!story.relatedApp) return {};
    const std::string& name = story.relatedApp->displayName;
    return {QString::fromStdString(name), QString::fromStdString(friendlyAppName(name))};
}

StoryRow StoryRow::from(const TimelineEvent& story) {
    const auto model = stories::rowModel(story);
    const QStringList names = storyNames(story);
    StoryRow row;
    row.id = story.id;
    row.time = storyTime(story.timestamp);
    row.title = shownSentence(story.title, names);
    row.text = row.time + QStringLiteral("  ") + QString::fromStdString(story.title) + QLatin1Char('\n') +
               QString::fromStdString(story.explanation);
    row.delta = QString::fromStdString(model.deltaText);
    row.total = model.totalText ? QString::fromStdString(*model.totalText) : QString();
    row.subtitle = model.subtitle ? shownSentence(*model.subtitle, names) : QString();
    row.summary = QString::fromStdString(model.summary);
    row.source = QString::fromStdString(model.sourceLabel);
    row.accessible = QString::fromStdString(model.accessibleText);
    row.deltaTone = model.deltaTone;
    row.accent = model.accent;
    row.summaryTone = model.summaryTone;
    row.symbol = model.symbol;
    row.share = model.share;
    return row;
}

int StoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

const StoryRow* StoryListModel::rowAt(int row) const {
    return row >= 0 && row < rowCount() ? &rows_[static_cast<std::size_t>(row)] : nullptr;
}

int StoryListModel::rowOf(const Uuid& id) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) return static_cast<int>(i);
    return -1;
}

QVariant StoryListModel::data(const QModelIndex& index, int role) const {
    const auto* row = index.isValid() ? rowAt(index.row()) : nullptr;
    if (!row) return {};
    switch (role) {
        case Qt::DisplayRole: return row->text;
        case Qt::AccessibleTextRole:
        case Qt::ToolTipRole: return row->accessible;
        case IdRole: return QString::fromStdString(row->id.toString());
        default: return {};
    }
}

void StoryListModel::update(const std::vector<TimelineEvent>& stories) {
    std::vector<StoryRow> rows;
    rows.reserve(stories.size());
    for (const auto& s : stories) rows.push_back(StoryRow::from(s));
    update(std::move(rows));
}

void StoryListModel::update(std::vector<StoryRow> next) {
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
        if (rows_[i] == next[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < rows_.size() && !(rows_[end] == next[end])) rows_[end] = next[end], ++end;
        emit dataChanged(index(static_cast<int>(i)), index(static_cast<int>(end - 1)));
        i = end;
    }
}

}  // namespace velmora
