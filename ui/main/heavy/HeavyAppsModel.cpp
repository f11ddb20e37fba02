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
        case valuesVersionRole: return QVariant::fromValue<qulonglong>(versions_[static_cast<std::size_t>(index.row())]);
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
        versions_.resize(rows_.size());
        for (auto& v : versions_) v = ++lastVersion_;
        endResetModel();
        return;
    }
    // Rows that stayed as they were are not painted again.
    for (std::size_t i = 0; i < rows_.size();) {
        if (rows[i] == rows_[i]) {
            ++i;
            continue;
        }
        const std::size_t first = i;
        for (; i < rows_.size() && !(rows[i] == rows_[i]); ++i) {
            if (rows[i].values != rows_[i].values) versions_[i] = ++lastVersion_;
            rows_[i] = std::move(rows[i]);
        }
        emit dataChanged(index(static_cast<int>(first)), index(static_cast<int>(i - 1)));
    }
}

}  // namespace velmora
