#pragma once
#include <array>

#include <QMainWindow>
#include <QPointer>

#include "app/SidebarItem.h"

class QAction;
class QDialog;
class QListView;
class QListWidget;
class QMenu;
class QStackedWidget;

namespace velmora {

class AppState;
class AppStateAdapter;
class StoryListModel;

// The main window: the sidebar of sections, the section `selectedSidebar` names, the sheets while
// their flags are set, and the menus with their shortcuts. Starts the application state when shown.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppStateAdapter& adapter, QWidget* parent = nullptr);
    ~MainWindow() override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildSections();
    void refresh();
    void select(SidebarItem item);
    void syncSheet(bool shown, QPointer<QDialog>& sheet, const QString& title, bool AppState::*flag);

    AppState& state_;
    QListWidget* sidebar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QListView* storyList_ = nullptr;
    StoryListModel* stories_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QAction* developerAction_ = nullptr;
    QPointer<QDialog> firstRunSheet_, helpSheet_, whatsNewSheet_;
    bool refreshing_ = false;
    bool stale_ = false;           // changes arrived while minimised
    bool storiesStale_ = true;     // the story rows lag the store
};

}  // namespace velmora
