// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/MainWindow.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/qt/AppStateAdapter.h"
#include "platform/FirstRunFlags.h"
#include "platform/FloatingWidget.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/developer/DeveloperPage.h"
#include "ui/main/setup/SetupPage.h"
#include "ui/main/measure/MeasurePage.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/overview/OverviewPage.h"
#include "ui/main/trends/TrendsPage.h"
#include "ui/main/stories/StoriesPage.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Buttons.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/Symbols.h"
#include "ui/windows/FirstRunSheet.h"
#include "ui/windows/InfoSheets.h"

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

QString qText(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MainWindow::MainWindow(AppStateAdapter& adapter, QWidget* parent)
    : QMainWindow(parent), adapter_(adapter), state_(adapter.state()) {
    setWindowTitle("Velmora");
    setMinimumSize(900, 560);
    resize(1100, 700);
    splitter_ = new QSplitter(this);
    splitter_->setObjectName("mainSplitter");
    splitter_->setChildrenCollapsible(false);
    buildSidebar(splitter_);
    buildPages(splitter_);
    splitter_->setCollapsible(0, false);
    splitter_->setCollapsible(1, false);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({200, 900});
    setCentralWidget(splitter_);
    buildMenus();
    buildToolbar();
    connect(&adapter, &AppStateAdapter::storiesChanged, this, [this] { storiesPage_->markStoriesStale(); });
    connect(&adapter, &AppStateAdapter::changed, this, &MainWindow::refresh);
    refresh();
}

MainWindow::~MainWindow() = default;

Page* MainWindow::page(SidebarItem item) const { return pageOf_[static_cast<std::size_t>(indexOf(item))]; }

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    state_.start();  // does its work the first time only
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && stale_) refresh();
}

void MainWindow::buildSidebar(QSplitter* splitter) {
    auto* column = new QWidget(splitter);
    column->setObjectName("sidebarColumn");
    column->setMinimumWidth(sidebarMinimumWidth);
    column->setMaximumWidth(sidebarMaximumWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    sidebar_ = new QListWidget(column);
    sidebar_->setObjectName("sidebar");
    sidebar_->setSpacing(2);
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setIconSize(QSize(16, 16));
    sidebar_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sidebar_->setFont(roleFont(TextRole::body));
    for (const auto& section : sections) {
        auto* row = new QListWidgetItem(symbolIcon(section.item, palette::primaryText(this)), section.sidebarTitle);
        row->setSizeHint(QSize(0, 28));
        sidebar_->addItem(row);
    }
    layout->addWidget(sidebar_, 1);
    // State → view runs under a signal blocker, so only the user's own picks reach here.
    connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(sections.size())) return;
        select(sections[static_cast<std::size_t>(row)].item);
    });

    auto* footer = new QWidget(column);
    footer->setObjectName("sidebarFooter");
    auto* lines = new QVBoxLayout(footer);
    lines->setContentsMargins(12, 12, 12, 12);
    lines->setSpacing(10);
    checkButton_ = new QPushButton("Check one action", footer);
    checkButton_->setObjectName("checkOneAction");
    makeProminent(checkButton_);
    checkButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(checkButton_, &QPushButton::clicked, this, &MainWindow::checkOneAction);
    lines->addWidget(checkButton_);

    // The footer is narrower than the sentence: it breaks after the dash instead of being cut.
    const QString temporaryText = "\u26A0\uFE0F Temporary build \u2014 install normal app";
    temporaryBuild_ = new QPushButton(QString(temporaryText).replace("\u2014 ", "\u2014\n"), footer);
    temporaryBuild_->setAccessibleName(temporaryText);
    temporaryBuild_->setObjectName("temporaryBuild");
    temporaryBuild_->setFlat(true);
    temporaryBuild_->setFont(roleFont(TextRole::caption2));
    temporaryBuild_->setStyleSheet(QString("QPushButton { color: %1; text-align: left; border: none; padding: 0; }")
                                       .arg(palette::yellow().name()));
    temporaryBuild_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    connect(temporaryBuild_, &QPushButton::clicked, this, [this] {
        state_.showFirstRun = true;
        state_.announceChange();
    });
    lines->addWidget(temporaryBuild_);

    nowApp_ = new ElidedLabel(1, footer);
    nowApp_->setObjectName("nowApp");
    nowApp_->setFont(roleFont(TextRole::caption2, QFont::DemiBold));
    nowApp_->setColor(palette::secondaryText(this));
    lines->addWidget(nowApp_);
    nowTitle_ = new ElidedLabel(2, footer);
    nowTitle_->setObjectName("nowTitle");
    nowTitle_->setFont(roleFont(TextRole::caption2));
    nowTitle_->setColor(palette::tertiaryText(this));
    lines->addWidget(nowTitle_);
    layout->addWidget(footer);
}

