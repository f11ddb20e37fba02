// The Stories page offscreen: the keyed list under idle ticks and a new story, the filters and
// their placeholders, the detail with its Quit behind a confirmation, the banner's buttons, a short
// window, the column above the filters under the banner in the smallest window with the widest
// glance figures, titles wrapped between words, a new story opening at its top, a mixed Arabic and
// Latin title read in one order in the row and the detail, a row title wrapped inside a Persian name,
// a Quit box that keeps to the screen, and the app picker as shown and as heard.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/MainWindow.h"
#include "ui/main/glance/LiveGlanceCharts.h"
#include "ui/main/stories/NudgeBanner.h"
#include "ui/main/stories/StoriesFilterBar.h"
#include "ui/main/stories/StoriesPage.h"
#include "ui/main/stories/StoryDetailPane.h"
#include "ui/main/stories/StoryListModel.h"
#include "ui/main/stories/StoryRowDelegate.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/TextReport.h"
#include "tests/ui/NamesAlone.h"
#include "tests/ui/SeededHistory.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPaintEngine>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

#include <limits>
#include <map>

namespace velmora {
namespace {

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

TimelineEvent growth(const std::string& app, std::int64_t delta, double at, std::string title = {}) {
    TimelineEvent s;
    s.id = Uuid::random();
    s.timestamp = Date{800000000.0 + at};
    s.kind = delta < 0 ? TimelineEventKind::memoryReleased : TimelineEventKind::largeDelta;
    s.title = title.empty() ? app + " grew" : title;
    s.relatedApp = appIdentity("key." + app, app);
    ImpactWindow w;
    w.deltaBytes = delta;
    w.endFootprintBytes = 900 * MiB;
    s.settled = w;
    return s;
}

struct Stories : AppHarness {
    Stories() {
        make();
        page = std::make_unique<StoriesPage>(*state);
        page->resize(1000, 700);
        page->show();
        page->refresh();
    }
    void add(const TimelineEvent& s) { state->timeline->add(s); }
    void tick(bool storiesChanged = false) {
        if (storiesChanged) page->markStoriesStale();
        page->refresh();
        QCoreApplication::processEvents();
    }
    QListView* list() const { return page->findChild<QListView*>("storyList"); }
    // A label's text; a label not shown reads as its absence instead of ending the program.
    QString label(const char* name) const {
        const auto* l = page->findChild<QLabel*>(name);
        return l ? l->text() : QString("<no %1>").arg(name);
    }
    std::unique_ptr<StoriesPage> page;
};

TEST(StoriesPage, FiveHundredStoriesStayPutUnderIdleTicksAndANewOneIsOneRowOnTop) {
    Stories f;
    for (int i = 0; i < 500; ++i) f.add(growth("App" + std::to_string(i), (60 + i) * 1'000'000, i));
    f.tick(true);
    auto* model = f.list()->model();
    // Fatal: a broken model contract ends the test program instead of printing a warning.
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model->rowCount(), 500);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

    // The user picks a row halfway down; that is written to the application state.
    f.list()->setCurrentIndex(model->index(250, 0));
    const Uuid picked = f.state->timeline->events()[250].id;
    ASSERT_EQ(f.state->selectedEventID, picked);
    f.list()->verticalScrollBar()->setValue(4000);
    const int scroll = f.list()->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);
    for (int i = 0; i < 10; ++i) {
        f.state->announceChange();
        f.tick(i % 2 == 0);
    }
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(inserted.size(), 0);
    EXPECT_EQ(removed.size(), 0);
    EXPECT_EQ(changed.size(), 0);
    EXPECT_EQ(f.list()->verticalScrollBar()->value(), scroll);
    EXPECT_EQ(f.list()->currentIndex().row(), 250);
    EXPECT_EQ(f.state->selectedEventID, picked);

    f.add(growth("Newcomer", 70'000'000, 5000));
    f.tick(true);
    EXPECT_EQ(resets.size(), 0);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted.back().at(1).toInt(), 0);
    EXPECT_EQ(inserted.back().at(2).toInt(), 0);
    EXPECT_EQ(model->index(0, 0).data(Qt::AccessibleTextRole).toString(), "Newcomer used more memory, +66.8 MB, now 900 MB, Tiny");
    EXPECT_EQ(f.list()->currentIndex().row(), 251);
    EXPECT_EQ(f.state->selectedEventID, picked);
}

TEST(StoriesPage, NewStoriesAboveTheReaderLeaveTheirRowsInPlaceAndNewFiltersOpenAtTheTop) {
    Stories f;
    for (int i = 0; i < 120; ++i) f.add(growth("App" + std::to_string(i), (60 + i) * 1'000'000, i));
    f.tick(true);
    auto* list = f.list();
    auto* scroll = list->verticalScrollBar();
    scroll->setValue(3000);
    const QModelIndex top = list->indexAt(QPoint(1, 1));
    const int picked = list->indexAt(QPoint(1, list->viewport()->height() - 5)).row();
    list->setCurrentIndex(list->model()->index(picked, 0));
    const std::string reading = top.data(Qt::AccessibleTextRole).toString().toStdString();
    const int offset = list->visualRect(top).top();
    ASSERT_GT(top.row(), 0);

    f.add(growth("Newcomer", 70'000'000, 5000));
    f.add(growth("Another", 80'000'000, 5001, "Another grew with a title long enough to take a second line"));
    f.tick(true);
    const QModelIndex after = list->indexAt(QPoint(1, 1));
    EXPECT_EQ(after.row(), top.row() + 2);
    EXPECT_EQ(after.data(Qt::AccessibleTextRole).toString().toStdString(), reading);
    EXPECT_EQ(list->visualRect(after).top(), offset);
    EXPECT_EQ(list->currentIndex().row(), picked + 2);
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(list->currentIndex())));

    // At the top the reader sees what arrives.
    scroll->setValue(0);
    f.add(growth("Latest", 90'000'000, 5002));
    f.tick(true);
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_EQ(list->indexAt(QPoint(1, 1)).row(), 0);

    scroll->setValue(5000);
    QTest::keyClicks(f.page->findChild<QLineEdit*>("storySearch"), "app1");
    ASSERT_GT(list->model()->rowCount(), 20);
    EXPECT_EQ(scroll->value(), 0);
}

