#pragma once
#include <QAbstractListModel>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/main/heavy/HeavyRules.h"

namespace velmora {

// The heaviest apps, one row per grouping key (the snapshot id changes every second, the key
// does not): a tick with the same keys in the same order only changes data, and only over the
// rows whose data changed.
class HeavyAppsModel final : public QAbstractListModel {
public:
    enum Role {
        bytesTextRole = Qt::UserRole + 1,
        foregroundRole,
        valuesRole,
        badgeTextRole,
        badgeReleaseRole,
        keyRole,
        valuesVersionRole  // moves whenever the row's values change, so a drawn line can be kept
    };

    struct Row {
        std::string key;
        std::string name;
        bool foreground = false;
        std::string bytes;
        std::vector<std::uint64_t> values;
        std::optional<DeltaBadge> badge;
        bool operator==(const Row&) const = default;
    };

    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void setRows(std::vector<Row> rows);
    const Row& row(int i) const { return rows_[static_cast<std::size_t>(i)]; }

private:
    std::vector<Row> rows_;
    std::vector<std::uint64_t> versions_;  // one per row
    std::uint64_t lastVersion_ = 0;
};

}  // namespace velmora
