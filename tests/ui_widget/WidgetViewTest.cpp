// The widget's card, bar and strip over a seeded application state in simulated time, and what
// its settings pop-up does to the panel and the stored preferences.
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/widget/WidgetElements.h"
#include "ui/widget/WidgetSettingsPopover.h"
#include "tests/ui/TextOrder.h"
#include "tests/ui/NamesAlone.h"
#include "ui/style/Elision.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QVariantAnimation>

namespace velmora {
namespace {

const ProcessIdentity browser = appIdentity("family:firefox", "Firefox");

// Whether `ok` holds within a few seconds of events (a resize animation runs on Qt's own clock).
template <class F>
bool eventually(F ok) {
    for (int i = 0; i < 150 && !ok(); ++i) QTest::qWait(20);
    return ok();
}

struct Widget {
    AppHarness h;
    std::unique_ptr<AppStateAdapter> adapter;
    QtWidgetWindowing windowing;
    std::unique_ptr<FloatingWidgetController> controller;

    explicit Widget(FloatingWidgetPreferences prefs = {}) {
        h.make();
        h.desktop.apps = {{100, "firefox", "Firefox", false, true}};
        for (int i = 0; i < 120; ++i) sample(1200, 8000);  // level: no story of its own
        adapter = std::make_unique<AppStateAdapter>(*h.state, h.scheduler);
        controller = std::make_unique<FloatingWidgetController>(windowing, h.defaults, h.scheduler);
        windowing.attach(*adapter, *controller);
        prefs.save(h.defaults);
    }
    ~Widget() {
        if (controller->hasPanel()) controller->hide();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void sample(std::uint64_t browserMiB, std::uint64_t availableMiB) {
        h.clock.advance(1);
        h.processes.processes = {{100, "/usr/lib/firefox/firefox", "firefox", 1, browserMiB * MiB},
                                 {999, "/usr/bin/velmora", "velmora", 1, 60 * MiB}};
        h.memory.reading = {16000 * MiB, availableMiB * MiB, 0, 0, MemoryPressureLevel::normal};
        h.state->sampler->tick();
    }
    void story(double ago, std::int64_t delta) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = h.clock.now() - ago;
        e.kind = delta < 0 ? TimelineEventKind::memoryReleased : TimelineEventKind::largeDelta;
        e.title = "Firefox changed";
        e.relatedApp = browser;
        e.immediate = ImpactWindow{delta, 10, {}, {}};
        h.state->timeline->add(e);
    }
    FloatingWidgetView& open() {
        controller->show();
        QCoreApplication::processEvents();
        return view();
    }
    FloatingWidgetView& view() {
        auto* v = panelWindow()->findChild<FloatingWidgetView*>();
        EXPECT_NE(v, nullptr);
        return *v;
    }
    QWidget* panelWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "VelmoraFloatingWidget" && w->isVisible()) return w;
        ADD_FAILURE() << "no panel";
        return nullptr;
    }
    // The named piece in the layout shown now.
    template <class T = QLabel>
    T* piece(const char* name) {
        const char* page = view().layout() == FloatingWidgetView::Layout::card ? "widgetCard" : "widgetBar";
        auto* p = view().findChild<QWidget*>(page)->findChild<T*>(name);
        EXPECT_NE(p, nullptr) << name;
        return p;
    }
    std::string text(const char* name) {
        QWidget* w = piece<QWidget>(name);
        if (auto* elided = qobject_cast<ElidedLabel*>(w)) return elided->text().toStdString();
        return static_cast<QLabel*>(w)->text().toStdString();
    }
    bool shown(const char* name) { return piece<QWidget>(name)->isVisibleTo(&view()); }
    void redraw() {
        h.state->announceChange();
        QCoreApplication::processEvents();
    }
    FloatingWidgetPreferences stored() const { return FloatingWidgetPreferences::load(h.defaults); }
    // An app named `name` comes to the front.
    void front(const std::string& name) {
        h.desktop.apps = {{200, "documents", name, false, true}};
        h.clock.advance(1);
        h.processes.processes = {{200, "/usr/bin/documents", "documents", 1, 300 * MiB},
                                 {999, "/usr/bin/velmora", "velmora", 1, 60 * MiB}};
        h.state->sampler->tick();
    }
};