TEST(StoriesPage, FiltersPickerAndPlaceholders) {
    Stories f;
    EXPECT_EQ(f.label("storiesPlaceholderTitle"), "Nothing big yet");
    EXPECT_EQ(f.label("storiesPlaceholderText"), "Stories = big jumps.\nWho\u2019s heavy = size right now.");
    EXPECT_EQ(f.page->findChild<QPushButton*>("placeholderButton")->text(), "Check one action");

    const auto zeta = growth("Zeta", 80'000'000, 100), alpha = growth("alpha", 90'000'000, 200),
               small = [] {
                   auto s = growth("Beta", 1'000'000, 300);
                   s.systemContext = SystemMemorySnapshot{};
                   return s;
               }();
    f.add(zeta);
    f.add(alpha);
    f.add(small);  // too small to show without pressure: not offered either
    f.tick(true);
    auto* apps = f.page->findChild<QComboBox*>("appPicker");
    ASSERT_EQ(apps->count(), 3);
    EXPECT_EQ(apps->itemText(1), "alpha");
    EXPECT_EQ(apps->itemText(2), "Zeta");
    EXPECT_EQ(f.list()->model()->rowCount(), 2);

    auto* search = f.page->findChild<QLineEdit*>("storySearch");
    QTest::keyClicks(search, "ZETA");
    EXPECT_EQ(f.page->filters().search, "ZETA");
    EXPECT_EQ(f.list()->model()->rowCount(), 1);
    QTest::keyClicks(search, "x");
    EXPECT_EQ(f.list()->model()->rowCount(), 0);
    EXPECT_EQ(f.label("storiesPlaceholderTitle"), "No stories match this filter");
    EXPECT_EQ(f.label("storiesPlaceholderText"), "Clear the filter or pick another app.");
    auto* clear = f.page->findChild<QPushButton*>("placeholderButton");
    EXPECT_EQ(clear->text(), "Clear filters");
    clear->click();
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(f.list()->model()->rowCount(), 2);

    // Choose Zeta, then let its only story go: the choice stays listed while it still filters.
    apps->activated(2);
    EXPECT_EQ(f.page->filters().appKey, "key.Zeta");
    EXPECT_EQ(f.list()->model()->rowCount(), 1);
    QSignalSpy picked(apps, &QComboBox::currentIndexChanged);
    auto gone = zeta;
    gone.settled->deltaBytes = 0;
    f.state->timeline->update(gone);
    f.tick(true);
    EXPECT_EQ(picked.size(), 0);
    ASSERT_EQ(apps->count(), 3);
    EXPECT_EQ(apps->itemText(1), "alpha");
    EXPECT_EQ(apps->itemText(2), "Zeta");
    EXPECT_EQ(apps->currentIndex(), 2);
    EXPECT_EQ(f.page->filters().appKey, "key.Zeta");
    EXPECT_EQ(f.label("storiesPlaceholderTitle"), "No stories match this filter");
    // Cleared, the gone app leaves the picker. "Clear" is the small size beside the field.
    EXPECT_EQ(f.page->findChild<QPushButton*>("clearFilters")->font().pixelSize(), 12);
    f.page->findChild<QPushButton*>("clearFilters")->click();
    EXPECT_EQ(f.page->filters().appKey, std::nullopt);
    ASSERT_EQ(apps->count(), 2);
    EXPECT_EQ(apps->itemText(1), "alpha");
    EXPECT_EQ(apps->currentIndex(), 0);
    EXPECT_EQ(f.list()->model()->rowCount(), 1);
}

TEST(StoriesPage, DetailQuitAsksFirstAndQuitsOnce) {
    Stories f;
    auto editor = growth("Editor", 300'000'000, 100);
    editor.relatedApp->bundleID = "org.example.editor";
    const auto freed = growth("Player", -300'000'000, 200);
    const auto script = growth("python3", 300'000'000, 300);  // a program without a window
    f.add(editor);
    f.add(freed);
    f.add(script);
    f.terminator.byBundleID["org.example.editor"] = {4242};
    f.tick(true);
    EXPECT_EQ(f.label("detailPlaceholder"), "Pick a story");

    // The detail column gives way only down to its minimum.
    auto* split = f.page->findChild<QSplitter*>("storiesSplit");
    split->setSizes({1000, 0});
    EXPECT_EQ(f.page->findChild<StoryDetailPane*>()->width(), 320);

    // Quit closes windows: a program that has none is not offered it.
    f.state->selectedEventID = script.id;
    f.tick();
    EXPECT_EQ(f.label("detailTitle"), "python3 used more memory");
    EXPECT_EQ(f.page->findChild<QPushButton*>("quitApp"), nullptr);

    f.state->selectedEventID = freed.id;
    f.tick();
    EXPECT_EQ(f.label("detailDelta"), "\u2212286.1 MB");
    EXPECT_EQ(f.label("cardLabel"), "Helps");
    EXPECT_EQ(f.page->findChild<QPushButton*>("quitApp"), nullptr);

    f.state->selectedEventID = editor.id;
    f.tick();
    auto* detail = f.page->findChild<StoryDetailPane*>();
    auto* quit = f.page->findChild<QPushButton*>("quitApp");
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->text(), "Quit Editor");
    EXPECT_FALSE(quit->icon().isNull());
    quit->click();
    QMessageBox* box = detail->confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), "Quit Editor?");
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    box->button(QMessageBox::Cancel)->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.terminator.asked.empty());
    EXPECT_EQ(f.state->lastQuitMessage, std::nullopt);

    quit->click();
    box = detail->confirmation();
    ASSERT_NE(box, nullptr);
    box->findChild<QPushButton*>("confirmQuit")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.terminator.asked, std::vector<std::int32_t>{4242});
    f.tick();
    EXPECT_EQ(f.label("quitMessage"), "Asked Editor to quit.");
    quit = f.page->findChild<QPushButton*>("quitApp");
    ASSERT_NE(quit, nullptr);
    auto* message = f.page->findChild<QLabel*>("quitMessage");
    EXPECT_GE(message->mapTo(f.page.get(), QPoint(0, 0)).y(), quit->mapTo(f.page.get(), QPoint(0, quit->height())).y())
        << "the message sits under the button";

    // A selection the filters hide leaves the detail with the list, and the selection is left alone.
    QTest::keyClicks(f.page->findChild<QLineEdit*>("storySearch"), "player");
    EXPECT_EQ(f.list()->model()->rowCount(), 1);
    EXPECT_EQ(f.state->selectedEventID, editor.id);
    EXPECT_EQ(f.page->findChild<QLabel*>("detailTitle"), nullptr);
    EXPECT_EQ(f.label("detailPlaceholder"), "Pick a story");
}

