// The "Check one action" page: its texts byte for byte through a whole run in simulated time,
// the result card, saving a report once, and the widgets offscreen.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/measure/MeasurePage.h"
#include "ui/main/measure/MeasurePageRules.h"
#include "platform/qt/BidiText.h"
#include "ui/style/ConfidenceBadge.h"
#include "tests/ui/TextOrder.h"

#include <QCoreApplication>
#include <QGlyphRun>
#include <QLabel>
#include <QPushButton>
#include <QTextLayout>

namespace velmora {
namespace {

using B = MeasureButton;
const ProcessIdentity editor = appIdentity("org.gnome.TextEditor", "Text Editor");

struct MeasureRun : AppHarness {
    MeasureRun() { make(); }
    MeasureThisActionController& c() { return *state->measureController; }
    // One sample `seconds` after the last, on both clocks.
    void sample(double seconds, std::uint64_t bytes, bool foreground = true, const ProcessIdentity& app = editor) {
        clock.advance(seconds);
        steady.now += seconds;
        state->handleTick({{.identity = app, .footprintBytes = bytes, .isForeground = foreground}},
                          {.availableBytes = 8ull << 30, .totalPhysicalBytes = 16ull << 30, .timestamp = clock.now()});
    }
    MeasurePageView view() { return measurePageView(c(), true); }
};

std::vector<bool> done(const MeasurePageView& v) {
    std::vector<bool> out;
    for (const auto& s : v.steps) out.push_back(s.done);
    return out;
}

TEST(MeasurePage, TextsThroughAWholeRun) {
    MeasureRun r;
    struct Expect {
        const char* phase;
        std::vector<bool> steps;
        std::string label, status;
        std::array<std::string, 3> figures;
        std::vector<B> buttons;
    };
    const auto check = [&](const Expect& e) {
        const MeasurePageView v = r.view();
        EXPECT_EQ(done(v), e.steps) << e.phase;
        EXPECT_EQ(v.measuringLabel, e.label) << e.phase;
        EXPECT_EQ(v.status, e.status) << e.phase;
        EXPECT_EQ(v.figures, e.figures) << e.phase;
        EXPECT_EQ(v.buttons, e.buttons) << e.phase;
        EXPECT_EQ(v.result.has_value(), std::string(e.phase) == "report") << e.phase;
    };
    const std::string dash = "\u2014";
    check({"idle", {false, false, false, false}, dash, "Press Start, do one thing, then press Done.",
           {dash, dash, dash}, {B::start}});
    EXPECT_EQ(r.view().steps[0].accessibleName, "Step 1, Press Start: not done");

    r.c().start();
    check({"baselining", {true, false, false, false}, "All apps", "Getting a baseline of open apps\u2026 hold still.",
           {dash, dash, dash}, {B::cancel}});
    EXPECT_EQ(r.view().steps[0].accessibleName, "Step 1, Press Start: done");
    r.sample(0.4, 300 * MiB);
    check({"baselining", {true, false, false, false}, "Text Editor", "Baseline\u2026 3s (watching Text Editor)",
           {"300 MB", "300 MB", "300 MB"}, {B::cancel}});
    r.sample(1, 300 * MiB);
    r.sample(1, 300 * MiB);
    EXPECT_EQ(r.view().status, "Baseline\u2026 1s (watching Text Editor)");
    r.sample(1, 300 * MiB);
    check({"recording", {true, false, false, false}, "Text Editor",
           "Do your action now in the app you care about, then press Done.", {"300 MB", "300 MB", "300 MB"},
           {B::done, B::cancel}});
    r.sample(1, 350 * MiB);
    check({"recording", {true, false, false, false}, "Text Editor",
           "Watching Text Editor: 350 MB (+50 MB vs start). Press Done when finished.",
           {"300 MB", "350 MB", "300 MB"}, {B::done, B::cancel}});

    r.c().done();
    check({"settling", {true, true, false, false}, "Text Editor",
           "Measuring Text Editor \u2014 waiting up to 1 minute to see what sticks\u2026",
           {"300 MB", "350 MB", "300 MB"}, {B::showResultNow, B::cancel}});
    r.sample(0.5, 340 * MiB);
    check({"settling", {true, true, false, false}, "Text Editor", "Settling Text Editor\u2026 59s (or show result now).",
           {"300 MB", "350 MB", "340 MB"}, {B::showResultNow, B::cancel}});
    r.sample(60, 340 * MiB);
    check({"report", {false, true, true, true}, "Text Editor", "Done \u2014 measured Text Editor.",
           {"300 MB", "350 MB", "340 MB"}, {B::start}});
    const MeasureResultView result = *r.view().result;
    EXPECT_EQ(result.confidence, ConfidenceLevel::high);
    EXPECT_EQ(result.confidenceSentence, "We\u2019re fairly sure this matches what you were doing.");
    EXPECT_EQ(result.impactLine, "Still using about +40 MB more");
    EXPECT_EQ(result.summary, "After that action, Text Editor still used about +40 MB more than before.");
    EXPECT_EQ(result.figuresLine, "Before 300 MB \u2192 peak 350 MB \u2192 after 340 MB");

    r.c().cancel();  // drops the report
    check({"idle", {false, false, false, false}, dash, "Cancelled. Press Start to try again.", {dash, dash, dash},
           {B::start}});
}

TEST(MeasurePage, ResultCards) {
    struct Case {
        const char* name;
        std::optional<std::uint64_t> before, after;  // absent: the app is never in a sample
        std::optional<std::string> impact, figures;
        std::string summary;
    };
    const Case cases[] = {
        {"lighter", 500'000'000, 450'000'000, "Ended about 47.7 MB lighter",
         "Before 476.8 MB \u2192 peak 476.8 MB \u2192 after 429.2 MB",
         "After that action, Text Editor used about 47.7 MB less than before."},
        {"heavier", 450'000'000, 500'000'000, "Still using about +47.7 MB more",
         "Before 429.2 MB \u2192 peak 476.8 MB \u2192 after 476.8 MB",
         "After that action, Text Editor still used about +47.7 MB more than before."},
        {"unchanged", 1000, 1000, "Still using about 0 bytes more", "Before 1,000 bytes \u2192 peak 1,000 bytes \u2192 after 1,000 bytes",
         "After that action, Text Editor still used about 0 bytes more than before."},
        {"no app measured", {}, {}, {}, {}, "No app was measured \u2014 none was in front or grew during that action."},
    };
    for (const auto& c : cases) {
        MeasureRun r;
        r.c().start();
        if (c.before) r.c().handleBaselineSample({{.identity = editor, .footprintBytes = *c.before, .isForeground = true}}, {});
        r.c().done();
        if (c.after) r.c().handleSettlingSample({{.identity = editor, .footprintBytes = *c.after}}, {});
        r.c().showResultNow();
        const auto result = r.view().result;
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->impactLine, c.impact) << c.name;
        EXPECT_EQ(result->figuresLine, c.figures) << c.name;
        EXPECT_EQ(result->summary, c.summary) << c.name;
    }
}

TEST(MeasurePage, SavingFilesOneStoryPerReport) {
    MeasureRun r;
    const auto finish = [&](std::uint64_t after) {
        r.c().start();
        r.sample(0.4, 300 * MiB);
        r.c().done();
        r.sample(0.5, after);
        r.c().showResultNow();
    };
    finish(340 * MiB);
    r.state->recordMeasurementStory();
    ASSERT_EQ(r.state->timeline->events().size(), 1u);
    const Uuid first = r.state->timeline->events().front().id;
    r.state->selectedSidebar = SidebarItem::measure;
    r.state->selectedEventID.reset();
    r.state->recordMeasurementStory();  // pressed again: shows the story filed before
    EXPECT_EQ(r.state->timeline->events().size(), 1u);
    EXPECT_EQ(r.state->selectedSidebar, SidebarItem::timeline);
    EXPECT_EQ(r.state->selectedEventID, first);
    finish(320 * MiB);  // a new report files a new story
    r.state->recordMeasurementStory();
    EXPECT_EQ(r.state->timeline->events().size(), 2u);
    EXPECT_NE(r.state->selectedEventID, first);

    // A run that measured no app files a story without any window of change.
    r.c().start();
    r.c().done();
    r.c().showResultNow();
    r.state->recordMeasurementStory();
    const TimelineEvent& none = r.state->timeline->events().front();
    EXPECT_FALSE(none.settled || none.immediate);
    EXPECT_EQ(none.explanation.substr(0, none.explanation.find('\n')),
              "No app was measured \u2014 none was in front or grew during that action.");
}

TEST(MeasurePage, ClockSetBackGivesNoNegativeDuration) {
    MeasureRun r;
    r.c().start();
    for (int i = 0; i < 4; ++i) r.sample(1, 300 * MiB);
    ASSERT_EQ(r.c().session().phase, MeasurePhase::recording);
    r.clock.advance(-3600);  // the wall clock is set back an hour mid-action
    r.c().done();
    r.sample(0.5, 310 * MiB);
    r.c().showResultNow();
    EXPECT_EQ(r.c().latestReport()->actionDuration, 0.0);
    r.state->recordMeasurementStory();
    EXPECT_EQ(r.state->timeline->events().front().immediate->duration, 0.0);
}

TEST(MeasurePage, WidgetsFollowThePhase) {
    MeasureRun r;
    AppStateAdapter adapter(*r.state, r.scheduler);
    MainWindow window(adapter);
    auto* page = static_cast<MeasurePage*>(window.page(SidebarItem::measure));
    r.state->selectedSidebar = SidebarItem::measure;
    r.state->announceChange();
    QCoreApplication::processEvents();
    window.show();
    const auto button = [&](B kind) { return page->findChild<QPushButton*>(QString("measureButton%1").arg(int(kind))); };
    const auto shown = [&] {
        std::vector<B> out;
        for (B b : {B::start, B::done, B::showResultNow, B::cancel})
            if (button(b)->isVisible()) out.push_back(b);
        return out;
    };
    auto* result = page->findChild<QWidget*>("measureResult");
    EXPECT_EQ(shown(), std::vector<B>{B::start});
    EXPECT_FALSE(result->isVisible());
    EXPECT_EQ(page->findChild<QLabel*>("measuringLabel")->text(), "\u2014");
    EXPECT_EQ(page->findChild<QLabel*>("figureBefore")->text(), "\u2014");

    r.state->sampler->stop();   // memory watching switched off
    button(B::start)->click();  // redrawn at the press
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), std::vector<B>{B::cancel});
    EXPECT_EQ(page->findChild<QLabel*>("measureStep1")->accessibleName(), "Step 1, Press Start: done");
    // The sampler is not running here: the run would wait for ever, and the page says why.
    EXPECT_TRUE(page->findChild<QLabel*>("watchingOff")->isVisible());
    r.state->sampler->start();
    r.sample(0.4, 300 * MiB);
    for (int i = 0; i < 3; ++i) r.sample(1, 300 * MiB);
    QCoreApplication::processEvents();
    EXPECT_FALSE(page->findChild<QLabel*>("watchingOff")->isVisible());
    EXPECT_EQ(shown(), (std::vector<B>{B::done, B::cancel}));
    button(B::done)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), (std::vector<B>{B::showResultNow, B::cancel}));
    EXPECT_EQ(page->findChild<QLabel*>("measureStep3")->accessibleName(), "Step 3, Press Done: not done");
    button(B::showResultNow)->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(result->isVisible());
    EXPECT_EQ(page->findChild<ConfidenceBadge*>("confidenceBadge")->level(), ConfidenceLevel::high);
    auto* save = page->findChild<QPushButton*>("saveToStories");
    save->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(r.state->selectedSidebar, SidebarItem::timeline);
    r.state->selectedSidebar = SidebarItem::measure;
    r.state->announceChange();
    QCoreApplication::processEvents();
    save->click();
    save->click();
    EXPECT_EQ(r.state->timeline->events().size(), 1u);
    r.state->selectedSidebar = SidebarItem::measure;
    r.state->announceChange();
    QCoreApplication::processEvents();
    button(B::cancel)->hide();
    button(B::start)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(result->isVisible());
}

