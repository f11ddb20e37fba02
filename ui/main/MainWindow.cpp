// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/MainWindow.h"

#include <QDialog>
#include <QEvent>

#include <utility>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/qt/AppStateAdapter.h"
#include "platform/FirstRunFlags.h"
#include "platform/FloatingWidget.h"
#include "ui/main/StoryListModel.h"

namespace velmora {

namespace {

struct Section {
    SidebarItem item;
    const char* sidebarTitle;
    const char* menuTitle;
};

// Sidebar rows and their menu commands, in sidebar order; Ctrl+1 to Ctrl+8 follow it.
constexpr std::array<Section, 8> sections{{
    {SidebarItem::overview, "Overview", "Overview"},
    {SidebarItem::timeline, "Stories", "Stories"},
    {SidebarItem::liveChart, "Live Chart", "Live Chart"},
    {SidebarItem::measure, "Check one action", "Check One Action"},
    {SidebarItem::apps, "Who\u2019s heavy", "Who's Heavy"},
    {SidebarItem::trends, "Trends", "Trends"},
    {SidebarItem::settings, "Setup", "Setup"},
    {SidebarItem::developer, "Developer", "Developer"},
}};

int indexOf(SidebarItem item) { return static_cast<int>(item); }

}  // namespace

MainWindow::MainWindow(AppStateAdapter& adapter, QWidget* parent) : QMainWindow(parent), state_(adapter.state()) {
    setWindowTitle("Velmora");
    setMinimumSize(900, 560);
    resize(1100, 700);
    buildSections();
    buildMenus();
    connect(&adapter, &AppStateAdapter::storiesChanged, this, [this] { storiesStale_ = true; });
    connect(&adapter, &AppStateAdapter::changed, this, &MainWindow::refresh);
    refresh();
}

MainWindow::~MainWindow() = default;

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    state_.start();  // does its work the first time only
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && stale_) refresh();
}

void MainWindow::buildSections() {
    auto* splitter = new QSplitter(this);
    sidebar_ = new QListWidget(splitter);
    sidebar_->setObjectName("sidebar");
    sidebar_->setMinimumWidth(180);
    sidebar_->setMaximumWidth(240);
    sidebar_->setSpacing(3);
    pages_ = new QStackedWidget(splitter);
    for (const auto& section : sections) {
        sidebar_->addItem(section.sidebarTitle);
        auto* page = new QWidget(pages_);
        page->setObjectName(QString::fromUtf8(rawValue(section.item).data(), rawValue(section.item).size()));
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(28, 28, 28, 28);
        auto* heading = new QLabel(section.sidebarTitle, page);
        heading->setTextFormat(Qt::PlainText);
        QFont font = heading->font();
        font.setPointSizeF(font.pointSizeF() * 1.6);
        font.setBold(true);
        heading->setFont(font);
        layout->addWidget(heading);
        if (section.item == SidebarItem::timeline) {
            stories_ = new StoryListModel(this);
            storyList_ = new QListView(page);
            storyList_->setObjectName("storyList");
            storyList_->setModel(stories_);
            storyList_->setWordWrap(true);
            storyList_->setUniformItemSizes(false);
            storyList_->setSpacing(4);
            storyList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
            layout->addWidget(storyList_, 1);
        } else {
            layout->addStretch(1);
        }
        pages_->addWidget(page);
    }
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 900});
    setCentralWidget(splitter);
    // Written back only when the user picks a row, never when a redraw moves the selection.
    connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (refreshing_ || row < 0 || row >= static_cast<int>(sections.size())) return;
        select(sections[static_cast<std::size_t>(row)].item);
    });
}