TEST(WidgetView, CardShowsTheFrontAppItsTrendSpikeAndSystem) {
    Widget w;
    w.story(90, 200 * std::int64_t(MiB));
    auto& view = w.open();
    EXPECT_EQ(view.layout(), FloatingWidgetView::Layout::card);
    EXPECT_EQ(w.panelWindow()->size(), QSize(300, 318));
    EXPECT_EQ(w.text("widgetAppName"), "Firefox");
    EXPECT_EQ(w.text("widgetFootprint"), "1.17 GB");
    EXPECT_EQ(w.text("widgetTrendTitle"), "TREND \u00B7 LAST 15 MIN");
    EXPECT_TRUE(w.shown("widgetSpike"));
    EXPECT_FALSE(w.shown("widgetNoSpike"));
    EXPECT_EQ(w.piece<QWidget>("widgetSpike")->accessibleName().toStdString(), "+200 MB, 1m ago");
    EXPECT_TRUE(w.shown("widgetSystem"));
    EXPECT_EQ(w.text("widgetSystemLine"), "7.81 GB free of 15.62 GB");
    EXPECT_EQ(w.text("widgetSystemPercent"), "50% free");
    EXPECT_FALSE(w.shown("widgetLowMemory"));
    EXPECT_FALSE(w.shown("widgetMissingApp"));
}

TEST(WidgetView, ItsOwnClockMovesTheTimeAgoAndTheWindow) {
    Widget w({.trendRangeMinutes = 5});
    w.story(30, -80 * std::int64_t(MiB));
    w.open();
    EXPECT_EQ(w.piece<QWidget>("widgetSpike")->accessibleName().toStdString(), "\u221280 MB, just now");
    w.h.scheduler.advance(30);  // the view's one-second tick; nothing else announces a change
    EXPECT_EQ(w.piece<QWidget>("widgetSpike")->accessibleName().toStdString(), "\u221280 MB, 1m ago");
    w.h.scheduler.advance(240);  // exactly at the window's start: still in it
    EXPECT_TRUE(w.shown("widgetSpike"));
    w.h.scheduler.advance(1);  // and out
    EXPECT_FALSE(w.shown("widgetSpike"));
    EXPECT_EQ(w.text("widgetNoSpike"), "No significant spikes in the last 5 min");
}

TEST(WidgetView, CompactCardIsHeaderAndFootprintOnly) {
    Widget w({.isCompact = true});
    w.open();
    EXPECT_EQ(w.panelWindow()->size(), QSize(230, 130));
    EXPECT_EQ(w.text("widgetFootprint"), "1.17 GB");
    EXPECT_EQ(w.piece("widgetFootprint")->font().pixelSize(), 30);
    EXPECT_FALSE(w.shown("widgetTrendTitle"));
    EXPECT_FALSE(w.shown("widgetSystem"));
    EXPECT_FALSE(w.shown("widgetNoSpike"));
}

TEST(WidgetView, PinnedAppThatQuitShowsTheNote) {
    Widget w({.pinnedAppKey = "org.example.Gone"});
    w.open();
    EXPECT_EQ(w.text("widgetAppName"), "Velmora");
    EXPECT_TRUE(w.shown("widgetMissingApp"));
    EXPECT_EQ(w.text("widgetMissingApp"), "Pinned app isn't running");
    EXPECT_FALSE(w.shown("widgetFootprint"));
    EXPECT_EQ(w.view().figures().accent, WidgetTone::dimmed);
}

