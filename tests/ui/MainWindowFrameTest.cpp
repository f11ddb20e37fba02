// The main window's frame offscreen: the sidebar rows and width, the footer, the toolbar button
// and the sheets.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>

namespace velmora {
namespace {

struct Frame : AppHarness {
    Frame() {
        make();
        adapter = std::make_unique<AppStateAdapter>(*state, scheduler);
        window = std::make_unique<MainWindow>(*adapter);
        window->resize(900, 560);
        window->show();
        settle();
    }
    void settle() { QCoreApplication::processEvents(); }
    void announce() {
        state->announceChange();
        settle();
    }
    QListWidget* sidebar() const { return window->findChild<QListWidget*>("sidebar"); }
    QString page() const { return window->findChild<QStackedWidget*>("pages")->currentWidget()->objectName(); }
    int visibleRows() const {
        int n = 0;
        for (int i = 0; i < sidebar()->count(); ++i) n += sidebar()->isRowHidden(i) ? 0 : 1;
        return n;
    }
    QAction* toolbarButton() const { return window->findChild<QAction*>("widgetToggle"); }
    std::unique_ptr<AppStateAdapter> adapter;
    std::unique_ptr<MainWindow> window;
};

TEST(MainWindowFrame, DeveloperRowComesAndGoesWithoutMovingTheSelection) {
    Frame f;
    std::vector<QString> titles;
    for (int i = 0; i < f.sidebar()->count(); ++i) titles.push_back(f.sidebar()->item(i)->text());
    EXPECT_EQ(titles, (std::vector<QString>{"Overview", "Stories", "Live Chart", "Check one action",
                                            "Who\u2019s heavy", "Trends", "Setup", "Developer"}));
    QSignalSpy rows(f.sidebar(), &QListWidget::currentRowChanged);
    f.state->selectedSidebar = SidebarItem::settings;
    f.announce();
    EXPECT_EQ(f.visibleRows(), 7);

    f.state->settings->setDeveloperModeEnabled(true);
    f.settle();
    EXPECT_EQ(f.visibleRows(), 8);
    EXPECT_EQ(f.state->selectedSidebar, SidebarItem::settings);

    // On the Developer page, switching developer mode off keeps the page and writes nothing.
    f.state->selectedSidebar = SidebarItem::developer;
    f.announce();
    f.state->settings->setDeveloperModeEnabled(false);
    f.settle();
    EXPECT_EQ(f.visibleRows(), 7);
    EXPECT_EQ(f.state->selectedSidebar, SidebarItem::developer);
    EXPECT_EQ(f.page(), "developer");
    EXPECT_EQ(rows.size(), 0);  // the redraws moved the row under a blocker

    // The user's own pick is written back.
    f.sidebar()->setCurrentRow(3);
    f.settle();
    EXPECT_EQ(f.state->selectedSidebar, SidebarItem::measure);
    EXPECT_EQ(f.page(), "measure");
}

TEST(MainWindowFrame, SidebarStaysBetweenItsLimitsWhenDragged) {
    Frame f;
    // Wide enough that the sidebar's own limit stops it, not the Stories page's two columns.
    f.window->resize(1000, 560);
    f.settle();
    auto* splitter = f.window->findChild<QSplitter*>("mainSplitter");
    QSplitterHandle* handle = splitter->handle(1);
    const std::pair<const char*, int> drags[] = {{"far left", -2000}, {"far right", 2000}, {"back", -30}};
    for (const auto& [name, dx] : drags) {
        const QPoint start = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(dx, 0)), handle->mapToGlobal(QPointF(start + QPoint(dx, 0))),
                         Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(handle, &move);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, start + QPoint(dx, 0));
        f.settle();
        const int width = splitter->sizes().at(0);
        EXPECT_GE(width, 180) << name;
        EXPECT_LE(width, 240) << name;
        EXPECT_EQ(f.window->findChild<QWidget*>("sidebarColumn")->width(), width) << name;
    }
    EXPECT_EQ(splitter->sizes().at(0), 210);
}

