#include "ui/main/heavy/HeavyAppsModel.h"

#include <QVariant>

namespace velmora {

int HeavyAppsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant HeavyAppsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
    const Row& r = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return QString::fromStdString(r.name);  // whole where the row elides it
        case Qt::AccessibleTextRole: {
            QString text = QString::fromStdString(r.name + ", " + r.bytes);
            if (r.foreground) text += QString::fromUtf8(", you\u2019re using this now");
            if (r.badge) text += QString::fromStdString(", " + r.badge->text);
            return text;
        }
        case bytesTextRole: return QString::fromStdString(r.bytes);
        case foregroundRole: return r.foreground;
        case valuesRole: return QVariant::fromValue(static_cast<const void*>(&r.values));
        case badgeTextRole: return r.badge ? QVariant(QString::fromStdString(r.badge->text)) : QVariant();
        case badgeReleaseRole: return r.badge ? QVariant(r.badge->release) : QVariant();
        case keyRole: return QString::fromStdString(r.key);
        default: return {};
    }
}

void HeavyAppsModel::setRows(std::vector<Row> rows) {
    const bool sameKeys = rows.size() == rows_.size() &&
                          std::equal(rows.begin(), rows.end(), rows_.begin(),
                                     [](const Row& a, const Row& b) { return a.key == b.key; });
    if (!sameKeys) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    rows_ = std::move(rows);
    if (!rows_.empty()) emit dataChanged(index(0), index(rowCount() - 1));
}

}  // namespace velmora
