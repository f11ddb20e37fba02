#include "ui/main/developer/SensorFeedModel.h"

#include <algorithm>

#include "ui/main/developer/DeveloperRules.h"

namespace velmora {

int SensorFeedModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant SensorFeedModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
    const SensorLogEntry& e = rows_[static_cast<std::size_t>(index.row())];
    const auto optionalText = [](const std::optional<std::string>& t) {
        return t ? QVariant(QString::fromStdString(*t)) : QVariant();
    };
    switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(e.summary);
        case TimeRole: return QString::fromStdString(developer::feedTime(e.timestamp));
        case SourceRole: return static_cast<int>(e.source);
        case AppRole: return optionalText(e.appName);
        case DetailRole: return optionalText(e.detail);
        default: return {};
    }
}

void SensorFeedModel::sync(const std::vector<SensorLogEntry>& log) {
    // How many entries are new: those before the one the model already shows first.
    std::size_t fresh = log.size();
    if (!rows_.empty()) {
        const auto known = std::find_if(log.begin(), log.end(), [&](const SensorLogEntry& e) { return e.id == rows_.front().id; });
        if (known != log.end()) fresh = static_cast<std::size_t>(known - log.begin());
    }
    // What the model keeps of its rows: those still in the log behind the fresh ones. When the
    // first known row is gone (cleared, or more than a whole log arrived) nothing is kept.
    const bool continues = fresh < log.size() || (log.empty() && rows_.empty());
    const std::size_t keep = continues ? std::min(rows_.size(), log.size() - fresh) : 0;
    if (keep < rows_.size()) {
        beginRemoveRows({}, static_cast<int>(keep), static_cast<int>(rows_.size()) - 1);
        rows_.resize(keep);
        endRemoveRows();
    }
    if (fresh > 0 && !log.empty()) {
        beginInsertRows({}, 0, static_cast<int>(fresh) - 1);
        rows_.insert(rows_.begin(), log.begin(), log.begin() + static_cast<std::ptrdiff_t>(fresh));
        endInsertRows();
    }
}

}  // namespace velmora