// The detail shows what the list shows as chosen: a story that leaves the list (its growth freed
// within two minutes, or filtered out) leaves the detail too, its id kept for when it comes back.
TEST(StoriesPage, TheDetailFollowsTheListWhenTheChosenStoryLeavesIt) {
    Stories f;
    const auto grew = growth("Editor", 600 * std::int64_t(MiB), 100), other = growth("Player", 300 * std::int64_t(MiB), 200);
    f.add(grew);
    f.add(other);
    f.tick(true);
    auto* model = static_cast<StoryListModel*>(f.list()->model());
    const auto pick = [&](const Uuid& id) {
        f.list()->setCurrentIndex(model->index(model->rowOf(id)));
        f.tick();
    };
    pick(grew.id);
    ASSERT_EQ(f.state->selectedEventID, grew.id);
    EXPECT_EQ(f.label("detailTitle"), "Editor used more memory");

    // Freed within two minutes: no lasting change, a story the list hides.
    auto freed = grew;
    freed.immediate = freed.settled;
    freed.settled->deltaBytes = 0;
    f.state->timeline->update(freed);
    f.tick(true);
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_FALSE(f.list()->currentIndex().isValid());
    EXPECT_EQ(f.page->findChild<QLabel*>("detailDelta"), nullptr) << "the detail still shows the hidden story";
    EXPECT_EQ(f.label("detailPlaceholder"), "Pick a story");
    EXPECT_EQ(f.state->selectedEventID, grew.id);

    // A filter that hides the chosen story empties the detail; cleared, the story is back in both.
    pick(other.id);
    auto* search = f.page->findChild<QLineEdit*>("storySearch");
    QTest::keyClicks(search, "editor");
    EXPECT_EQ(f.label("storiesPlaceholderTitle"), "No stories match this filter");
    EXPECT_EQ(f.label("detailPlaceholder"), "Pick a story");
    EXPECT_EQ(f.state->selectedEventID, other.id);
    f.page->findChild<QPushButton*>("clearFilters")->click();
    EXPECT_EQ(f.list()->currentIndex().row(), model->rowOf(other.id));
    EXPECT_EQ(f.label("detailTitle"), "Player used more memory");
}

// A right-to-left name cut in a row's line ("You switched to (בדיקה) כלי") keeps as much of itself
// as fits, its "…" at its left end, also when no letter of it is left: never "You switched to (…".
TEST(StoriesPage, ARightToLeftNameCutInARowHasItsEllipsisAtItsLeftEnd) {
    const QString name = QString::fromUtf8("(\u05D1\u05D3\u05D9\u05E7\u05D4) \u05DB\u05DC\u05D9");
    auto story = growth("Tool", 300 * std::int64_t(MiB), 10);
    story.relatedApp->displayName = name.toStdString();
    story.explanation = "You switched to " + name.toStdString();
    StoryListModel model;
    model.update(std::vector<TimelineEvent>{story});
    QListView view;
    view.setModel(&model);
    StoryRowDelegate rows;
    view.setItemDelegate(&rows);
    view.show();
    QStringList cuts;
    bool bracketAlone = false;
    for (int width = 300; width <= 460; ++width) {
        view.resize(width, 200);
        QCoreApplication::processEvents();
        const std::vector<PaintedText> painted = paintedBy(*view.viewport()).texts;
        const auto line = std::find_if(painted.rbegin(), painted.rend(), [](const PaintedText& t) { return t.shown.startsWith("You s"); });
        ASSERT_NE(line, painted.rend()) << width;
        const QString& shown = line->shown;
        const qsizetype open = shown.indexOf(QChar(0x2068)), dots = shown.indexOf(QChar(0x2026));
        if (open < 0 || dots <= open + 1) continue;  // whole, or cut before the name
        const QString kept = shown.mid(open + 1, dots - open - 1);
        bracketAlone = bracketAlone || kept == "(";
        cuts << kept;
        const QRectF mark = drawnBox(shown, line->font, Qt::LeftToRight, dots, 1);
        const QRectF letters = drawnBox(shown, line->font, Qt::LeftToRight, open + 1, kept.size());
        EXPECT_LE(mark.right(), letters.left() + 0.5) << width << " px: " << shown.toStdString();
        EXPECT_GE(mark.left(), drawnBox(shown, line->font, Qt::LeftToRight, 0, 15).right() - 0.5)
            << width << " px: \u2026 before \"You switched to\": " << shown.toStdString();
    }
    EXPECT_TRUE(bracketAlone) << "no width cut the name down to \"(\": " << cuts.join(" | ").toStdString();
}

