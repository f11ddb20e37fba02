// The main window offscreen: its menus and shortcuts, the sections, the sheets and the story rows.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "tests/ui/EventCounter.h"
#include "tests/ui/SeededHistory.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/MainWindow.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/heavy/HeavyPage.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/overview/OverviewPage.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/stories/StoriesPage.h"
#include "ui/main/trends/TrendsPage.h"
#include "ui/main/stories/StoryListModel.h"
#include "platform/qt/QtScheduler.h"
#include "tests/ui/TextOrder.h"
#include "tests/ui/NamesAlone.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QGlyphRun>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QStackedWidget>
#include <QTextLayout>
#include <QThread>

#include <thread>

namespace velmora {
namespace {

struct Window : AppHarness {
    Window() {
        make();
        adapter = std::make_unique<AppStateAdapter>(*state, scheduler);
        window = std::make_unique<MainWindow>(*adapter);
    }
    // Every menu's actions as "Menu/Title Shortcut", separators left out.
    std::vector<std::string> menuEntries() const {
        std::vector<std::string> out;
        for (QAction* menu : window->menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (!a->isSeparator())
                    out.push_back((menu->text() + "/" + a->text() + " " + a->shortcut().toString()).toStdString());
        return out;
    }
    QAction* action(const QString& title) const {
        for (QAction* menu : window->menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == title) return a;
        return nullptr;
    }
    void settle() { QCoreApplication::processEvents(); }
    std::unique_ptr<AppStateAdapter> adapter;
    std::unique_ptr<MainWindow> window;
};

TEST(MainWindow, MenusAndShortcuts) {
    Window w;
    const std::vector<std::string> common{
        "Velmora/Setup… Ctrl+,",  "Velmora/Quit Velmora Ctrl+Q", "View/Overview Ctrl+1",
        "View/Stories Ctrl+2",   "View/Live Chart Ctrl+3",      "View/Check One Action Ctrl+4",
        "View/Who's Heavy Ctrl+5", "View/Trends Ctrl+6",        "View/Setup Ctrl+7"};
    const std::vector<std::string> rest{"Check/Check one action Ctrl+Shift+M",
                                        "Check/Toggle Floating Widget Ctrl+Shift+W",
                                        "Check/Snap Widget to Top Left Ctrl+Shift+1",
                                        "Check/Snap Widget to Top Right Ctrl+Shift+2",
                                        "Check/Snap Widget to Bottom Left Ctrl+Shift+3",
                                        "Check/Snap Widget to Bottom Right Ctrl+Shift+4",
                                        "Help/Velmora Help ",
                                        "Help/What's New "};
    auto without = common;
    without.insert(without.end(), rest.begin(), rest.end());
    EXPECT_EQ(w.menuEntries(), without);

    // Developer mode adds Ctrl+8 without a restart, and takes it away again.
    w.state->settings->setDeveloperModeEnabled(true);
    w.settle();
    auto with = common;
    with.push_back("View/Developer Ctrl+8");
    with.insert(with.end(), rest.begin(), rest.end());
    EXPECT_EQ(w.menuEntries(), with);
    auto* sidebar = w.window->findChild<QListWidget*>("sidebar");
    EXPECT_FALSE(sidebar->item(7)->isHidden());
    w.state->settings->setDeveloperModeEnabled(false);
    w.settle();
    EXPECT_EQ(w.menuEntries(), without);
    EXPECT_TRUE(sidebar->item(7)->isHidden());
}

// A second that changes nothing in the sidebar leaves it unpainted; developer mode still shows
// its row at once.
TEST(MainWindow, TheSidebarRepaintsOnlyWhenItsRowsChange) {
    Window w;
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));  // activation repaints the rows
    const auto settle = [&] { for (int turn = 0; turn < 3; ++turn) w.settle(); };
    settle();
    auto* sidebar = w.window->findChild<QListWidget*>("sidebar");
    EventCounter paints(QEvent::Paint);
    sidebar->viewport()->installEventFilter(&paints);
    seedHistory(w, sevenApps(), 2);
    w.state->announceChange();
    settle();
    EXPECT_EQ(paints.count, 0);
    w.state->settings->setDeveloperModeEnabled(true);
    settle();
    EXPECT_FALSE(sidebar->item(7)->isHidden());
    EXPECT_GT(paints.count, 0);
}

// The footer's sentence holds the front app's name: a right-to-left one keeps its own word order
// after "Now:" (as its letters set it, Latin words included) and is spoken without marks.
TEST(MainWindow, TheFooterKeepsARightToLeftNameInItsOwnOrder) {
    const struct {
        const char* kind;
        std::string rightToLeftWord;
    } cases[] = {{"Arabic", "\u0645\u062A\u0635\u0641\u062D"}, {"Hebrew", "\u05D3\u05E4\u05D3\u05E4\u05DF"}};  // "browser"
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Window w;
        const std::string name = c.rightToLeftWord + " Firefox";
        w.state->sensorLastTitle = "Inbox";
        w.state->sensorLastApp = name;
        w.state->announceChange();
        w.settle();
        auto* now = w.window->findChild<ElidedLabel*>("nowApp");
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(now->accessibleName().toStdString(), "Now: " + name);
        // Laid out as the label's painter draws it: left to right.
        const QString shown = now->lines(2000).value(0);
        const std::vector<qreal> left = leftEdges(shown, now->font(), {"Now:", "Firefox", QString::fromStdString(c.rightToLeftWord)});
        // Read right to left, the name says "<browser> Firefox": Firefox stands on the left.
        EXPECT_LT(left[0], left[1]);
        EXPECT_LT(left[1], left[2]);
    }
}