TEST(MainWindowFrame, FooterButtonAndStatusLines) {
    Frame f;
    auto* check = f.window->findChild<QPushButton*>("checkOneAction");
    auto* nowApp = f.window->findChild<ElidedLabel*>("nowApp");
    auto* nowTitle = f.window->findChild<ElidedLabel*>("nowTitle");
    auto* temporary = f.window->findChild<QPushButton*>("temporaryBuild");
    EXPECT_FALSE(nowApp->isVisible() || temporary->isVisible());

    f.state->sensorLastTitle = "<b>Inbox</b> \u2014 Mail";
    f.announce();
    EXPECT_EQ(nowApp->text(), "Now: app");
    EXPECT_EQ(nowTitle->text(), "<b>Inbox</b> \u2014 Mail");
    EXPECT_TRUE(nowTitle->isVisible());
    f.state->sensorLastApp = "Thunderbird";
    f.announce();
    EXPECT_EQ(nowApp->text(), "Now: Thunderbird");
    // The footer's lines stand 10 px apart.
    EXPECT_EQ(nowTitle->y() - (nowApp->y() + nowApp->height()), 10);
    // A long name after "Now: " is elided on its one line and whole in its tooltip.
    const QString name = "Extraordinarily Long Application Name Seen On Linux Desktops";
    f.state->sensorLastApp = name.toStdString();
    f.announce();
    ASSERT_EQ(nowApp->lines(nowApp->width()).size(), 1);
    EXPECT_TRUE(nowApp->lines(nowApp->width()).front().endsWith(QChar(0x2026)));
    EXPECT_EQ(nowApp->toolTip(), "Now: " + name);

    // A long unbroken title wraps to two lines, the second elided, within the sidebar.
    nowTitle->setText(QString(300, QLatin1Char('x')));
    const QStringList lines = nowTitle->lines(nowTitle->width());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.back().endsWith(QChar(0x2026)));
    EXPECT_LE(f.window->findChild<QWidget*>("sidebarColumn")->width(), 240);

    f.firstRun.temporary = true;  // the warning wins over a known title
    f.announce();
    EXPECT_TRUE(temporary->isVisible());
    EXPECT_FALSE(nowApp->isVisible() || nowTitle->isVisible());
    temporary->click();
    f.settle();
    EXPECT_TRUE(f.state->showFirstRun);

    // The button starts a run from idle, only switches pages while one runs, restarts after a report.
    auto& c = *f.state->measureController;
    check->click();
    f.settle();
    EXPECT_EQ(f.page(), "measure");
    EXPECT_EQ(c.session().phase, MeasurePhase::baselining);
    const Uuid running = c.session().id;
    f.state->selectedSidebar = SidebarItem::timeline;
    f.announce();
    check->click();
    f.settle();
    EXPECT_EQ(f.page(), "measure");
    EXPECT_EQ(c.session().id, running);
    c.done();
    c.showResultNow();
    ASSERT_EQ(c.session().phase, MeasurePhase::report);
    check->click();
    f.settle();
    EXPECT_EQ(c.session().phase, MeasurePhase::baselining);
    EXPECT_NE(c.session().id, running);
}

TEST(MainWindowFrame, ToolbarButtonFollowsThePanel) {
    Frame f;
    QAction* button = f.toolbarButton();
    EXPECT_EQ(button->toolTip(), "Floating memory widget (Ctrl+Shift+W)");
    EXPECT_EQ(button->text(), "Show Widget");
    button->trigger();
    f.settle();
    EXPECT_TRUE(f.widget.visible);
    EXPECT_EQ(button->text(), "Hide Widget");
    const QImage filled = button->icon().pixmap(16, 16).toImage();
    f.widget.setVisible(false);  // closed by its own control
    f.settle();
    EXPECT_EQ(button->text(), "Show Widget");
    EXPECT_NE(button->icon().pixmap(16, 16).toImage(), filled);
    // The button asks the panel, not the published flag.
    f.state->isFloatingWidgetVisible = true;
    button->trigger();
    EXPECT_TRUE(f.widget.visible);
}

TEST(MainWindowFrame, SheetsOneAtATimeAndTheirFlagsGoBack) {
    Frame f;
    f.state->showHelp = true;
    f.state->showWhatsNew = true;
    f.announce();
    auto sheets = f.window->findChildren<QDialog*>();
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets.front()->windowTitle(), "Velmora Help");
    EXPECT_EQ(sheets.front()->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheets.front()->isVisible());
    QTest::keyClick(sheets.front(), Qt::Key_Escape);  // closed by the user
    f.settle();
    f.settle();
    EXPECT_FALSE(f.state->showHelp);
    EXPECT_TRUE(f.state->showWhatsNew);
    QDialog* next = nullptr;
    for (QDialog* d : f.window->findChildren<QDialog*>())
        if (d->isVisible()) next = d;
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->windowTitle(), "What's New");
    next->accept();
    f.settle();
    EXPECT_FALSE(f.state->showWhatsNew);
    EXPECT_EQ(f.firstRun.completions, 0);

    // A flag cleared elsewhere closes its sheet.
    f.state->showHelp = true;
    f.announce();
    f.state->showHelp = false;
    f.announce();
    for (QDialog* d : f.window->findChildren<QDialog*>()) EXPECT_FALSE(d->isVisible());
}

TEST(MainWindowFrame, OnlyTheVisiblePageFollowsTheStories) {
    Frame f;
    f.state->selectedSidebar = SidebarItem::overview;
    f.announce();
    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = f.clock.now();
    story.title = "Hidden meanwhile";
    f.state->timeline->add(story);
    f.settle();
    auto* list = f.window->findChild<QAbstractItemView*>("storyList");
    EXPECT_EQ(list->model()->rowCount(), 0);
    f.sidebar()->setCurrentRow(1);
    f.settle();
    EXPECT_EQ(list->model()->rowCount(), 1);
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(MainWindowFrame, OneRedrawPerSample) {
    Frame f;
    QSignalSpy redraws(f.adapter.get(), &AppStateAdapter::changed);
    f.state->measureController->start();  // the tick then also advances the measurement
    f.settle();
    f.desktop.apps = {{100, "firefox", "Firefox", false, true}};
    const std::pair<int, std::uint64_t> samples[] = {{1, 900 * MiB}, {2, 950 * MiB}, {3, 1400 * MiB}};
    for (const auto& [n, bytes] : samples) {
        redraws.clear();
        f.clock.advance(1);
        f.steady.now += 1;
        f.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, bytes}};
        f.state->sampler->tick();
        EXPECT_EQ(redraws.size(), 0) << n;  // never from inside the sample
        f.settle();
        EXPECT_EQ(redraws.size(), 1) << n;
    }
    EXPECT_EQ(f.state->measureController->baselineSamples().size(), 3u);
}

}  // namespace
}  // namespace velmora