// A right-to-left name wrapped in its row's title, "<name> · You were in “Quarterly plan”", in the
// smallest and the default window: the line that goes on inside the name keeps its direction, also
// when it starts with a Latin word of the name, and cut inside the name has its "…" at its left end.
TEST(StoriesPage, ARightToLeftNameWrappedInARowGoesOnRightToLeft) {
    for (const QSize size : {QSize(900, 560), QSize(1100, 700)}) {
        SCOPED_TRACE(size.width());
        AppHarness h;
        h.make();
        auto story = growth("Editor", 300 * MiB, 10);
        story.relatedApp->displayName = persianWrapped.toStdString();
        story.explanation = "You were in \u201CQuarterly plan\u201D";
        h.state->timeline->add(story);
        AppStateAdapter adapter(*h.state, h.scheduler);
        MainWindow window(adapter);
        window.resize(size);
        window.show();
        h.state->selectedSidebar = SidebarItem::timeline;
        h.state->announceChange();
        settle();
        auto* list = window.findChild<QListView*>("storyList");
        ASSERT_NE(list, nullptr);
        std::vector<PaintedText> lines;
        for (const PaintedText& t : paintedBy(*list->viewport()).texts)
            if (!t.wrapped.isEmpty() && withoutMarks(t.wrapped).startsWith(persianWrapped)) lines.push_back(t);
        ASSERT_EQ(lines.size(), 2u) << "the title does not wrap";
        ASSERT_FALSE(openIsolates(lines[1].wrapped, lines[1].lineStart).empty())
            << "the second line does not start inside the name: " << lines[1].shown.toStdString();
        ASSERT_TRUE(isElided(lines[1].shown) && goingOn(lines[1].shown).end > lines[1].shown.indexOf(QChar(0x2026)))
            << "the second line is not cut inside the name: " << lines[1].shown.toStdString();
        expectGoesOnRightToLeft(lines[1].shown, lines[1].font);
        // A two-line label (the footer's window title) carries the name over to its next line alike.
        ElidedLabel label(2);
        label.setFont(lines[1].font);
        label.setText(lines[1].wrapped);
        std::vector<int> starts;
        const QStringList drawn = label.lines(static_cast<int>(lines[1].box.width()), starts);
        ASSERT_EQ(drawn.size(), 2);
        ASSERT_EQ(starts[1], lines[1].lineStart);
        expectGoesOnRightToLeft(drawn[1], label.font());
    }
}

TEST(StoriesPage, RowTimesUseTwentyFourHoursInTheGivenZone) {
    const struct {
        double at;
        QTimeZone zone;
        const char* time;
    } cases[] = {
        {23 * 3600 + 59 * 60, QTimeZone::utc(), "23:59"},
        {5 * 60 + 59.9, QTimeZone::utc(), "00:05"},
        {23 * 3600 + 5 * 60, QTimeZone(3600), "00:05"},
        {1e12, QTimeZone::utc(), "--:--"},
    };
    for (const auto& c : cases) EXPECT_EQ(storyTime(Date::fromUnix(c.at), c.zone), c.time) << c.at;
}

TEST(StoriesPage, BannerButtonsReportOnceAndTheBannerStays) {
    NudgeBanner banner;
    banner.resize(340, 200);
    banner.show();
    QSignalSpy showMe(&banner, &NudgeBanner::showMe);
    QSignalSpy dismissed(&banner, &NudgeBanner::dismissed);
    banner.findChild<QToolButton*>("nudgeDismiss")->click();
    EXPECT_EQ(dismissed.size(), 1);
    EXPECT_EQ(showMe.size(), 0);
    EXPECT_TRUE(banner.isVisible());
    banner.findChild<QPushButton*>("nudgeShowMe")->click();
    EXPECT_EQ(showMe.size(), 1);
    EXPECT_EQ(banner.findChild<QLabel*>("nudgeText")->text(),
              "That's the window title's limit, not a guess we're avoiding \u2014 it only shows the tab you're looking "
              "at. The extension works even in the background.");
    EXPECT_EQ(banner.findChild<QToolButton*>("nudgeDismiss")->toolTip(), "Dismiss");

    Stories f;
    auto* pageBanner = f.page->findChild<NudgeBanner*>();
    EXPECT_FALSE(pageBanner->isVisible());
    f.state->lowConfidenceBrowserStoryCount = 2;
    f.tick();
    EXPECT_TRUE(pageBanner->isVisible());
    pageBanner->findChild<QToolButton*>("nudgeDismiss")->click();
    f.tick();
    EXPECT_TRUE(f.state->extensionNudgeDismissed);
    EXPECT_FALSE(pageBanner->isVisible());
}

