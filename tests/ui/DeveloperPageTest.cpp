// The Developer page offscreen: the live feed model's row signals, and what the page shows and does.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/developer/DeveloperPage.h"
#include "ui/main/developer/SensorFeedDelegate.h"
#include "ui/main/developer/SensorFeedModel.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Fonts.h"
#include "ui/style/TextReport.h"
#include "tests/ui/NamesAlone.h"
#include "tests/ui/TextOrder.h"

#include <QAbstractItemModelTester>
#include <QGlyphRun>
#include <QLabel>
#include <QTextLayout>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>

namespace velmora {
namespace {

SensorLogEntry entry(int n) {
    return {Uuid::random(), Date{800000000.0 + n}, SensorSource::workspace, "event " + std::to_string(n), std::nullopt,
            std::nullopt};
}

// What AppState::recordSensorLog does: newest first, at most 300.
void record(std::vector<SensorLogEntry>& log, int n) {
    log.insert(log.begin(), entry(n));
    if (log.size() > 300) log.resize(300);
}

struct Spies {
    explicit Spies(SensorFeedModel& m)
        : inserted(&m, &QAbstractItemModel::rowsInserted), removed(&m, &QAbstractItemModel::rowsRemoved),
          reset(&m, &QAbstractItemModel::modelReset) {}
    void clear() {
        inserted.clear();
        removed.clear();
        reset.clear();
    }
    QSignalSpy inserted, removed, reset;
};

std::pair<int, int> range(const QSignalSpy& spy, int i = 0) {
    return {spy.at(i).at(1).toInt(), spy.at(i).at(2).toInt()};
}

TEST(SensorFeedModel, InsertsAtTheFrontAndDropsPastTheCap) {
    SensorFeedModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Spies spies(model);
    std::vector<SensorLogEntry> log;
    for (int n = 0; n < 3; ++n) record(log, n);
    model.sync(log);
    ASSERT_EQ(spies.inserted.size(), 1);
    EXPECT_EQ(range(spies.inserted), std::make_pair(0, 2));
    EXPECT_EQ(model.index(0).data().toString(), "event 2");

    // Nothing new: no signal at all.
    spies.clear();
    model.sync(log);
    EXPECT_EQ(spies.inserted.size() + spies.removed.size() + spies.reset.size(), 0);

    // Two new entries go in at the front; the old rows keep their order behind them.
    record(log, 3);
    record(log, 4);
    model.sync(log);
    ASSERT_EQ(spies.inserted.size(), 1);
    EXPECT_EQ(range(spies.inserted), std::make_pair(0, 1));
    EXPECT_EQ(model.index(0).data().toString(), "event 4");
    EXPECT_EQ(model.index(4).data().toString(), "event 0");

    for (int n = 5; n < 300; ++n) record(log, n);
    model.sync(log);
    ASSERT_EQ(model.rowCount(), 300);
    // A full log: one entry in at the front, one out at the back, no reset.
    spies.clear();
    record(log, 300);
    model.sync(log);
    ASSERT_EQ(spies.inserted.size(), 1);
    ASSERT_EQ(spies.removed.size(), 1);
    EXPECT_EQ(range(spies.inserted), std::make_pair(0, 0));
    EXPECT_EQ(range(spies.removed), std::make_pair(299, 299));
    EXPECT_EQ(spies.reset.size(), 0);
    EXPECT_EQ(model.rowCount(), 300);
    EXPECT_EQ(model.index(0).data().toString(), "event 300");
    EXPECT_EQ(model.index(299).data().toString(), "event 1");

    // Cleared: every row removed in one go, still no reset.
    spies.clear();
    log.clear();
    model.sync(log);
    ASSERT_EQ(spies.removed.size(), 1);
    EXPECT_EQ(range(spies.removed), std::make_pair(0, 299));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(spies.reset.size(), 0);
}

TEST(SensorFeedModel, AWholeNewLogReplacesEveryRow) {
    SensorFeedModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<SensorLogEntry> log;
    for (int n = 0; n < 10; ++n) record(log, n);
    model.sync(log);
    // More than a whole log arrived between two syncs: the first shown row is gone.
    for (int n = 10; n < 320; ++n) record(log, n);
    Spies spies(model);
    model.sync(log);
    EXPECT_EQ(model.rowCount(), 300);
    EXPECT_EQ(model.index(0).data().toString(), "event 319");
    EXPECT_EQ(model.index(299).data().toString(), "event 20");
    EXPECT_EQ(spies.reset.size(), 0);
}

TEST(SensorFeedModel, OptionalFieldsAreAbsentNotEmpty) {
    SensorFeedModel model;
    auto e = entry(1);
    e.source = SensorSource::chromiumExtension;
    e.appName = "Firefox";
    model.sync({e, entry(0)});
    EXPECT_EQ(model.index(0).data(SensorFeedModel::AppRole).toString(), "Firefox");
    EXPECT_FALSE(model.index(0).data(SensorFeedModel::DetailRole).isValid());
    EXPECT_FALSE(model.index(1).data(SensorFeedModel::AppRole).isValid());
    EXPECT_EQ(model.index(0).data(SensorFeedModel::SourceRole).toInt(), static_cast<int>(SensorSource::chromiumExtension));
}

TEST(SensorFeedDelegate, DetailIsCutToTwoLines) {
    const QFont font;
    const QString url = "https://example.org/search?q=" + QString("memory+growth+in+a+background+tab+").repeated(8);
    const QStringList cut = SensorFeedDelegate::detailLines(url, font, 200);
    ASSERT_EQ(cut.size(), 2);
    EXPECT_TRUE(cut.last().endsWith(QChar(0x2026))) << cut.last().toStdString();
    for (const QString& line : cut) EXPECT_LE(QFontMetrics(font).horizontalAdvance(line), 200);
    EXPECT_EQ(SensorFeedDelegate::detailLines("Firefox", font, 200), QStringList{"Firefox"});

    // Rows with an app and a detail are taller than bare ones, and none is cut off by its hint.
    SensorFeedModel model;
    auto rich = entry(1);
    rich.appName = "Firefox";
    rich.detail = url.toStdString();
    model.sync({rich, entry(0)});
    SensorFeedDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 300, 0);
    const int richHeight = delegate.sizeHint(option, model.index(0)).height();
    const int bareHeight = delegate.sizeHint(option, model.index(1)).height();
    // The app line and two detail lines, each after a 4-pixel gap.
    const int small = QFontMetrics(roleFont(TextRole::caption2, option.font, QFont::Normal)).height();
    EXPECT_EQ(richHeight - bareHeight, 4 + small + 4 + 2 * small);
}

bool shows(const QWidget& page, const char* name) {
    auto* w = page.findChild<QWidget*>(name);
    return w && w->isVisibleTo(&page);
}

TEST(DeveloperPage, StatusErrorsFeedAndButtons) {
    AppHarness h;
    h.make();
    DeveloperPage page(*h.state);
    page.resize(800, 900);
    page.show();
    page.refresh();
    EXPECT_TRUE(shows(page, "feedEmpty"));
    EXPECT_FALSE(shows(page, "sensorFeed"));
    EXPECT_FALSE(shows(page, "bridgeError"));
    EXPECT_EQ(page.findChild<ElidedLabel*>("status3")->text(), "Off");

    h.sensors.bridge = {false, 18765, "Address already in use"};
    page.refresh();
    EXPECT_TRUE(shows(page, "bridgeError")) << "an error shows even with the bridge stopped";
    EXPECT_EQ(page.findChild<QLabel*>("bridgeError")->text(), "Bridge error: Address already in use");
    h.sensors.bridge = {true, 18765, std::nullopt};
    page.refresh();
    EXPECT_EQ(page.findChild<ElidedLabel*>("status3")->text(), "On :18765");
    EXPECT_FALSE(shows(page, "bridgeError"));

    // The test button reads once, then the error it found shows while no title is known.
    h.state->browserScriptingProbe();
    h.sensors.scripting->onPoll = [](FakeTitleSensor& s) { s.reading.error = "Browser scripting is not available"; };
    page.findChild<QPushButton*>("testBrowserRead")->click();
    page.refresh();
    EXPECT_EQ(h.sensors.scripting->polls, 1);
    EXPECT_TRUE(shows(page, "probeError"));
    EXPECT_EQ(page.findChild<QLabel*>("probeError")->text(), "Browser scripting is not available");

    for (int n = 0; n < 5; ++n) h.state->recordSensorLog(entry(n));
    page.refresh();
    EXPECT_FALSE(shows(page, "feedEmpty"));
    EXPECT_TRUE(shows(page, "sensorFeed"));
    EXPECT_EQ(page.feedModel()->rowCount(), 5);
    page.findChild<QPushButton*>("clearFeed")->click();
    EXPECT_TRUE(h.state->sensorLog.empty());
    page.refresh();
    EXPECT_TRUE(shows(page, "feedEmpty"));
    EXPECT_EQ(page.feedModel()->rowCount(), 0);
}

// The last page's title stands alone as its status value: it takes its own direction ("(בדיקה) כלי"
// keeps its "(" on its right, an emoji after Arabic words stands on their left, as painted), starts
// where the other values do, is read aloud as it is, and cut short has its "…" at its left end.
TEST(DeveloperPage, TheLastPagesTitleTakesItsOwnDirection) {
    AppHarness h;
    h.make();
    DeveloperPage page(*h.state);
    showRefreshed(page, 800, 900);
    auto* value = page.findChild<ElidedLabel*>("status7");
    auto* latin = page.findChild<ElidedLabel*>("status3");
    ASSERT_NE(value, nullptr);
    ASSERT_NE(latin, nullptr);
    const int latinLeft = inkOf(page.grab().toImage(), latin, &page).left;
    for (const AloneName& c : {hebrewAlone, arabicAlone}) {
        SCOPED_TRACE(c.name.toStdString());
        h.state->sensorLastTitle = c.name.toStdString();
        page.refresh();
        QCoreApplication::processEvents();
        expectAlone(value, c);
        const Ink ink = inkOf(page.grab().toImage(), value, &page);
        EXPECT_NEAR(ink.left, latinLeft, 2);
        if (c.name == arabicAlone.name) expectEmojiLeftOfLetters(ink);
    }

    QString longTitle = arabicAlone.name;
    while (QFontMetrics(value->font()).horizontalAdvance(longTitle) <= 2 * value->width()) longTitle.prepend(QString::fromUtf8("ملف "));
    h.state->sensorLastTitle = longTitle.toStdString();
    page.refresh();
    QCoreApplication::processEvents();
    expectCutAtItsLeft(value->lines(value->width()).value(0), value->font());
    EXPECT_EQ(value->toolTip(), longTitle);
}

TEST(DeveloperPage, ListsTheTwentyNewestStories) {
    AppHarness h;
    h.make();
    DeveloperPage page(*h.state);
    page.refresh();
    EXPECT_TRUE(page.findChildren<QWidget*>("recentStory").isEmpty());
    for (int n = 0; n < 25; ++n) {
        TimelineEvent story;
        story.id = Uuid::random();
        story.timestamp = Date{800000000.0 + n * 3600};
        story.title = "Story " + std::to_string(n);
        story.kind = TimelineEventKind::pressureChanged;  // never merged into another
        h.state->timeline->add(story);
    }
    page.refresh();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto rows = page.findChildren<QWidget*>("recentStory");
    ASSERT_GE(h.state->timeline->events().size(), 21u);
    ASSERT_EQ(rows.size(), 20);
    EXPECT_EQ(rows.front()->findChild<ElidedLabel*>()->text().toStdString(), h.state->timeline->events().front().title);
    EXPECT_EQ(rows.back()->findChild<ElidedLabel*>()->text().toStdString(), h.state->timeline->events()[19].title);
}

// Behind another page the feed does no work; it catches up when the page comes into view.
TEST(DeveloperPage, FollowsTheFeedOnlyWhileShown) {
    AppHarness h;
    h.defaults.setValue("Velmora.DeveloperMode", true);
    h.make();
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    auto* page = static_cast<DeveloperPage*>(window.page(SidebarItem::developer));
    const auto announce = [&] {
        h.state->announceChange();
        h.scheduler.runPosted();
        QCoreApplication::processEvents();
    };
    h.state->selectedSidebar = SidebarItem::developer;
    announce();
    h.state->recordSensorLog(entry(1));
    announce();
    EXPECT_EQ(page->feedModel()->rowCount(), 1);

    h.state->selectedSidebar = SidebarItem::overview;
    announce();
    QSignalSpy inserted(page->feedModel(), &QAbstractItemModel::rowsInserted);
    for (int n = 2; n < 6; ++n) {
        h.state->recordSensorLog(entry(n));
        announce();
    }
    EXPECT_EQ(inserted.size(), 0);
    EXPECT_EQ(page->feedModel()->rowCount(), 1);

    h.state->selectedSidebar = SidebarItem::developer;
    announce();
    ASSERT_EQ(inserted.size(), 1) << "the four missed entries arrive in one insert";
    EXPECT_EQ(page->feedModel()->rowCount(), 5);
}

// "Document manager" in Arabic, as a desktop entry's translated name gives it.
const std::string arabicName = "\u0645\u062F\u064A\u0631 \u0627\u0644\u0645\u0633\u062A\u0646\u062F\u0627\u062A";

// The texts the feed paints for one entry in a list `width` wide.
std::vector<PaintedText> paintEntry(const SensorLogEntry& e, int width) {
    SensorFeedModel model;
    model.sync({e});
    QListView view;
    view.setFrameShape(QFrame::NoFrame);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setModel(&model);
    view.setItemDelegate(new SensorFeedDelegate(&view));
    view.resize(width, 200);
    view.show();
    std::vector<PaintedText> painted;
    setPaintedTextListener([&](const PaintedText& t) { painted.push_back(t); });
    (void)view.grab();
    setPaintedTextListener({});
    return painted;
}

// The painted text that reads `words` somewhere, marks aside.
PaintedText paintedWith(const std::vector<PaintedText>& painted, const QString& words) {
    for (const PaintedText& t : painted)
        if (withoutMarks(t.shown).contains(words)) return t;
    ADD_FAILURE() << "nothing painted reads " << words.toStdString();
    return {};
}

// A story's title names its app and a figure: a right-to-left name keeps the figure after it, in the
// feed and in the recent stories alike; a window's title keeps its own order after the event's name;
// and a title too long for the feed's line loses letters of the name, never its figure.
TEST(SensorFeedDelegate, NamesInTitlesKeepTheirFiguresInPlaceAndWhole) {
    const QString name = QString::fromStdString(arabicName);
    const QString title = name + QString::fromUtf8(" \u00B7 3 tab/page changes");
    const auto entryFor = [](const std::string& summary, const std::string& app) {
        return SensorLogEntry{Uuid::random(), Date{800000000.0}, SensorSource::browserSession, summary, app, std::nullopt};
    };
    const QString report = QString::fromUtf8("\u062A\u0642\u0631\u064A\u0631");  // "report"
    const struct {
        QString summary;
        QStringList leftToRight;  // as the sentence reads, each name in its own order
    } feedCases[] = {
        {title, {name, "3", "tab/page"}},
        // Read right to left, the window's title says "<report> Q3 budget.xlsx".
        {"titleChanged: " + report + " Q3 budget.xlsx", {"titleChanged:", "Q3", report}},
        {QString::fromUtf8("Tab \u2192 ") + report + " Q3", {"Tab", "Q3", report}},
    };
    for (const auto& c : feedCases) {
        const PaintedText feed = paintedWith(paintEntry(entryFor(c.summary.toStdString(), arabicName), 600), c.leftToRight.back());
        EXPECT_EQ(withoutMarks(feed.shown), c.summary);
        const std::vector<qreal> edges = leftEdges(feed.shown, feed.font, c.leftToRight);
        for (std::size_t i = 1; i < edges.size(); ++i) EXPECT_LT(edges[i - 1], edges[i]) << c.summary.toStdString();
    }

    AppHarness h;
    h.make();
    TimelineEvent story;
    story.id = Uuid::random();
    story.timestamp = Date{800000000.0};
    story.kind = TimelineEventKind::largeDelta;
    story.title = title.toStdString();
    story.relatedApp = ProcessIdentity{};
    story.relatedApp->displayName = arabicName;
    h.state->timeline->add(story);
    DeveloperPage page(*h.state);
    page.refresh();
    const auto rows = page.findChildren<QWidget*>("recentStory");
    ASSERT_EQ(rows.size(), 1);
    auto* shown = rows.front()->findChild<ElidedLabel*>();
    EXPECT_EQ(shown->accessibleName(), title);
    const std::vector<qreal> inStories = leftEdges(shown->lines(2000).value(0), shown->font(), {name, "3", "tab/page"});
    EXPECT_LT(inStories[0], inStories[1]);
    EXPECT_LT(inStories[1], inStories[2]);

    // Too long for the line: the name ends in "…", the figure and the words after it stay whole.
    const std::string longName = "Extraordinarily Long Application Name Seen On Linux Desktops Through Its Window Class";
    for (const std::string& app : {longName, arabicName + " " + arabicName + " " + arabicName}) {
        const PaintedText cut = paintedWith(paintEntry(entryFor(app + " used +500 MB more", app), 260), "used");
        // Read without the marks, and without the one that gives "…" the direction of the letters it cuts.
        const QString plain = withoutMarks(cut.shown).remove(QChar(0x200F));
        EXPECT_TRUE(plain.endsWith(QString::fromUtf8("\u2026 used +500 MB more"))) << plain.toStdString();
        EXPECT_LE(QFontMetrics(cut.font).horizontalAdvance(cut.shown), 260 - 2 * 8);
    }
}

// The app's name stands alone on its line of the feed, so it takes its own direction: a Hebrew name
// keeps its words in order, an emoji after an Arabic name stands on its left, and a right-to-left
// name cut short has its "…" at its left end, where it was cut.
TEST(SensorFeedDelegate, AnAppNameOnItsOwnLineTakesItsOwnDirection) {
    for (const AloneName& c : {hebrewWordsAlone, arabicAlone, AloneName{"Files Viewer", {"Files", "Viewer"}}}) {
        const auto e = SensorLogEntry{Uuid::random(), Date{800000000.0}, SensorSource::workspace, "appActivated",
                                      c.name.toStdString(), std::nullopt};
        const PaintedText line = paintedWith(paintEntry(e, 600), c.leftToRight.back());
        EXPECT_EQ(withoutMarks(line.shown), c.name);
        expectInOrder(line.shown, line.font, c.leftToRight);
    }

    const QString longName = arabicWords + " " + arabicWords + " " + arabicWords + " " + QString::fromUtf8("🚀");
    const auto e = SensorLogEntry{Uuid::random(), Date{800000000.0}, SensorSource::workspace, "appActivated",
                                  longName.toStdString(), std::nullopt};
    const PaintedText cut = paintedWith(paintEntry(e, 220), QString::fromUtf8("متصفح"));
    EXPECT_LE(QFontMetrics(cut.font).horizontalAdvance(cut.shown), 220 - 2 * 8);
    expectCutAtItsLeft(cut.shown, cut.font);
}

// A detail of the feed (a page title, the growth and its sources) wraps onto two lines without
// parting a figure from its unit, at any width.
TEST(SensorFeedDelegate, DetailLinesKeepFiguresWithTheirUnits) {
    const QFont font = roleFont(TextRole::caption2, QFont(), QFont::Normal);
    const struct {
        QString detail, figure;
    } cases[] = {
        {"Downloads: debian-12.iso, 3.7 GB of 4.2 GB, 12 MB a second", "3.7"},
        {QString::fromUtf8("+399.96 GB \u00B7 sources: Window list+Accessibility+Screen capture"), "399.96"},
    };
    for (const auto& c : cases) {
        int parted = 0, wrapped = 0;
        for (int width = 60; width <= 400; ++width) {
            const QStringList lines = SensorFeedDelegate::detailLines(c.detail, font, width);
            wrapped += lines.size() > 1;
            for (qsizetype i = 1; i < lines.size(); ++i)
                if (lines[i - 1].endsWith(c.figure) && withoutMarks(lines[i]).startsWith("GB")) ++parted;
        }
        EXPECT_EQ(parted, 0) << c.detail.toStdString();
        EXPECT_GT(wrapped, 100) << c.detail.toStdString();
    }
}

}  // namespace
}  // namespace velmora