// The window at 900x560 with `app` in front, and its footer's title label under a title.
struct Footer : Window {
    explicit Footer(const std::string& app = "Files") {
        window->resize(900, 560);
        window->show();
        state->sensorLastApp = app;
    }
    ElidedLabel* title(const QString& title) {
        state->sensorLastTitle = title.toStdString();
        state->announceChange();
        for (int turn = 0; turn < 10; ++turn) settle();  // each turn settles one more level of layouts
        return window->findChild<ElidedLabel*>("nowTitle");
    }
};

// A right-to-left name too long for the footer is cut there and whole in the tooltip, which is read
// aloud too: it holds the plain words, without the marks that keep the name in its own order.
TEST(MainWindow, TheFootersTooltipHoldsTheWholeNameWithoutMarks) {
    // "Manager of documents and big files", then an emoji, Latin words and a figure with its unit.
    const std::string name = "مدير المستندات والملفات الكبيرة 📁 Files 2 GB";
    Footer w(name);
    w.title("Inbox");
    auto* now = w.window->findChild<ElidedLabel*>("nowApp");
    ASSERT_NE(now, nullptr);
    expectCutWithAPlainTooltip(now, QString::fromStdString("Now: " + name));
}

// The footer's window title stands alone under "Now:": a right-to-left one takes its own direction
// ("(בדיקה) כלי" keeps its "(" on its right, an emoji after Arabic words stands on their left, as
// painted), starts at the footer's left edge as a Latin one does, and is read aloud as it is.
TEST(MainWindow, TheFootersTitleTakesItsOwnDirection) {
    const auto shownTitle = [](const AloneName& title) {
        Footer w;
        ElidedLabel* label = w.title(title.name);
        EXPECT_NE(label, nullptr);
        expectAlone(label, title);
        return inkOf(w.window->grab().toImage(), label, w.window.get());
    };
    const int latinLeft = shownTitle({"Inbox", {"Inbox"}}).left;
    for (const AloneName& c : {hebrewAlone, arabicAlone}) {
        SCOPED_TRACE(c.name.toStdString());
        const Ink ink = shownTitle(c);
        EXPECT_NEAR(ink.left, latinLeft, 2);
        if (c.name == arabicAlone.name) expectEmojiLeftOfLetters(ink);
    }
}

