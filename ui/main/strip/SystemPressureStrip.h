#pragma once
#include <optional>

#include <QWidget>

#include "ui/main/strip/PressureStripRules.h"

class QLabel;

namespace velmora {

// The one-line summary of the computer's memory that heads the Overview, Stories and Who's heavy
// pages: a status dot, a headline and explanation, and on the right the figures and a usage bar.
class SystemPressureStrip final : public QWidget {
    Q_OBJECT
public:
    explicit SystemPressureStrip(QWidget* parent = nullptr);
    // Sets only what changed.
    void setSnapshot(const std::optional<SystemMemorySnapshot>& snapshot);
    const PressureStripText& text() const { return text_; }
    QColor statusColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Dot;
    class UsageBar;
    PressureStripText text_;
    bool drawn_ = false;
    Dot* dot_;
    QLabel* headline_;
    QLabel* explanation_;
    QWidget* figures_;
    QLabel* used_;
    QLabel* free_;
    UsageBar* bar_;
    QLabel* disk_;
};

}  // namespace velmora
