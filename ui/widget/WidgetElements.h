#pragma once
// The painted elements the widget's card and bar share: symbols, the app tile, the usage bar, the
// spike chip and the round icon buttons. Drawn, since a bare X server has no icon theme.
#include <QAbstractButton>
#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QWidget>

#include "ui/widget/WidgetRules.h"

class QVariantAnimation;

namespace velmora {

enum class WidgetSymbol { gear, xmark, memorychip, memorychipFill, warning, eyeSlash, arrowUp, arrowDownRight };

void paintWidgetSymbol(QPainter& painter, const QRectF& rect, WidgetSymbol symbol, const QColor& colour);
QColor widgetToneColour(WidgetTone tone, const QWidget* widget);
// The widget's text tones over its dark fill: white at 100 %, 55 % and 30 %.
QColor widgetPrimary();
QColor widgetSecondary();
QColor widgetTertiary();
// A plain-text label in a font and colour of its own.
QLabel* widgetLabel(QWidget* parent, const QFont& font, const QColor& colour);
// Sets a label's text (and colour) only when they differ, so an unchanged second repaints nothing.
void setWidgetLabel(QLabel* label, const std::string& text);
void setWidgetLabelColour(QLabel* label, const QColor& colour);

// The footprint figure: when its text changes, the characters that changed roll up into place
// (old ones leave upward as new ones come from below) over a fifth of a second; those that stayed
// do not move.
class RollingNumber final : public QLabel {
public:
    explicit RollingNumber(QWidget* parent = nullptr);
    void setNumber(const QString& text);
    bool rolling() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString from_;
    QVariantAnimation* roll_;
};

// A drawn symbol at a fixed size.
class SymbolView final : public QWidget {
public:
    SymbolView(WidgetSymbol symbol, int size, QWidget* parent);
    void set(WidgetSymbol symbol, const QColor& colour);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    WidgetSymbol symbol_;
    QColor colour_;
};

// The app's icon on a pale rounded tile, or a memory chip when it has none.
class AppIconTile final : public QWidget {
public:
    AppIconTile(int tile, int image, int radius, int symbol, QWidget* parent);
    void setApp(const std::optional<AppMemorySnapshot>& app);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int image_, radius_, symbol_;
    QIcon icon_;
    std::string key_ = "\x01";  // no app yet
};

// A pale capsule track filled from the left to a fraction.
class UsageBar final : public QWidget {
public:
    explicit UsageBar(QWidget* parent);
    void set(double fraction, const QColor& colour);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double fraction_ = 0;
    QColor colour_;
};

// The latest spike: arrow, amount, (a dot on the card,) time ago, on a dark capsule bordered in
// the spike's colour. The owner hides it when there is no spike.
class SpikeChip final : public QWidget {
public:
    SpikeChip(bool withDot, QWidget* parent);
    void set(const WidgetSpike& spike, const std::string& ago);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    bool withDot_;
    QFont font_;
    WidgetSpike spike_;
    QString amount_, ago_;
};

// A round, pale icon button that never takes the focus; its name is read aloud.
class IconButton final : public QAbstractButton {
public:
    IconButton(WidgetSymbol symbol, int symbolSize, const QString& name, QWidget* parent);
    QSize sizeHint() const override { return {24, 24}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    WidgetSymbol symbol_;
    int symbolSize_;
};

}  // namespace velmora