// An Arabic name ending in an emoji, inside the status line while watching and settling and in the
// report's summary: the name keeps its own order (the emoji, last, on its left) and the words and
// figures around it stay where the sentence puts them. Read aloud without the marks.
TEST(MeasurePage, RightToLeftNameKeepsTheWordsAndFiguresBesideItInPlace) {
    const QString letters = QString::fromUtf8("مدير المستندات");
    const QString folder = QString::fromUtf8("📁");
    const ProcessIdentity documents = appIdentity("org.example.Documents", (letters + " " + folder).toStdString());
    MeasureRun r;
    AppStateAdapter adapter(*r.state, r.scheduler);
    MainWindow window(adapter);
    window.resize(900, 560);
    window.show();
    r.state->selectedSidebar = SidebarItem::measure;
    r.state->announceChange();
    QCoreApplication::processEvents();
    auto* status = window.findChild<QLabel*>("measureStatus");
    auto* summary = window.findChild<QLabel*>("resultSummary");
    ASSERT_TRUE(status && summary);
    const auto inOrder = [&](const char* scene, const QLabel* label, const QStringList& parts) {
        const std::vector<qreal> edges = leftEdges(label->text(), label->font(), parts, Qt::LayoutDirectionAuto);
        for (std::size_t i = 1; i < edges.size(); ++i)
            EXPECT_LT(edges[i - 1], edges[i]) << scene << ": " << parts[qsizetype(i)].toStdString() << " in "
                                              << label->text().toStdString();
        EXPECT_EQ(label->accessibleName().toStdString(), withoutMarks(label->text()).toStdString()) << scene;
    };

    r.c().start();
    for (int i = 0; i < 4; ++i) r.sample(1, 1505 * MiB, true, documents);
    r.sample(1, 3000 * MiB, true, documents);
    QCoreApplication::processEvents();
    ASSERT_TRUE(withoutMarks(status->text()).startsWith("Watching " + letters + " " + folder + ": 2.93 GB (+1.46 GB vs start)"));
    inOrder("watching", status, {"Watching", folder, letters, "2.93", "GB", "+1.46"});

    r.c().done();
    r.sample(2, 2800 * MiB, true, documents);
    QCoreApplication::processEvents();
    ASSERT_TRUE(withoutMarks(status->text()).startsWith("Settling " + letters + " " + folder + QString::fromUtf8("… 58s")));
    inOrder("settling", status, {"Settling", folder, letters, "58s"});

    r.c().showResultNow();
    r.state->announceChange();
    QCoreApplication::processEvents();
    ASSERT_EQ(withoutMarks(summary->text()), "After that action, " + letters + " " + folder + " still used about +1.26 GB more than before.");
    inOrder("report", summary, {"After", folder, letters, "still", "+1.26"});
    inOrder("done", status, {"measured", folder, letters});
}

}  // namespace
}  // namespace velmora
