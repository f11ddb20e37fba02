#pragma once
#include <QWidget>

#include "engine/stories/TimelineEvent.h"

namespace velmora {

// "Strong", "Best guess" or "Unsure" in a capsule of the level's colour. Assistive technology
// reads the level's whole how-sure sentence instead of the word.
class ConfidenceBadge final : public QWidget {
    Q_OBJECT
public:
    explicit ConfidenceBadge(ConfidenceLevel level = ConfidenceLevel::low, QWidget* parent = nullptr);
    void setLevel(ConfidenceLevel level);
    ConfidenceLevel level() const { return level_; }
    QString text() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ConfidenceLevel level_;
};

}  // namespace velmora