TEST(StoriesPage, AShortPageScrollsWhatStandsAboveTheFiltersAndKeepsAWholeRowAndWholeCharts) {
    Stories f;
    f.state->lowConfidenceBrowserStoryCount = 1;  // the banner too
    f.add(growth("Extraordinarily Long Application Name Seen On Linux Desktops", 300 * MiB, 10));
    f.add(growth("Firefox", 200 * MiB, 20));
    f.page->resize(700, 470);
    f.tick(true);
    f.tick();
    auto* top = f.page->findChild<QScrollArea*>("storiesTop");
    ASSERT_NE(top, nullptr);
    auto* strip = f.page->findChild<QWidget*>("pressureStrip");
    auto* glance = f.page->findChild<QWidget*>("glanceCharts");
    auto* banner = f.page->findChild<NudgeBanner*>();
    auto* search = f.page->findChild<QWidget*>("storySearch");
    ASSERT_TRUE(strip && glance && banner && search);
    ASSERT_TRUE(banner->isVisible());
    // The strip, the cards and the banner scroll, in their order; the filters stay below them.
    EXPECT_TRUE(top->widget()->isAncestorOf(banner));
    EXPECT_FALSE(top->widget()->isAncestorOf(search));
    EXPECT_GT(top->verticalScrollBar()->maximum(), 0);
    EXPECT_LT(strip->y(), glance->y());
    EXPECT_LT(glance->y(), banner->y());
    EXPECT_GE(search->mapTo(f.page.get(), QPoint()).y(), top->geometry().bottom());
    // One whole row of the list shows; the charts keep their height inside their cards.
    EXPECT_GE(f.list()->viewport()->height(), f.list()->sizeHintForRow(0));
    const auto charts = glance->findChildren<MarkedSparkline*>();
    ASSERT_EQ(charts.size(), 2);
    for (auto* chart : charts) {
        EXPECT_EQ(chart->height(), 48);
        EXPECT_TRUE(chart->parentWidget()->rect().contains(QRect(chart->pos(), chart->size())));
    }

    // Tall enough, nothing scrolls and the list takes the rest.
    f.page->resize(700, 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(top->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(top->height(), top->widget()->height());
    EXPECT_GT(f.list()->viewport()->height(), 2 * f.list()->sizeHintForRow(0));
    // Without the banner the column above is shorter by it.
    const int withBanner = top->height();
    f.state->extensionNudgeDismissed = true;
    f.tick();
    QCoreApplication::processEvents();
    EXPECT_FALSE(banner->isVisible());
    EXPECT_LT(top->height(), withBanner - 40);
    EXPECT_EQ(top->verticalScrollBar()->maximum(), 0);
}

// At the window's smallest size the banner gives what stands above the filters a scroll bar, and
// the view loses its width. The heaviest app, named long in Persian, Hebrew, Urdu or Chinese, grows
// by about 1 GB while free memory falls as much: both cards show the widest figures they meet, and
// the column still does not grow wider than its view. Then the figures narrow again: each label is
// as wide as its new text, and value and trend share a line again.
TEST(StoriesPage, AboveTheFiltersFitsItsViewUnderTheBannerWithTheWidestFiguresAndThenNarrowerOnes) {
    for (const auto& [script, name] : longNamesInFourScripts) {
        SCOPED_TRACE(name);
        AppHarness h;
        h.make();
        const auto tick = [&](std::uint64_t appBytes, std::uint64_t freeBytes, bool shown = true) {
            tickBesideFirefox(h, name, appBytes, freeBytes);
            if (!shown) return;
            h.state->announceChange();
            settle();
        };
        tick(MiB, 2047 * MiB);
        h.state->lowConfidenceBrowserStoryCount = 1;
        AppStateAdapter adapter(*h.state, h.scheduler);
        MainWindow window(adapter);
        window.resize(900, 560);
        window.show();
        h.state->selectedSidebar = SidebarItem::timeline;
        const std::uint64_t widest = 1023 * MiB + 922 * 1024;  // 1,023.9 MB
        tick(widest, widest);
        auto* top = window.findChild<QScrollArea*>("storiesTop");
        ASSERT_NE(top, nullptr);
        ASSERT_TRUE(window.findChild<NudgeBanner*>()->isVisible());
        ASSERT_TRUE(top->verticalScrollBar()->isVisible());
        auto* glance = top->widget()->findChild<LiveGlanceCharts*>();
        ASSERT_NE(glance, nullptr);
        std::vector<LiveGlanceCharts::Card*> cards;
        for (const char* card : {"freeCard", "appCard"}) {
            cards.push_back(static_cast<LiveGlanceCharts::Card*>(glance->findChild<QWidget*>(card)));
            ASSERT_NE(cards.back(), nullptr);
        }
        const auto whole = [&](const char* when) {
            SCOPED_TRACE(when);
            EXPECT_LE(top->widget()->width(), top->viewport()->width());
            for (auto* card : cards) {
                EXPECT_LE(card->geometry().right(), glance->width() - 16) << card->objectName().toStdString();
                for (QLabel* figure : {card->value(), card->trend()})
                    EXPECT_TRUE(card->rect().contains(figure->geometry())) << figure->text().toStdString();
                EXPECT_FALSE(card->value()->geometry().intersects(card->trend()->geometry()));
            }
        };
        EXPECT_EQ(cards[0]->value()->text(), "1,023.9 MB");
        EXPECT_EQ(cards[0]->trend()->text(), "\u22121,023.1 MB");
        EXPECT_EQ(cards[1]->value()->text(), "1,023.9 MB");
        EXPECT_EQ(cards[1]->trend()->text(), "+1,022.9 MB");
        whole("widest figures");
        for (auto* card : cards) EXPECT_TRUE(card->figuresStacked()) << card->objectName().toStdString();

        // Fifteen minutes on, the app and free memory have settled at narrower figures.
        for (int t = 0; t < 900; ++t) tick(900 * MiB, 20ull << 30, false);
        tick(900 * MiB, 20ull << 30);
        EXPECT_EQ(cards[1]->value()->text(), "900 MB");
        EXPECT_EQ(cards[1]->trend()->text(), "flat");
        whole("narrower figures");
        for (auto* card : cards) {
            for (QLabel* figure : {card->value(), card->trend()}) {
                QLabel fresh(figure->text());
                fresh.setFont(figure->font());
                EXPECT_EQ(figure->width(), fresh.sizeHint().width()) << figure->text().toStdString();
            }
            EXPECT_FALSE(card->figuresStacked());
            // On one line: each reaches into the other's height.
            EXPECT_LT(card->trend()->y(), card->value()->geometry().bottom());
            EXPECT_LT(card->value()->y(), card->trend()->geometry().bottom());
        }
    }
}

TEST(StoriesPage, TheAppPickersFieldEndsALongNameInAnEllipsisWithTheWholeNameAsTooltip) {
    Stories f;
    const std::string name = "Extraordinarily Long Application Name Seen On Linux Desktops";
    f.add(growth(name, 300 * MiB, 10));
    f.tick(true);
    auto* apps = f.page->findChild<QComboBox*>("appPicker");
    ASSERT_NE(apps, nullptr);
    const int index = apps->findText(QString::fromStdString(name));
    ASSERT_GT(index, 0);
    apps->setCurrentIndex(index);
    emit apps->activated(index);
    QCoreApplication::processEvents();
    QStringList shown;
    setPaintedTextListener([&](const PaintedText& t) {
        if (t.widget == apps) shown << t.shown;
    });
    (void)apps->grab();
    setPaintedTextListener({});
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Extraordinarily") && shown[0].endsWith(QChar(0x2026))) << shown[0].toStdString();
    EXPECT_EQ(apps->toolTip().toStdString(), name);
    EXPECT_EQ(apps->itemText(index).toStdString(), name);  // the list shows it whole
    // A short name stands whole, without a tooltip.
    apps->setCurrentIndex(0);
    shown.clear();
    setPaintedTextListener([&](const PaintedText& t) {
        if (t.widget == apps) shown << t.shown;
    });
    (void)apps->grab();
    setPaintedTextListener({});
    EXPECT_EQ(shown, QStringList{"All apps"});
    EXPECT_EQ(apps->toolTip(), "");
}

TEST(StoriesPage, TitlesBreakBetweenWordsAndAWordWiderThanALineEndsInAnEllipsis) {
    const QFont font;
    const QFontMetrics m(font);
    const QString title = "Extraordinarily Long Application grew";
    const QChar ellipsis(0x2026);
    // Room for the first two words: the third starts the next line, whole.
    const int two = m.horizontalAdvance("Extraordinarily Long") + 4;
    EXPECT_EQ(wrapWords(title, font, two, 2),
              (std::vector<WrappedLine>{{"Extraordinarily Long", 0}, {"Application grew", 21}}));
    // A first word wider than the line keeps the line to itself, cut with "…"; the next line starts
    // at the next word, and the last line is cut with "…" too.
    const int narrow = m.horizontalAdvance("Extraordinarily") - 12;
    const auto cut = wrapWords(title, font, narrow, 2);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_TRUE(cut[0].text.startsWith("Extraord") && cut[0].text.endsWith(ellipsis)) << cut[0].text.toStdString();
    EXPECT_LE(m.horizontalAdvance(cut[0].text), narrow);
    EXPECT_EQ(cut[0].start, 0);
    EXPECT_TRUE(cut[1].text.startsWith("Long") && cut[1].text.endsWith(ellipsis)) << cut[1].text.toStdString();
    EXPECT_EQ(cut[1].start, 16);
    // Three lines of room at that width: the words go on, one line each.
    const auto three = wrapWords("Extraordinarily Long Application", font, m.horizontalAdvance("Application") + 2, 3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_TRUE(three[0].text.endsWith(ellipsis));
    EXPECT_EQ(three[1], (WrappedLine{"Long", 16}));
    EXPECT_EQ(three[2], (WrappedLine{"Application", 21}));
    // One line: the whole text elided; nothing at no width.
    const auto one = wrapWords(title, font, two, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(one[0].text.startsWith("Extraordinarily Lo") && one[0].text.endsWith(ellipsis)) << one[0].text.toStdString();
    EXPECT_TRUE(wrapWords(title, font, 0, 2).empty());

    // A two-line label says where its lines start.
    ElidedLabel label(2);
    label.setText(title);
    std::vector<int> starts;
    EXPECT_EQ(label.lines(two, starts), (QStringList{"Extraordinarily Long", "Application grew"}));
    EXPECT_EQ(starts, (std::vector<int>{0, 21}));
}

// A story whose detail is taller than its view: a spike, the computer's state, five sources.
TimelineEvent tallStory(const std::string& app, double at) {
    TimelineEvent s = growth(app, 300 * MiB, at);
    s.explanation = "You opened a large spreadsheet in " + app;
    s.baselineFootprintBytes = 600 * MiB;
    s.immediate = ImpactWindow{300 * std::int64_t(MiB), 10, 2000 * MiB, {}};
    s.systemContext = SystemMemorySnapshot{};
    s.systemContext->totalPhysicalBytes = 16ull << 30;
    s.systemContext->availableBytes = 900 * MiB;
    s.primarySource = SensorSource::systemPressure;
    s.supportingSources = {SensorSource::browserSession, SensorSource::screenshotOCR, SensorSource::accessibility,
                           SensorSource::cloudVision};
    return s;
}

TEST(StoriesPage, AnotherStoryOpensAtItsTopWhileTheSameStoryKeepsItsPlace) {
    Stories f;
    const auto first = tallStory("Editor", 10), second = tallStory("Viewer", 20);
    f.add(first);
    f.add(second);
    f.page->resize(900, 560);
    f.tick(true);
    auto* detail = f.page->findChild<StoryDetailPane*>();
    auto* scroll = detail->verticalScrollBar();
    f.state->selectedEventID = first.id;
    f.tick();
    ASSERT_GT(scroll->maximum(), 0) << "the detail fits its view: nothing to scroll";
    scroll->setValue(scroll->maximum());

    // Another story: its time, change and title show from the top.
    f.state->selectedEventID = second.id;
    f.tick();
    EXPECT_TRUE(f.label("detailTitle").startsWith("Viewer")) << f.label("detailTitle").toStdString();
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_GE(f.page->findChild<QLabel*>("detailDelta")->mapTo(detail->viewport(), QPoint()).y(), 0);

    // The same story rebuilt (its quit message arrived) stays where the reader is.
    ASSERT_GT(scroll->maximum(), 0);
    scroll->setValue(scroll->maximum());
    const int reading = scroll->value();
    const QWidget* before = detail->widget();
    f.state->lastQuitMessage = "Asked Viewer to quit.";
    f.tick();
    ASSERT_NE(detail->widget(), before) << "not rebuilt";
    EXPECT_EQ(scroll->value(), reading);
}

// What a painter draws as text, run by run, with where each run starts: the order a reader sees.
class TextRuns final : public QPaintDevice {
public:
    explicit TextRuns(QSize size) : size_(size) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    // `words` in the order their first line draws them from left to right; a word not drawn is left out.
    QStringList leftToRight(const QStringList& words) const {
        std::vector<std::pair<qreal, QString>> found;
        qreal top = std::numeric_limits<qreal>::max();
        for (const Run& run : engine_.runs)
            for (const QString& word : words)
                if (run.text.contains(word)) top = std::min(top, run.y);
        for (const QString& word : words)
            for (const Run& run : engine_.runs) {
                const qsizetype at = run.text.indexOf(word);
                if (at < 0 || run.y != top) continue;
                const QFontMetricsF fm(run.font);
                // A right-to-left run's first letter is its rightmost.
                const qreal left = run.rightToLeft ? run.x + fm.horizontalAdvance(run.text) -
                                                         fm.horizontalAdvance(run.text.left(at + word.size()))
                                                   : run.x + fm.horizontalAdvance(run.text.left(at));
                found.emplace_back(left, word);
                break;
            }
        std::sort(found.begin(), found.end());
        QStringList out;
        for (const auto& f : found) out << f.second;
        return out;
    }

    // The drawn lines from the top, each read from left to right (the runs of one baseline).
    QStringList lines() const {
        std::map<int, std::map<qreal, QString>> byLine;
        for (const Run& run : engine_.runs) byLine[qRound(run.y)][run.x] += run.text;
        QStringList out;
        for (const auto& [y, runs] : byLine) {
            QString line;
            for (const auto& [x, text] : runs) line += text;
            out << line;
        }
        return out;
    }
    // The right edge of the rightmost text.
    qreal right() const {
        qreal edge = 0;
        for (const Run& run : engine_.runs) edge = std::max(edge, run.x + QFontMetricsF(run.font).horizontalAdvance(run.text));
        return edge;
    }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth: return size_.width();
            case PdmHeight: return size_.height();
            case PdmDepth: return 32;
            case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 96;
            case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
            default: return 1;
        }
    }

private:
    struct Run {
        QString text;
        qreal x, y;
        bool rightToLeft;
        QFont font;
    };
    class Engine final : public QPaintEngine {
    public:
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        // The whole transform, a child widget's place in the window included.
        void updateState(const QPaintEngineState& state) override {
            if (state.state() & DirtyTransform) transform = state.transform();
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF& at, const QTextItem& item) override {
            const QPointF mapped = transform.map(at);
            runs.push_back({item.text(), mapped.x(), mapped.y(), (item.renderFlags() & QTextItem::RightToLeft) != 0, item.font()});
        }
        Type type() const override { return User; }
        std::vector<Run> runs;
        QTransform transform;
    };
    QSize size_;
    mutable Engine engine_;
};

TEST(StoriesPage, AMixedArabicAndLatinTitleReadsInOneOrderInTheRowAndTheDetail) {
    Stories f;
    // "Document editor", editing "Report Q3 …": the engine titles the story "<app> · <file>". The row
    // has room for it on one line.
    const QString app = QString::fromUtf8("محرر المستندات"), report = QString::fromUtf8("تقرير");
    auto story = growth("Editor", 300 * MiB, 10);
    story.relatedApp->displayName = app.toStdString();
    story.explanation = QString("You opened " + report + " Q3 final_budget_2027.xlsx").toStdString();
    f.add(story);
    f.page->resize(1600, 700);
    f.page->findChild<QSplitter*>("storiesSplit")->setSizes({1000, 600});
    f.tick(true);
    f.state->selectedEventID = story.id;
    f.tick();
    auto* title = f.page->findChild<QLabel*>("detailTitle");
    ASSERT_NE(title, nullptr);
    ASSERT_EQ(withoutMarks(title->text()), app + " \u00B7 " + report + " Q3 final_budget_2027.xlsx");

    TextRuns row(f.list()->viewport()->size());
    {
        QPainter painter(&row);
        f.list()->viewport()->render(&painter);
    }
    TextRuns detail(title->size());
    {
        QPainter painter(&detail);
        title->render(&painter);
    }
    // An English sentence, left to right: the app's name and the file's, each in its own order.
    const QStringList words{app.left(4), report, "Q3", "final_budget"};
    EXPECT_EQ(row.leftToRight(words), words);
    EXPECT_EQ(detail.leftToRight(words), words);
    // A screen reader hears the words alone.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(title)->text(QAccessible::Name),
              app + " \u00B7 " + report + " Q3 final_budget_2027.xlsx");
}

// 90 Chinese characters ("Enterprise document management and collaborative editing platform, …"),
// and one word of 120 letters: either one is wider than the screen in a button.
const QString chineseName = QString::fromUtf8(
    "企业文档管理与协同编辑平台专业版面向大型团队的跨部门知识库与审批流程中心支持离线同步实时预览以及版本历史记录"
    "适用于桌面环境的高效图形界面客户端程序内部测试版本二零二七年第三季度发布");

TEST(StoriesPage, TheQuitBoxKeepsToTheScreenAndElidesTheNameInItsButton) {
    ASSERT_EQ(chineseName.size(), 90);
    for (const QString& name :
         {chineseName, QString("ExtraordinarilyLongApplicationNameSeenOnLinuxDesktopsThroughItsWindowClassAndDesktopEntryTypingPlayground")}) {
        SCOPED_TRACE(name.toStdString());
        int quits = 0;
        StoryDetailPane pane([&](const std::string&, const std::optional<std::string>&, const std::string&) { ++quits; });
        pane.resize(420, 560);
        pane.QWidget::show();
        auto story = growth("Editor", 300 * MiB, 10);
        story.relatedApp->displayName = name.toStdString();
        pane.show(story, std::nullopt, true);
        auto* quit = pane.findChild<QPushButton*>("quitApp");
        ASSERT_NE(quit, nullptr);
        quit->click();
        QMessageBox* box = pane.confirmation();
        ASSERT_NE(box, nullptr);
        QCoreApplication::processEvents();
        ASSERT_TRUE(box->isVisible());
        const QRect screen = box->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(box->frameGeometry()))
            << "box at " << box->frameGeometry().x() << "," << box->frameGeometry().y() << " "
            << box->frameGeometry().width() << "x" << box->frameGeometry().height() << " on a screen of "
            << screen.width() << "x" << screen.height();

        // The name gives way in the button, "Quit" stays; the whole of it is its tooltip and spoken name.
        auto* confirm = box->findChild<QPushButton*>("confirmQuit");
        ASSERT_NE(confirm, nullptr);
        EXPECT_TRUE(confirm->text().startsWith("Quit ") && isElided(confirm->text())) << confirm->text().toStdString();
        EXPECT_LE(confirm->fontMetrics().horizontalAdvance(confirm->text()), confirm->width());
        EXPECT_TRUE(box->rect().contains(QRect(confirm->mapTo(box, QPoint()), confirm->size())));
        EXPECT_EQ(confirm->accessibleName(), "Quit " + name);
        EXPECT_EQ(withoutMarks(confirm->toolTip()), "Quit " + name);

        // The sentences wrap inside the box, whole, breaking no English word: read back line by line
        // from what the box draws.
        TextRuns drawn(box->size());
        {
            QPainter painter(&drawn);
            box->render(&painter);
        }
        const QStringList lines = drawn.lines();
        EXPECT_LE(drawn.right(), box->width()) << lines.join(" | ").toStdString();
        const QString said = withoutMarks(lines.join(' ')).simplified();
        for (const char* sentence : {"This frees the memory in this story right away. Any unsaved work in",
                                     "may prompt you first.", "Cancel"})
            EXPECT_TRUE(said.contains(sentence)) << sentence << " in " << said.toStdString();

        box->findChild<QPushButton*>("confirmQuit")->click();
        QCoreApplication::processEvents();
        EXPECT_EQ(quits, 1);
    }
}