void MainWindow::buildPages(QSplitter* splitter) {
    pages_ = new QStackedWidget(splitter);
    pages_->setObjectName("pages");
    for (const auto& section : sections) {
        Page* page = nullptr;
        switch (section.item) {
            case SidebarItem::measure: page = new MeasurePage(state_, pages_); break;
            case SidebarItem::overview: page = new OverviewPage(state_, pages_); break;
            case SidebarItem::liveChart: page = new LiveChartPage(state_, pages_); break;
            case SidebarItem::trends: page = new TrendsPage(state_, pages_); break;
            case SidebarItem::apps: page = new HeavyPage(state_, pages_); break;
            case SidebarItem::timeline: page = storiesPage_ = new StoriesPage(state_, pages_); break;
            case SidebarItem::developer: page = new DeveloperPage(state_, pages_); break;
            case SidebarItem::settings: page = new SetupPage(state_, pages_); break;
        }
        page->setObjectName(QString::fromUtf8(rawValue(section.item).data(), rawValue(section.item).size()));
        pageOf_[static_cast<std::size_t>(indexOf(section.item))] = page;
        pages_->addWidget(page);
    }
}

void MainWindow::buildMenus() {
    QMenu* app = menuBar()->addMenu("Velmora");
    app->addAction("Setup\u2026", QKeySequence("Ctrl+,"), this, [this] { select(SidebarItem::settings); });
    app->addSeparator();
    app->addAction("Quit Velmora", QKeySequence("Ctrl+Q"), this, [] { QCoreApplication::quit(); });

    viewMenu_ = menuBar()->addMenu("View");
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
    widgetToggle_ = check->addAction("Toggle Floating Widget", QKeySequence("Ctrl+Shift+W"), this, [this] {
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

void MainWindow::buildToolbar() {
    QToolBar* bar = addToolBar("Widget");
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);  // the toolbar cannot be hidden by a right click
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    widgetAction_ = bar->addAction("Show Widget");
    widgetAction_->setObjectName("widgetToggle");
    // The keys come from the menu command itself, in this desktop's own words.
    widgetAction_->setToolTip("Floating memory widget (" + widgetToggle_->shortcut().toString(QKeySequence::NativeText) +
                              ")");
    connect(widgetAction_, &QAction::triggered, this, [this] {
        if (state_.floatingWidget.hasPanel()) state_.floatingWidget.hide();
        else state_.floatingWidget.show();
    });
}

void MainWindow::select(SidebarItem item) {
    if (state_.selectedSidebar == item) return;
    state_.selectedSidebar = item;
    state_.announceChange();
}

void MainWindow::checkOneAction() {
    state_.selectedSidebar = SidebarItem::measure;
    // A running measurement is never restarted from here.
    const MeasurePhase phase = state_.measureController->session().phase;
    if (phase == MeasurePhase::idle || phase == MeasurePhase::report) state_.measureController->start();
    state_.announceChange();
}

void MainWindow::refresh() {
    // A minimised window does no work each second; it catches up when restored.
    stale_ = isMinimized();
    if (stale_) return;
    {
        const QSignalBlocker blocker(sidebar_);
        const bool developer = state_.settings->developerModeEnabled();
        // Hidden, not removed: removing the current row would move the selection and write it back.
        // Set only when it changes: the list lays out and repaints its rows on every call.
        if (sidebar_->isRowHidden(indexOf(SidebarItem::developer)) == developer)
            sidebar_->setRowHidden(indexOf(SidebarItem::developer), !developer);
        if (developer && !viewMenu_->actions().contains(developerAction_)) viewMenu_->addAction(developerAction_);
        if (!developer) viewMenu_->removeAction(developerAction_);
        const int current = indexOf(state_.selectedSidebar);
        if (sidebar_->currentRow() != current) sidebar_->setCurrentRow(current);
    }
    pages_->setCurrentIndex(indexOf(state_.selectedSidebar));
    // The window is named after its page, in the desktop's "Page — Application" form.
    const QString title = QString::fromUtf8(sections[static_cast<std::size_t>(indexOf(state_.selectedSidebar))].sidebarTitle) +
                          QStringLiteral(" \u2014 Velmora");
    if (windowTitle() != title) setWindowTitle(title);
    refreshFooter();
    refreshToolbar();
    // Only the visible page draws; the others catch up when they come into view, at their
    // starting choices.
    Page* visible = page(state_.selectedSidebar);
    if (refreshedPage_ && visible != refreshedPage_) visible->startOver();
    visible->refresh();
    refreshedPage_ = visible;
    refreshSheets();
}

void MainWindow::refreshFooter() {
    const bool temporary = state_.dependencies().firstRun.isTemporaryBuild();
    temporaryBuild_->setVisible(temporary);
    const bool showNow = !temporary && state_.sensorLastTitle.has_value();
    nowApp_->setVisible(showNow);
    nowTitle_->setVisible(showNow);
    if (!showNow) return;
    // The name is isolated in its sentence, spoken plain; the title stands alone in its own direction.
    const QString app = qText(state_.sensorLastApp.value_or("app"));
    nowApp_->setText("Now: " + isolate(app));
    nowTitle_->setText(nameAlone(qText(*state_.sensorLastTitle)));
}

void MainWindow::refreshToolbar() {
    const bool visible = state_.isFloatingWidgetVisible;
    const QString text = visible ? "Hide Widget" : "Show Widget";
    if (widgetAction_->text() == text && !widgetAction_->icon().isNull()) return;
    widgetAction_->setText(text);
    widgetAction_->setIcon(widgetSymbol(visible, palette::primaryText(this)));
}

QDialog* MainWindow::makeSheet(const QString& title, bool AppState::*flag) {
    if (flag == &AppState::showFirstRun) return finishSheet(new FirstRunSheet(state_, this), flag);
    if (flag == &AppState::showWhatsNew) return finishSheet(new WhatsNewSheet(this), flag);
    if (flag == &AppState::showHelp) {
        // The help names each command's keys as its menu entry does.
        auto keys = [this](const QString& title) {
            for (QAction* menu : menuBar()->actions())
                for (QAction* a : menu->menu()->actions())
                    if (a->text() == title) return a->shortcut().toString(QKeySequence::NativeText);
            return QString();
        };
        const HelpKeys help{keys("Overview"), keys("Setup"), keys("Setup\u2026"), keys("Check one action"),
                            keys("Toggle Floating Widget"), keys("Snap Widget to Top Left"),
                            keys("Snap Widget to Bottom Right")};
        return finishSheet(new HelpSheet(help, this), flag);
    }
    auto* sheet = new QDialog(this);
    sheet->setWindowTitle(title);
    sheet->resize(560, 420);
    auto* layout = new QVBoxLayout(sheet);
    auto* heading = new QLabel(title, sheet);
    heading->setTextFormat(Qt::PlainText);
    heading->setFont(roleFont(TextRole::title2, QFont::DemiBold));
    layout->addWidget(heading);
    layout->addStretch(1);
    auto* buttons = new QDialogButtonBox(sheet);
    QPushButton* done = buttons->addButton("Done", QDialogButtonBox::AcceptRole);
    done->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, sheet, &QDialog::accept);
    return finishSheet(sheet, flag);
}

QDialog* MainWindow::finishSheet(QDialog* sheet, bool AppState::*flag) {
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    // However a sheet closes, its flag goes back.
    connect(sheet, &QDialog::finished, this, [this, flag](int) {
        sheetFlag_ = nullptr;
        if (!(state_.*flag)) return;
        state_.*flag = false;
        state_.announceChange();
    });
    return sheet;
}

void MainWindow::refreshSheets() {
    struct Sheet {
        bool AppState::*flag;
        const char* title;
    };
    static constexpr Sheet order[] = {{&AppState::showFirstRun, "Velmora"},
                                      {&AppState::showHelp, "Velmora Help"},
                                      {&AppState::showWhatsNew, "What's New"}};
    // A sheet whose flag was cleared elsewhere closes; its finished handler frees the slot.
    if (sheet_ && sheetFlag_ && !(state_.*sheetFlag_)) sheet_->reject();
    if (sheet_) return;
    // One sheet at a time, in a fixed order; the next opens when the shown one finishes.
    for (const auto& s : order) {
        if (!(state_.*s.flag)) continue;
        sheetFlag_ = s.flag;
        sheet_ = makeSheet(s.title, s.flag);
        sheet_->open();  // window-modal without a nested event loop
        return;
    }
}

}  // namespace velmora