// A title that wraps keeps its direction on its second line too: words of its own language fill the
// first line and the name goes on whole on the second, where "(בדיקה) כלי" keeps its "(" on its
// right and the emoji stands left of the Arabic words, as painted, from the footer's left edge.
TEST(MainWindow, TheFootersTitleKeepsItsDirectionOnItsSecondLine) {
    Footer w;
    ElidedLabel* label = w.title("Inbox");
    ASSERT_NE(label, nullptr);
    const int width = label->width();
    ASSERT_GT(width, 100);
    const QFontMetrics metrics(label->font());
    const int latinLeft = inkOf(w.window->grab().toImage(), label, w.window.get()).left;

    const struct {
        AloneName alone;
        QString filler;  // a word no wider than the name's first
    } cases[] = {{hebrewAlone, QString::fromUtf8("מסמך")}, {arabicAlone, QString::fromUtf8("ملف")}};  // "document", "file"
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alone.name.toStdString());
        const QString title = filledBefore(c.alone.name, c.filler, metrics, width);
        w.title(title);
        const QStringList lines = label->lines(label->width());
        ASSERT_EQ(lines.size(), 2);
        ASSERT_EQ(withoutMarks(lines[1]), c.alone.name) << "not wrapped before the name";
        expectInOrder(lines[1], label->font(), c.alone.leftToRight);
        EXPECT_EQ(label->accessibleName(), title);
        EXPECT_EQ(label->toolTip(), QString()) << "whole, on two lines";
        const QImage image = w.window->grab().toImage();
        const QPoint origin = label->mapTo(w.window.get(), QPoint(0, 0));
        const Ink second = inkIn(image, QRect(origin.x(), origin.y() + metrics.lineSpacing(), label->width(), metrics.height()));
        EXPECT_NEAR(second.left, latinLeft, 2);
        if (c.alone.name == arabicAlone.name) expectEmojiLeftOfLetters(second);
    }
}

// A divider only ever stands between two entries, with developer mode on or off.
TEST(MainWindow, SeparatorsOnlyBetweenEntries) {
    Window w;
    const auto strays = [&] {
        std::vector<std::string> out;
        for (QAction* menu : w.window->menuBar()->actions()) {
            const QList<QAction*> entries = menu->menu()->actions();
            for (qsizetype i = 0; i < entries.size(); ++i) {
                if (!entries[i]->isSeparator()) continue;
                if (i == 0) out.push_back(menu->text().toStdString() + " starts with one");
                if (i + 1 == entries.size()) out.push_back(menu->text().toStdString() + " ends with one");
                else if (entries[i + 1]->isSeparator()) out.push_back(menu->text().toStdString() + " has two in a row");
            }
        }
        return out;
    };
    EXPECT_EQ(strays(), std::vector<std::string>{});
    w.state->settings->setDeveloperModeEnabled(true);
    w.settle();
    EXPECT_EQ(strays(), std::vector<std::string>{});
    // The two dividers the window does have, each between entries.
    int separators = 0;
    for (QAction* menu : w.window->menuBar()->actions())
        for (QAction* a : menu->menu()->actions()) separators += a->isSeparator();
    EXPECT_EQ(separators, 2);
}

