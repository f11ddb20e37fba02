#pragma once
#include <QFrame>

#include "ui/widget/FloatingWidgetPreferences.h"
#include "ui/widget/WidgetRules.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;

namespace velmora {

class AppState;
class FloatingWidgetView;

// "Widget settings": a pop-up frame under (or over) the panel. Each control acts on the user's
// own signal and hands its record back to the view.
class WidgetSettingsPopover final : public QFrame {
    Q_OBJECT
public:
    WidgetSettingsPopover(FloatingWidgetView& view, const AppState& state, QWidget* panel);
    // Fills the controls from `prefs` and the running apps, places itself by the panel, shows.
    void open(const FloatingWidgetPreferences& prefs);
    const std::vector<WidgetShowOption>& showOptions() const { return options_; }

signals:
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void fill(const FloatingWidgetPreferences& prefs);
    void place();

    FloatingWidgetView& view_;
    const AppState& state_;
    QWidget* panel_;
    std::vector<WidgetShowOption> options_;
    QComboBox* show_;
    QLabel* showLabel_;
    QButtonGroup* placement_;
    QCheckBox* autoCollapse_;
    QCheckBox* compact_;
    QLabel* hint_;
    QButtonGroup* range_;
    QCheckBox* system_;
};

}  // namespace velmora
