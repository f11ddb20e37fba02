#pragma once
#include <vector>

#include <QAbstractListModel>

#include "engine/stories/SensorSource.h"

namespace velmora {

// The live sensor feed, newest first. sync() follows the application's log by inserting the new
// entries at the front and dropping what fell off the end, so a view keeps its scroll position
// and nothing is rebuilt each second.
class SensorFeedModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { TimeRole = Qt::UserRole + 1, SourceRole, AppRole, DetailRole };

    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // `log` is newest first and only ever grows at the front, is cut at the back, or is emptied.
    void sync(const std::vector<SensorLogEntry>& log);

private:
    std::vector<SensorLogEntry> rows_;
};

}  // namespace velmora
