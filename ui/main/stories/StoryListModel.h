#pragma once
#include <vector>

// Before Qt: the engine uses words Qt defines as macros.
#include "engine/stories/TimelineEvent.h"

#include <QAbstractListModel>

namespace velmora {

// The stories as plain-text rows (time, title, explanation), newest first, keyed by story id: an
// update inserts, removes and changes rows instead of resetting the list.
class StoryListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void update(const std::vector<TimelineEvent>& stories);

private:
    struct Row {
        Uuid id;
        QString text;
    };
    std::vector<Row> rows_;
};

}  // namespace velmora