TEST(WidgetView, CriticalMemoryTurnsRedAndHoldsADockedBarOpen) {
    Widget w({.placement = WidgetPlacement::dockedBottom, .showSystemMemory = false});
    auto& view = w.open();
    EXPECT_EQ(view.layout(), FloatingWidgetView::Layout::strip);
    EXPECT_EQ(w.panelWindow()->height(), 10);
    EXPECT_FALSE(w.controller->isCriticalMemoryOverride());

    w.sample(1200, 800);  // exactly 5 % free
    w.redraw();
    EXPECT_TRUE(view.figures().isCriticalMemory);
    EXPECT_TRUE(w.controller->isCriticalMemoryOverride());
    EXPECT_TRUE(eventually([&] { return view.layout() == FloatingWidgetView::Layout::bar; }));
    EXPECT_TRUE(w.shown("widgetSystem"));  // although system memory is off: it is critical
    EXPECT_EQ(w.text("widgetSystemLabel"), "LOW MEMORY");
    EXPECT_EQ(w.text("widgetSystemLine"), "800 MB free");
    EXPECT_EQ(w.text("widgetSystemPercent"), "of 15.62 GB \u00B7 5%");
    EXPECT_EQ(w.text("widgetCaption"), "Focused app");

    w.sample(1200, 801);
    w.redraw();
    EXPECT_FALSE(w.controller->isCriticalMemoryOverride());
    EXPECT_FALSE(w.shown("widgetSystem"));
    w.h.scheduler.advance(0.5);  // the pointer is outside: the bar collapses again
    EXPECT_TRUE(eventually([&] { return view.layout() == FloatingWidgetView::Layout::strip; }));
}

TEST(WidgetView, SettingsShowTheRowsOfThePlacement) {
    Widget w;
    auto& view = w.open();
    view.openSettings();
    auto* popover = view.settingsPopover();
    ASSERT_TRUE(popover && popover->isVisible());
    EXPECT_TRUE(w.controller->isSettingsOpen());
    EXPECT_TRUE(popover->findChild<QCheckBox*>("widgetCompact")->isVisible());
    EXPECT_FALSE(popover->findChild<QCheckBox*>("widgetAutoCollapse")->isVisible());
    EXPECT_TRUE(popover->findChild<QAbstractButton*>("widgetPlacement0")->isChecked());
    EXPECT_TRUE(popover->findChild<QAbstractButton*>("widgetRange2")->isChecked());
    const auto* show = popover->findChild<QComboBox*>("widgetShow");
    QStringList items;
    for (int i = 0; i < show->count(); ++i) items << show->itemText(i);
    EXPECT_EQ(items, (QStringList{"Focused app", "Firefox", "Velmora (this app)"}));
    popover->hide();
    EXPECT_FALSE(w.controller->isSettingsOpen());
    w.controller->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    Widget docked({.placement = WidgetPlacement::dockedTop});
    docked.open().openSettings();
    popover = docked.view().settingsPopover();
    EXPECT_FALSE(popover->findChild<QCheckBox*>("widgetCompact")->isVisible());
    EXPECT_TRUE(popover->findChild<QCheckBox*>("widgetAutoCollapse")->isVisible());
    EXPECT_TRUE(popover->findChild<QAbstractButton*>("widgetPlacement1")->isChecked());
}

// Each segment's label fits the room inside its border and padding in the bold of a chosen
// segment, whichever placement and range are chosen, and the pop-up keeps its width.
TEST(WidgetView, SettingsSegmentsFitTheirBoldLabels) {
    for (const auto& [placement, range] : {std::pair{WidgetPlacement::floating, 5},
                                           std::pair{WidgetPlacement::dockedTop, 10},
                                           std::pair{WidgetPlacement::dockedBottom, 15}}) {
        Widget w({.placement = placement, .trendRangeMinutes = range});
        w.open().openSettings();
        auto* popover = w.view().settingsPopover();
        ASSERT_TRUE(popover && popover->isVisible());
        EXPECT_LE(popover->width(), 280);
        int chosen = 0;
        for (const QString name : {"widgetPlacement0", "widgetPlacement1", "widgetPlacement2", "widgetRange0",
                                   "widgetRange1", "widgetRange2"}) {
            auto* segment = popover->findChild<QPushButton*>(name);
            ASSERT_NE(segment, nullptr) << name.toStdString();
            QStyleOptionButton option;
            option.initFrom(segment);
            option.text = segment->text();
            option.state |= QStyle::State_On;
            const QRect room = segment->style()->subElementRect(QStyle::SE_PushButtonContents, &option, segment);
            QFont bold = segment->font();
            bold.setWeight(QFont::DemiBold);
            EXPECT_LE(QFontMetrics(bold).horizontalAdvance(segment->text()), room.width())
                << segment->text().toStdString() << " in " << room.width() << " px";
            EXPECT_LE(segment->geometry().right(), popover->contentsRect().right()) << segment->text().toStdString();
            chosen += segment->isChecked();
        }
        EXPECT_EQ(chosen, 2);  // one placement and one range
    }
}

