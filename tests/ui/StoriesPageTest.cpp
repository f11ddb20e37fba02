// The Stories page offscreen: the keyed list under idle ticks and a new story, the filters and
// their placeholders, the detail with its Quit behind a confirmation, and the banner's buttons.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "ui/main/stories/NudgeBanner.h"
#include "ui/main/stories/StoriesPage.h"
#include "ui/main/stories/StoryDetailPane.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

namespace velmora {
namespace {

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
    QString label(const char* name) const { return page->findChild<QLabel*>(name)->text(); }
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

    // A selection the filters hide stays in the detail, and the selection is left alone.
    QTest::keyClicks(f.page->findChild<QLineEdit*>("storySearch"), "player");
    EXPECT_EQ(f.list()->model()->rowCount(), 1);
    EXPECT_EQ(f.state->selectedEventID, editor.id);
    EXPECT_EQ(f.label("detailTitle"), "Editor used more memory");
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

}  // namespace
}  // namespace velmora
