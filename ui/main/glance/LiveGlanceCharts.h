#pragma once
#include <QWidget>

#include "ui/main/glance/GlanceRules.h"

class QBoxLayout;
class QLabel;

namespace velmora {

class MarkedSparkline;

// Two cards side by side, free memory and the heaviest app, each a marked sparkline of the
// last 15 minutes under its title, value and trend.
class LiveGlanceCharts final : public QWidget {
    Q_OBJECT
public:
    explicit LiveGlanceCharts(QWidget* parent = nullptr);
    void setCharts(const GlanceCharts& charts);

    class Card;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Card* free_;
    Card* app_;
};

class ElidedLabel;

class LiveGlanceCharts::Card final : public QWidget {
public:
    Card(const QColor& colour, QWidget* parent);
    void set(const GlanceCard& card);
    QLabel* value() const { return value_; }
    QLabel* trend() const { return trend_; }
    MarkedSparkline* sparkline() const { return line_; }

    // True when the title sits on a line of its own above the figures.
    bool titleAbove() const { return titleAbove_; }
    // True when the trend sits under the value, the card being too narrow for both on one line.
    bool figuresStacked() const { return figuresStacked_; }
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeTitle();

    QColor colour_;
    QBoxLayout* titleRow_;
    QBoxLayout* figureRow_;
    bool titleAbove_ = false;
    bool figuresStacked_ = false;
    ElidedLabel* title_;
    QLabel* value_;
    QLabel* trend_;
    MarkedSparkline* line_;
};

}  // namespace velmora