TEST(WidgetView, SettingsWriteTheirFieldAndResizeOrRebuild) {
    Widget w;
    auto& view = w.open();
    QWidget* panel = w.panelWindow();
    panel->move(400, 120);
    QCoreApplication::processEvents();
    const QPoint topLeft = panel->pos();
    view.openSettings();
    auto* popover = view.settingsPopover();

    popover->findChild<QCheckBox*>("widgetSystemMemory")->click();
    EXPECT_FALSE(w.stored().showSystemMemory);
    EXPECT_TRUE(eventually([&] { return panel->size() == QSize(300, 260); }));
    EXPECT_EQ(panel->pos(), topLeft);
    popover->findChild<QCheckBox*>("widgetCompact")->click();
    EXPECT_TRUE(eventually([&] { return panel->size() == QSize(230, 130); }));
    EXPECT_EQ(panel->pos(), topLeft);
    EXPECT_TRUE(view.prefs().isCompact);

    popover->findChild<QAbstractButton*>("widgetRange0")->click();
    EXPECT_EQ(w.stored().trendRangeMinutes, 5);
    auto* show = popover->findChild<QComboBox*>("widgetShow");
    emit show->activated(2);
    EXPECT_EQ(w.stored().pinnedAppKey, popover->showOptions()[2].key);
    EXPECT_TRUE(w.stored().wasVisible);  // opened from closed, and every change kept it

    // "Dock top": the pop-up's own panel goes in a later turn, and a bar comes in its place.
    const WidgetPanel* before = w.controller->panel();
    popover->findChild<QAbstractButton*>("widgetPlacement1")->click();
    EXPECT_EQ(w.controller->panel(), before);
    w.h.scheduler.runPosted();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(w.controller->panel());
    const auto stored = w.stored();
    EXPECT_EQ(stored.placement, WidgetPlacement::dockedTop);
    EXPECT_TRUE(stored.wasVisible);
    EXPECT_EQ(stored.trendRangeMinutes, 5);
    EXPECT_EQ(w.view().layout(), FloatingWidgetView::Layout::strip);
    EXPECT_EQ(w.controller->panel()->frame().width, 800);
}