TEST(MainWindow, SectionsSheetsAndWidget) {
    Window w;
    auto* pages = w.window->findChild<QStackedWidget*>();
    auto* sidebar = w.window->findChild<QListWidget*>("sidebar");
    EXPECT_EQ(pages->currentWidget()->objectName(), "timeline");
    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = w.clock.now();
    story.title = "A story";
    w.state->timeline->add(story);
    w.settle();
    EXPECT_EQ(w.window->findChild<QListView*>("storyList")->model()->rowCount(), 1);
    const std::pair<const char*, const char*> commands[] = {
        {"Who's Heavy", "apps"}, {"Setup…", "settings"}, {"Overview", "overview"}, {"Setup", "settings"}};
    for (const auto& [title, page] : commands) {
        w.action(title)->trigger();
        w.settle();
        EXPECT_EQ(pages->currentWidget()->objectName(), page) << title;
        EXPECT_EQ(rawValue(w.state->selectedSidebar), page);
    }
    sidebar->setCurrentRow(2);  // the user picks Live Chart
    w.settle();
    EXPECT_EQ(w.state->selectedSidebar, SidebarItem::liveChart);

    w.action("Check one action")->trigger();
    w.settle();
    EXPECT_EQ(pages->currentWidget()->objectName(), "measure");
    EXPECT_EQ(w.state->measureController->session().phase, MeasurePhase::baselining);

    w.action("Snap Widget to Bottom Left")->trigger();
    EXPECT_EQ(w.widget.corners, std::vector<int>{2});
    w.action("Toggle Floating Widget")->trigger();
    EXPECT_FALSE(w.widget.visible);
    w.action("Toggle Floating Widget")->trigger();
    EXPECT_TRUE(w.widget.visible);

    w.action("Velmora Help")->trigger();
    w.settle();
    auto sheets = w.window->findChildren<QDialog*>();
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets.front()->windowTitle(), "Velmora Help");
    sheets.front()->reject();  // closed by the user
    w.settle();
    EXPECT_FALSE(w.state->showHelp);
    EXPECT_EQ(w.firstRun.completions, 0);
    w.state->showFirstRun = true;
    w.state->announceChange();
    w.settle();
    w.window->findChild<QDialog*>()->accept();
    w.settle();
    EXPECT_FALSE(w.state->showFirstRun);
    EXPECT_EQ(w.firstRun.completions, 1);
}

TEST(MainWindow, PagesNameTheWindowAndStartOverWhenShownAgain) {
    Window w;
    seedHistory(w, sevenApps(), 90);
    TimelineEvent story;
    story.id = Uuid::random();
    story.title = "A story";
    w.state->timeline->add(story);
    w.settle();
    EXPECT_EQ(w.window->windowTitle().toStdString(), "Stories \u2014 Velmora");
    auto* stories = static_cast<StoriesPage*>(w.window->page(SidebarItem::timeline));
    auto* overview = static_cast<OverviewPage*>(w.window->page(SidebarItem::overview));
    auto* chart = static_cast<LiveChartPage*>(w.window->page(SidebarItem::liveChart));
    auto* heavy = static_cast<HeavyPage*>(w.window->page(SidebarItem::apps));
    auto* trends = static_cast<TrendsPage*>(w.window->page(SidebarItem::trends));
    const auto show = [&](const char* command) {
        w.action(command)->trigger();
        w.settle();
    };

    // The user narrows or widens each page; a tick on the same page keeps the choice.
    QTest::keyClicks(stories->findChild<QLineEdit*>("storySearch"), "zzz");
    stories->findChild<QComboBox*>("impactPicker")->activated(2);
    show("Overview");
    EXPECT_EQ(w.window->windowTitle().toStdString(), "Overview \u2014 Velmora");
    overview->picker()->choose(15);
    show("Live Chart");
    chart->picker()->choose(120);
    show("Who's Heavy");
    EXPECT_EQ(w.window->windowTitle().toStdString(), "Who\u2019s heavy \u2014 Velmora");
    const int withCharts = heavy->list()->sizeHintForRow(0);
    heavy->picker()->choose(0);
    heavy->chartsToggle()->click();
    show("Trends");
    trends->picker()->choose(7);
    w.state->announceChange();
    w.settle();
    EXPECT_EQ(trends->rangeDays(), 7);

    show("Stories");
    EXPECT_EQ(stories->filters(), stories::Filters{});
    EXPECT_EQ(stories->findChild<QLineEdit*>("storySearch")->text(), "");
    EXPECT_EQ(stories->findChild<QComboBox*>("impactPicker")->currentIndex(), 0);
    EXPECT_EQ(w.window->findChild<QListView*>("storyList")->model()->rowCount(), 1);
    show("Overview");
    EXPECT_EQ(overview->moversMinutes(), 30);
    EXPECT_EQ(overview->picker()->chosen(), 30);
    show("Live Chart");
    EXPECT_EQ(chart->rangeMinutes(), 30);
    EXPECT_EQ(chart->picker()->chosen(), 30);
    show("Who's Heavy");
    EXPECT_EQ(heavy->picker()->chosen(), 1);
    EXPECT_TRUE(heavy->chartsToggle()->isChecked());
    EXPECT_EQ(heavy->model()->row(1).values.size(), 90u);  // five minutes of charts hold all 90 s
    EXPECT_EQ(heavy->list()->sizeHintForRow(0), withCharts);
    show("Trends");
    EXPECT_EQ(trends->rangeDays(), 30);
    EXPECT_EQ(trends->picker()->chosen(), 30);
    show("Setup");
    EXPECT_EQ(w.window->windowTitle().toStdString(), "Setup \u2014 Velmora");
}

