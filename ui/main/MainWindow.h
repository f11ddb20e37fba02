#pragma once
#include <array>

#include <QMainWindow>
#include <QPointer>

#include "app/SidebarItem.h"

class QAction;
class QDialog;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;

namespace velmora {

class AppState;
class AppStateAdapter;
class ElidedLabel;
class Page;
class StoriesPage;

// The main window: a sidebar of pages with a footer (the "Check one action" button and what the
// sensors saw last), the page `selectedSidebar` names, a toolbar with the widget toggle, the
// sheets while their flags are set, and the menus with their shortcuts. Starts the application
// state when shown.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int sidebarMinimumWidth = 180;
    static constexpr int sidebarMaximumWidth = 240;

    explicit MainWindow(AppStateAdapter& adapter, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The page shown for `item` (each page is built once).
    Page* page(SidebarItem item) const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildSidebar(QSplitter* splitter);
    void buildPages(QSplitter* splitter);
    void buildToolbar();
    void refresh();
    void refreshFooter();
    void refreshToolbar();
    void refreshSheets();
    void select(SidebarItem item);
    void checkOneAction();
    QDialog* makeSheet(const QString& title, bool AppState::*flag);
    QDialog* finishSheet(QDialog* sheet, bool AppState::*flag);

    AppStateAdapter& adapter_;
    AppState& state_;
    QSplitter* splitter_ = nullptr;
    QListWidget* sidebar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    std::array<Page*, 8> pageOf_{};
    StoriesPage* storiesPage_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QPushButton* temporaryBuild_ = nullptr;
    ElidedLabel* nowApp_ = nullptr;
    ElidedLabel* nowTitle_ = nullptr;
    QAction* widgetAction_ = nullptr;   // the toolbar button
    QAction* widgetToggle_ = nullptr;   // the menu command whose shortcut the toolbar names
    QMenu* viewMenu_ = nullptr;
    QAction* developerAction_ = nullptr;
    QPointer<QDialog> sheet_;           // the one sheet open, of the flag below
    bool AppState::*sheetFlag_ = nullptr;
    Page* refreshedPage_ = nullptr;     // the page the last refresh drew
    bool stale_ = false;                // changes arrived while minimised
};

}  // namespace velmora