// "Compact" off and "Show total system memory" on grow the card over 150 ms; the pop-up ends
// beside the grown card, not over it.
TEST(WidgetView, SettingsMoveAsideWhenTheCardGrows) {
    Widget w({.isCompact = true, .showSystemMemory = false});
    auto& view = w.open();
    QWidget* panel = w.panelWindow();
    panel->move(20, 10);
    QCoreApplication::processEvents();
    view.openSettings();
    auto* popover = view.settingsPopover();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_FALSE(popover->geometry().intersects(panel->frameGeometry()));

    popover->findChild<QCheckBox*>("widgetCompact")->click();
    ASSERT_TRUE(eventually([&] { return panel->size() == QSize(300, 260); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover->geometry().intersects(panel->frameGeometry()))
        << "the pop-up covers the card after Compact off";

    popover->findChild<QCheckBox*>("widgetSystemMemory")->click();
    ASSERT_TRUE(eventually([&] { return panel->size() == QSize(300, 318); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(popover->geometry().intersects(panel->frameGeometry()))
        << "the pop-up covers the card after System on";
}

TEST(WidgetView, DockedBarStaysOpenUnderItsSettingsAndUnderThePointerAfterThem) {
    Widget w({.placement = WidgetPlacement::dockedTop});
    auto& view = w.open();
    w.controller->panel()->onHoverChange(true);
    EXPECT_TRUE(eventually([&] { return view.layout() == FloatingWidgetView::Layout::bar; }));
    view.openSettings();
    w.controller->panel()->onHoverChange(false);  // the pop-up took the pointer
    w.h.scheduler.advance(2);
    EXPECT_EQ(view.layout(), FloatingWidgetView::Layout::bar);

    // Closed with the pointer over the bar: it stays; moved away, it collapses.
    QCursor::setPos(w.panelWindow()->frameGeometry().center());
    view.settingsPopover()->hide();
    QCoreApplication::processEvents();  // the panel's own pointer reports come in a later turn
    w.h.scheduler.advance(2);
    EXPECT_EQ(view.layout(), FloatingWidgetView::Layout::bar);
    view.openSettings();
    w.controller->panel()->onHoverChange(false);
    QCursor::setPos(w.panelWindow()->frameGeometry().bottomRight() + QPoint(200, 200));
    view.settingsPopover()->hide();
    QCoreApplication::processEvents();  // the panel's own pointer reports come in a later turn
    w.h.scheduler.advance(0.5);
    EXPECT_TRUE(eventually([&] { return view.layout() == FloatingWidgetView::Layout::strip; }));
}

// A right-to-left name stands alone on the card and the bar: drawn in its own direction, an emoji at
// its end stands on its left, and a name cut just after an emoji has its "…" on the far left, where
// it was cut; it is read aloud and shown in its tooltip as it is.
TEST(WidgetView, RightToLeftNameKeepsItsEmojiAndItsEllipsisOnItsLeft) {
    const QString word = QString::fromUtf8("مستنداتي");  // "My documents"
    const QString folder = QString::fromUtf8("📁");
    const QString dots(QChar(0x2026));
    for (const WidgetPlacement placement : {WidgetPlacement::floating, WidgetPlacement::dockedBottom}) {
        // Whole, then long enough that only the emoji after the word are cut.
        for (const QString& name : {word + " " + folder, word + " " + folder + QString::fromUtf8("🗂📌📊📈🎵📄🏢🎬📎")}) {
            Widget w({.placement = placement, .autoCollapseDock = false});
            w.front(name.toStdString());
            w.open();
            const std::string scene = (placement == WidgetPlacement::floating ? "card, " : "bar, ") + name.toStdString();
            auto* label = w.piece<ElidedLabel>("widgetAppName");
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(withoutMarks(label->text()).toStdString(), name.toStdString()) << scene;
            EXPECT_EQ(label->accessibleName().toStdString(), name.toStdString()) << scene;
            const QStringList lines = label->lines(label->width());
            ASSERT_EQ(lines.size(), 1) << scene;
            const QString& shown = lines[0];
            const bool cut = name.size() > word.size() + 3;
            const auto box = [&](qsizetype at, qsizetype length) {
                return drawnBox(shown, label->font(), label->layoutDirection(), at, length);
            };
            const QRectF letters = box(shown.indexOf(word), word.size()), emoji = box(shown.indexOf(folder), folder.size());
            EXPECT_LE(emoji.right(), letters.left() + 0.5) << scene;
            ASSERT_EQ(shown.contains(dots), cut) << scene;
            if (!cut) continue;
            EXPECT_EQ(label->toolTip().toStdString(), name.toStdString()) << scene;
            const qsizetype at = shown.indexOf(dots);
            ASSERT_GE(at, 2) << scene;
            EXPECT_TRUE(shown[at - 1].isLowSurrogate()) << scene << ": not cut just after an emoji";
            const QRectF mark = box(at, 1);
            const qsizetype from = shown.indexOf(word);  // after the mark that opens the name
            EXPECT_LE(mark.right(), box(from, at - from).left() + 0.5) << scene;
        }
    }
}

// As painted, not as the label's direction would have it: on the card and the bar, a right-to-left
// name shown whole keeps the emoji at its end on its left and its "(" on its right, and starts
// beside the icon as a Latin name does; in the settings' picker each name takes its own direction too.
TEST(WidgetView, ARightToLeftNameIsPaintedInItsOwnDirection) {
    const QString documents = QString::fromUtf8("مستنداتي 📁");  // "My documents"
    // Short enough for the bar's name column.
    const AloneName cases[] = {hebrewAlone, {documents, {QString::fromUtf8("📁"), QString::fromUtf8("مستنداتي")}}};
    for (const WidgetPlacement placement : {WidgetPlacement::floating, WidgetPlacement::dockedBottom}) {
        // The name as shown on the card or the bar, whole and in its order, and its ink as painted there.
        const auto inkAs = [&](const AloneName& name) {
            Widget w({.placement = placement, .autoCollapseDock = false});
            w.front(name.name.toStdString());
            FloatingWidgetView& view = w.open();
            auto* label = w.piece<ElidedLabel>("widgetAppName");
            EXPECT_EQ(withoutMarks(label->text()), name.name);
            const QImage image = view.grab().toImage();
            const QString line = label->lines(label->width()).value(0);
            EXPECT_FALSE(isElided(line));
            expectInOrder(line, label->font(), name.leftToRight);
            return inkOf(image, label, &view);
        };
        const Ink latin = inkAs({"Firefox", {"Firefox"}});
        for (const AloneName& c : cases) {
            SCOPED_TRACE((placement == WidgetPlacement::floating ? "card, " : "bar, ") + c.name.toStdString());
            const Ink ink = inkAs(c);
            EXPECT_NEAR(ink.left, latin.left, 2);
            if (c.name == documents) expectEmojiLeftOfLetters(ink);
        }
    }

    Widget w;
    w.front(arabicAlone.name.toStdString());
    w.open().openSettings();
    auto* show = w.view().settingsPopover()->findChild<QComboBox*>("widgetShow");
    ASSERT_NE(show, nullptr);
    int found = 0;
    for (int i = 0; i < show->count(); ++i)
        if (withoutMarks(show->itemText(i)) == arabicAlone.name) {
            ++found;
            expectInOrder(show->itemText(i), show->font(), arabicAlone.leftToRight);
        }
    EXPECT_EQ(found, 1);
}

TEST(WidgetView, AChangedFootprintRollsOnlyTheCharactersThatChanged) {
    RollingNumber number;
    number.setFont(QFont("DejaVu Sans", 30, QFont::Bold));
    number.resize(200, 50);
    number.setNumber("1.20 GB");
    EXPECT_FALSE(number.rolling()) << "the first figure just appears";
    number.show();
    QCoreApplication::processEvents();
    const QImage before = number.grab().toImage();

    number.setNumber("1.20 GB");
    EXPECT_FALSE(number.rolling()) << "an unchanged figure does not move";
    number.setNumber("1.27 GB");
    ASSERT_TRUE(number.rolling());
    EXPECT_EQ(number.text(), "1.27 GB");  // what is read out changes at once
    auto* roll = number.findChild<QVariantAnimation*>();
    ASSERT_NE(roll, nullptr);
    roll->pause();
    roll->setCurrentTime(roll->duration() / 3);
    const QImage middle = number.grab().toImage();
    roll->resume();
    EXPECT_TRUE(eventually([&] { return !number.rolling(); }));
    const QImage after = number.grab().toImage();

    // "1.2" stands still, the fourth character is between its two figures.
    const QFontMetrics fm(number.font());
    const int still = fm.horizontalAdvance("1.2");
    const int moving = fm.horizontalAdvance("1.20");
    const auto same = [](const QImage& a, const QImage& b, int x0, int x1) {
        for (int y = 0; y < a.height(); ++y)
            for (int x = x0; x < x1; ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) return false;
        return true;
    };
    EXPECT_TRUE(same(before, middle, 0, still - 1));
    EXPECT_TRUE(same(after, middle, 0, still - 1));
    EXPECT_FALSE(same(before, middle, still, moving));
    EXPECT_FALSE(same(after, middle, still, moving));
    EXPECT_FALSE(same(before, after, still, moving));
}

}  // namespace
}  // namespace velmora