void MainWindow::buildMenus() {
    QMenu* app = menuBar()->addMenu("Velmora");
    app->addAction("Setup\u2026", QKeySequence("Ctrl+,"), this, [this] { select(SidebarItem::settings); });
    app->addSeparator();
    app->addAction("Quit Velmora", QKeySequence("Ctrl+Q"), this, [this] { close(); });

    viewMenu_ = menuBar()->addMenu("View");
    viewMenu_->addSeparator();
    for (const auto& section : sections) {
        auto* action = new QAction(section.menuTitle, this);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + indexOf(section.item))));
        const SidebarItem item = section.item;
        connect(action, &QAction::triggered, this, [this, item] { select(item); });
        if (item == SidebarItem::developer) developerAction_ = action;
        else viewMenu_->addAction(action);
    }

    QMenu* check = menuBar()->addMenu("Check");
    check->addAction("Check one action", QKeySequence("Ctrl+Shift+M"), this, [this] {
        state_.selectedSidebar = SidebarItem::measure;
        state_.measureController->start();
        state_.announceChange();
    });
    check->addAction("Toggle Floating Widget", QKeySequence("Ctrl+Shift+W"), this, [this] {
        if (state_.floatingWidget.hasPanel()) state_.floatingWidget.hide();
        else state_.floatingWidget.show();
    });
    check->addSeparator();
    const char* corners[] = {"Snap Widget to Top Left", "Snap Widget to Top Right", "Snap Widget to Bottom Left",
                             "Snap Widget to Bottom Right"};
    for (int corner = 0; corner < 4; ++corner)
        check->addAction(corners[corner], QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_1 + corner)), this,
                         [this, corner] { state_.floatingWidget.moveToCorner(corner); });

    QMenu* help = menuBar()->addMenu("Help");
    help->addAction("Velmora Help", this, [this] {
        state_.showHelp = true;
        state_.announceChange();
    });
    help->addAction("What's New", this, [this] {
        state_.showWhatsNew = true;
        state_.announceChange();
    });
}

void MainWindow::select(SidebarItem item) {
    state_.selectedSidebar = item;
    state_.announceChange();
}

void MainWindow::refresh() {
    // A minimised window does no work each second; it catches up when restored.
    stale_ = isMinimized();
    if (stale_) return;
    refreshing_ = true;
    const bool developer = state_.settings->developerModeEnabled();
    const int developerRow = indexOf(SidebarItem::developer);
    sidebar_->item(developerRow)->setHidden(!developer);
    if (developer && !viewMenu_->actions().contains(developerAction_)) viewMenu_->addAction(developerAction_);
    if (!developer) viewMenu_->removeAction(developerAction_);

    const int current = indexOf(state_.selectedSidebar);
    if (sidebar_->currentRow() != current) sidebar_->setCurrentRow(current);
    pages_->setCurrentIndex(current);
    // A hidden list does not follow the stories; it catches up when shown.
    if (state_.selectedSidebar == SidebarItem::timeline && std::exchange(storiesStale_, false))
        stories_->update(state_.timeline->events());

    syncSheet(state_.showFirstRun, firstRunSheet_, "Velmora", &AppState::showFirstRun);
    syncSheet(state_.showHelp, helpSheet_, "Velmora Help", &AppState::showHelp);
    syncSheet(state_.showWhatsNew, whatsNewSheet_, "What's New", &AppState::showWhatsNew);
    refreshing_ = false;
}

void MainWindow::syncSheet(bool shown, QPointer<QDialog>& sheet, const QString& title, bool AppState::*flag) {
    if (!shown) {
        if (sheet) sheet->close();
        return;
    }
    if (sheet) return;
    sheet = new QDialog(this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowTitle(title);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->resize(560, 420);
    auto* layout = new QVBoxLayout(sheet);
    auto* heading = new QLabel(title, sheet);
    heading->setTextFormat(Qt::PlainText);
    layout->addWidget(heading);
    layout->addStretch(1);
    auto* buttons = new QDialogButtonBox(sheet);
    QPushButton* done = buttons->addButton("Done", QDialogButtonBox::AcceptRole);
    done->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    // Done on the welcome sheet records the first run; however a sheet closes, its flag goes back.
    if (flag == &AppState::showFirstRun)
        connect(sheet, &QDialog::accepted, this, [this] { state_.dependencies().firstRun.markCompleted(); });
    connect(sheet, &QDialog::finished, this, [this, flag](int) {
        if (!(state_.*flag)) return;
        state_.*flag = false;
        state_.announceChange();
    });
    sheet->show();
}

}  // namespace velmora