// What is read out of both Quit buttons' tooltips and the Quit box's title is the plain name:
// no direction marks around a right-to-left one.
TEST(StoriesPage, TheQuitTooltipsAndTheBoxTitleHoldThePlainName) {
    const QString name = QString::fromUtf8("\u05DE\u05E2\u05E8\u05DB\u05EA \u05D4\u05DE\u05E1\u05DE\u05DB\u05D9\u05DD "
                                           "\u05D5\u05D4\u05D0\u05E8\u05DB\u05D9\u05D5\u05DF \u05E9\u05DC "
                                           "\u05D4\u05DE\u05E9\u05E8\u05D3 \u05D4\u05E8\u05D0\u05E9\u05D9\u05EA");
    const QString longName = name + " " + name + " " + name;
    StoryDetailPane pane([](const std::string&, const std::optional<std::string>&, const std::string&) {});
    pane.resize(420, 560);
    pane.QWidget::show();
    auto story = growth("Editor", 300 * MiB, 10);
    story.relatedApp->displayName = longName.toStdString();
    pane.show(story, std::nullopt, true);
    QCoreApplication::processEvents();
    auto* quit = pane.findChild<QPushButton*>("quitApp");
    ASSERT_NE(quit, nullptr);
    ASSERT_TRUE(isElided(quit->text())) << quit->text().toStdString();
    EXPECT_EQ(quit->toolTip().toStdString(), ("Quit " + longName).toStdString());
    quit->click();
    QMessageBox* box = pane.confirmation();
    ASSERT_NE(box, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(box->windowTitle().toStdString(), ("Quit " + longName + "?").toStdString());
    auto* confirm = box->findChild<QPushButton*>("confirmQuit");
    ASSERT_NE(confirm, nullptr);
    ASSERT_TRUE(isElided(confirm->text())) << confirm->text().toStdString();
    EXPECT_EQ(confirm->toolTip().toStdString(), ("Quit " + longName).toStdString());
    box->reject();
}

// An "&" in a name is a letter of the name on both Quit buttons, not a keyboard shortcut that
// would hide it and quit on Alt and the next letter.
TEST(StoriesPage, AnAmpersandInTheNameIsShownNotTakenForAShortcut) {
    StoryDetailPane pane([](const std::string&, const std::optional<std::string>&, const std::string&) {});
    pane.resize(420, 560);
    pane.QWidget::show();
    auto story = growth("Editor", 300 * MiB, 10);
    story.relatedApp->displayName = "Q&A Notes";
    pane.show(story, std::nullopt, true);
    auto* quit = pane.findChild<QPushButton*>("quitApp");
    ASSERT_NE(quit, nullptr);
    quit->click();
    ASSERT_NE(pane.confirmation(), nullptr);
    auto* confirm = pane.confirmation()->findChild<QPushButton*>("confirmQuit");
    ASSERT_NE(confirm, nullptr);
    for (const QPushButton* button : {quit, confirm}) {
        EXPECT_EQ(button->text(), "Quit Q&&A Notes");
        EXPECT_TRUE(button->shortcut().isEmpty()) << button->shortcut().toString().toStdString();
        EXPECT_EQ(button->accessibleName(), "Quit Q&A Notes");
    }
    pane.confirmation()->reject();
}

// The app picker lists names alone: each takes its own direction, in the list and in the closed
// picker, and is read aloud and shown as a tooltip without the marks that give it.
TEST(StoriesFilterBar, AppNamesInThePickerTakeTheirOwnDirection) {
    StoriesFilterBar bar;
    bar.resize(420, 90);
    const std::vector<stories::AppOption> options{{"he", hebrewAlone.name.toStdString()},
                                                  {"ar", arabicAlone.name.toStdString()}};
    bar.show(stories::Filters{.appKey = std::string("he")}, options);
    auto* picker = bar.findChild<QComboBox*>("appPicker");
    ASSERT_TRUE(picker);
    ASSERT_EQ(picker->count(), 3);
    for (int i = 1; i < 3; ++i) {
        const AloneName& name = i == 1 ? hebrewAlone : arabicAlone;
        expectInOrder(picker->itemText(i), picker->font(), name.leftToRight);
        EXPECT_EQ(picker->itemData(i, Qt::AccessibleTextRole).toString(), name.name);
        EXPECT_EQ(picker->itemData(i, Qt::ToolTipRole).toString(), name.name);
        EXPECT_EQ(picker->itemData(i).toString(), i == 1 ? "he" : "ar");
    }
    picker->setMaximumWidth(70);  // the closed picker cuts the chosen name at its own end
    bar.grab();
    EXPECT_FALSE(picker->toolTip().contains(QChar(0x2068)));
    EXPECT_EQ(picker->toolTip(), hebrewAlone.name);
}

// A screen reader hears the app chosen in the picker by its plain name, without the marks that
// give a right-to-left one its direction on screen; the picker stays a combo box with its list.
TEST(StoriesFilterBar, TheChosenAppIsSpokenByItsPlainName) {
    StoriesFilterBar bar;
    bar.QWidget::show();
    const std::vector<stories::AppOption> options{{"he", hebrewAlone.name.toStdString()},
                                                  {"ar", arabicAlone.name.toStdString()}};
    bar.show(stories::Filters{}, options);
    auto* picker = bar.findChild<QComboBox*>("appPicker");
    ASSERT_TRUE(picker);
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(picker);
    ASSERT_NE(spoken, nullptr);
    for (const QString& name : {hebrewAlone.name, arabicAlone.name}) {
        const int index = picker->findData(name, Qt::ToolTipRole);
        ASSERT_GT(index, 0);
        picker->setCurrentIndex(index);
        emit picker->activated(index);
        bar.show(bar.filters(), options);  // as the page hands the choice back
        EXPECT_EQ(spoken->text(QAccessible::Name).toStdString(), name.toStdString());
        EXPECT_EQ(spoken->text(QAccessible::Value).toStdString(), name.toStdString());
    }
    // Its action opens the list, which it then holds as its one child, and closes it again.
    EXPECT_EQ(spoken->role(), QAccessible::ComboBox);
    ASSERT_NE(spoken->actionInterface(), nullptr);
    spoken->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    ASSERT_TRUE(picker->view()->isVisible());
    ASSERT_EQ(spoken->childCount(), 1);
    EXPECT_EQ(spoken->child(0)->object(), picker->view());
    spoken->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(picker->view()->isVisible());
}

}  // namespace
}  // namespace velmora