TEST(QtAdapter, OneRedrawPerTurnAndTimersOnTheEventLoop) {
    Window w;
    QSignalSpy redraws(w.adapter.get(), &AppStateAdapter::changed);
    QSignalSpy stories(w.adapter.get(), &AppStateAdapter::storiesChanged);
    w.state->announceChange();  // the first turn also hands over the stories
    w.settle();
    EXPECT_EQ(stories.size(), 1);
    redraws.clear();
    stories.clear();
    for (int i = 0; i < 3; ++i) w.state->announceChange();
    EXPECT_EQ(redraws.size(), 0);  // not from inside the announcement
    w.settle();
    EXPECT_EQ(redraws.size(), 1);
    EXPECT_EQ(stories.size(), 0);

    QtScheduler scheduler;
    std::vector<std::string> ran;
    QThread* postedOn = nullptr;
    std::thread([&] { scheduler.post([&] { postedOn = QThread::currentThread(); }); }).join();
    int ticks = 0;
    Scheduler::TimerId repeating = 0;
    repeating = scheduler.scheduleRepeating(0.001, [&] {
        if (++ticks == 3) scheduler.cancel(repeating);  // from inside its own action
    });
    const auto once = scheduler.scheduleOnce(0, [&] {
        ran.push_back("once");
        scheduler.cancel(repeating + 100);  // an unknown id is ignored
    });
    scheduler.cancel(scheduler.scheduleOnce(0, [&] { ran.push_back("cancelled"); }));
    EXPECT_NE(once, 0u);
    // QTRY_* would return without failing under GoogleTest.
    const auto settled = [&] { return ticks == 3 && !ran.empty() && postedOn; };
    for (QDeadlineTimer deadline(5000); !settled() && !deadline.hasExpired();) QTest::qWait(5);
    ASSERT_TRUE(settled()) << "ticks " << ticks << ", ran " << ran.size();
    QTest::qWait(20);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(ran, std::vector<std::string>{"once"});
    EXPECT_EQ(postedOn, QThread::currentThread());
}

TEST(MainWindow, StoryRowsFollowTheStoreByKey) {
    StoryListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const auto story = [](const char* title, double at) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = Date::fromUnix(at);
        e.title = title;
        e.explanation = "<img src=x> grew";
        return e;
    };
    auto a = story("A", 3600 * 7 + 60 * 5), b = story("B", 0), c = story("C", 60);
    model.update({b, c});
    model.update({a, b, c});  // a new story on top
    EXPECT_EQ(inserted.size(), 2);
    EXPECT_EQ(inserted.back().at(1).toInt(), 0);
    EXPECT_EQ(model.index(0).data().toString(), "07:05  A\n<img src=x> grew");
    model.update({a, b, c});
    EXPECT_EQ(changed.size(), 0);
    b.title = "B merged";
    model.update({a, b});  // c left, b reworded
    EXPECT_EQ(removed.size(), 1);
    EXPECT_EQ(removed.back().at(1).toInt(), 2);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed.back().at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(model.rowCount(), 2);
}

}  // namespace
}  // namespace velmora
