#pragma once
#include <QPointer>
#include <QWidget>

#include "platform/Scheduler.h"
#include "ui/widget/FloatingWidgetPreferences.h"
#include "ui/widget/WidgetRules.h"
#include "ui/widget/WidgetSettings.h"

class QStackedLayout;

namespace velmora {

class AppStateAdapter;
class FloatingWidgetController;
class WidgetCard;
class DockedBar;
class CollapsedStrip;
class WidgetSettingsPopover;

// What the widget panel shows: the floating card, the docked bar and the bar's collapsed strip,
// built once in one stack. It redraws when the application state changes and once a second for
// its own clock, and holds its own copy of the preferences, loaded when it is built.
class FloatingWidgetView final : public QWidget {
    Q_OBJECT
public:
    enum class Layout { card, bar, strip };

    FloatingWidgetView(AppStateAdapter& adapter, FloatingWidgetController& controller, QWidget* parent = nullptr);
    ~FloatingWidgetView() override;

    void refresh();
    void openSettings();
    Layout layout() const { return layout_; }
    const FloatingWidgetPreferences& prefs() const { return prefs_; }
    const WidgetFigures& figures() const { return figures_; }
    WidgetSettingsPopover* settingsPopover() const;
    WidgetSettings& settings() { return settings_; }
    // A settings control stored this record.
    void adopt(const FloatingWidgetPreferences& prefs);
    // The panel's corner radius for the current layout and height.
    int cornerRadius() const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void chooseLayout();
    void settingsClosed();

    AppStateAdapter& adapter_;
    FloatingWidgetController& controller_;
    Scheduler& scheduler_;
    WidgetSettings settings_;
    FloatingWidgetPreferences prefs_;
    Date now_;
    Scheduler::TimerId tick_ = 0;
    bool refreshedSinceTick_ = false;
    WidgetFigures figures_;
    std::optional<AppMemorySnapshot> shown_;
    std::optional<bool> toldCritical_;
    Layout layout_ = Layout::card;
    QStackedLayout* stack_ = nullptr;
    WidgetCard* card_ = nullptr;
    DockedBar* bar_ = nullptr;
    CollapsedStrip* strip_ = nullptr;
    QPointer<WidgetSettingsPopover> popover_;
};

}  // namespace velmora
