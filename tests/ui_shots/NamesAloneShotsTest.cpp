// Pictures of right-to-left app names standing alone beside Latin ones, at 900x560: Who's heavy and
// Trends with its repeat offenders in view, Overview with its movers in view, Live Chart's legend and
// the footer's window title, over "(בדיקה) כלי", an Arabic name ending in an emoji and a right-to-left
// name too long for its row; and the floating card, the docked bar and its picker over an Arabic name
// ending in an emoji; the footer's title over two lines and the Developer page's last page. Saved
// under build/artifacts/names-*.png for people to look at.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/ui/SeededHistory.h"
#include "tests/ui_shots/Shots.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/widget/WidgetSettingsPopover.h"
#include "ui/style/Elision.h"
#include "tests/ui/NamesAlone.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>

#include <tuple>

namespace velmora {
namespace {

QString artifact(const QString& name) { return artifactFile("names-" + name); }

// The scroll area `inside` stands in, scrolled to its end; null if there is none.
QScrollArea* scrolledToEnd(QWidget* inside) {
    QScrollArea* scroll = nullptr;
    for (QWidget* w = inside->parentWidget(); w && !scroll; w = w->parentWidget()) scroll = qobject_cast<QScrollArea*>(w);
    if (!scroll) return nullptr;
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    settle();
    return scroll;
}

const std::string hebrew = "(בדיקה) כלי";  // "tool (test)"
const std::string arabic = "متصفح الويب السريع 🚀";  // "the fast web browser"
// "Manager of documents and big files in the main office of the company and its branches in every
// city and village across the whole country", wider than its row.
const std::string longArabic =
    "مدير المستندات والملفات الكبيرة في المكتب الرئيسي للشركة وفروعها في كل المدن والقرى في جميع أنحاء البلاد 📁";

TEST(NamesAloneShots, WhosHeavyAndTrendsBesideLatinNames) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.make();
    seedHistory(h, {{"Firefox", "firefox", 1800 * MiB, 200 * 1024, 40 * MiB}, {hebrew, "tool", 1200 * MiB, -100 * 1024},
                    {longArabic, "documents", 1000 * MiB, 30 * 1024}, {arabic, "browser", 900 * MiB, 50 * 1024, 9 * MiB},
                    {"LibreOffice Writer", "soffice", 700 * MiB, 0}, {"GIMP", "gimp", 200 * MiB, 10 * 1024}},
                120);
    std::int64_t grew = 3200 * std::int64_t(MiB);
    for (const std::string& name : {std::string("Firefox"), hebrew, arabic, std::string("LibreOffice Writer"), longArabic}) {
        h.state->dailyStats->recordStory(name, name, grew, h.clock.now());
        grew -= 600 * std::int64_t(MiB);
    }
    ShotWindow s(h);
    s.turnTo(SidebarItem::apps);
    // The long name is cut in its row: the picture shows where its "…" stands.
    const QString longStart = QString::fromUtf8("مدير");
    const std::vector<PaintedText> painted = paintedBy(s.window).texts;
    EXPECT_TRUE(std::any_of(painted.begin(), painted.end(),
                            [&](const PaintedText& t) { return withoutMarks(t.shown).startsWith(longStart) && isElided(t.shown); }));
    EXPECT_TRUE(s.save(artifact("whos-heavy-900x560")));

    s.turnTo(SidebarItem::trends);
    // Scrolled down to the repeat offenders, every one of them in view.
    ElidedLabel* last = nullptr;
    for (auto* label : s.window.findChildren<ElidedLabel*>())
        if (label->isVisible() && withoutMarks(label->text()) == QString::fromStdString(longArabic)) last = label;
    ASSERT_NE(last, nullptr);
    QScrollArea* scroll = scrolledToEnd(last);
    ASSERT_NE(scroll, nullptr);
    EXPECT_TRUE(scroll->viewport()->rect().contains(last->mapTo(scroll->viewport(), last->rect().bottomRight())));
    EXPECT_TRUE(isElided(last->lines(last->width()).value(0)));
    EXPECT_TRUE(s.save(artifact("trends-900x560")));
}

TEST(NamesAloneShots, OverviewLiveChartFooterAndWidgetBesideLatinNames) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    const std::string documents = "مستنداتي 📁";  // "My documents", in front
    AppHarness h;
    h.make();
    seedHistory(h, {{documents, "documents", 600 * MiB, 300 * 1024}, {"Firefox", "firefox", 1800 * MiB, 600 * 1024, 40 * MiB},
                    {hebrew, "tool", 1200 * MiB, -500 * 1024}, {longArabic, "long", 1000 * MiB, 400 * 1024},
                    {arabic, "browser", 900 * MiB, 700 * 1024, 9 * MiB}, {"GIMP", "gimp", 200 * MiB, 10 * 1024}},
                120);
    ShotWindow s(h);

    // The footer under a title long enough for its two lines, then under a short one with an emoji.
    h.state->sensorLastApp = documents;
    h.state->sensorLastTitle = longArabic;
    s.turnTo(SidebarItem::overview);
    EXPECT_TRUE(s.save(artifact("overview-900x560")));
    ElidedLabel* mover = labelShowing(s.window, QString::fromStdString(longArabic));
    ASSERT_NE(mover, nullptr);
    ASSERT_NE(scrolledToEnd(mover), nullptr);
    EXPECT_TRUE(s.save(artifact("overview-movers-900x560")));

    h.state->sensorLastTitle = arabic;
    s.turnTo(SidebarItem::liveChart);
    ElidedLabel* line = labelShowing(s.window, QString::fromStdString(hebrew));
    ASSERT_NE(line, nullptr);
    ASSERT_NE(scrolledToEnd(line), nullptr);
    EXPECT_TRUE(s.save(artifact("live-chart-900x560")));

    QtWidgetWindowing windowing;
    FloatingWidgetController controller(windowing, h.defaults, h.scheduler);
    windowing.attach(s.adapter, controller);
    for (const auto& [placement, name] :
         {std::pair{WidgetPlacement::floating, "widget-card"}, std::pair{WidgetPlacement::dockedBottom, "widget-docked"}}) {
        QWidget* panel = showWidget(controller, h.defaults, placement);
        ASSERT_NE(panel, nullptr) << name;
        EXPECT_TRUE(panel->grab().save(artifact(name))) << name;
        if (placement == WidgetPlacement::dockedBottom) {
            // Its picker of apps, open.
            auto* view = panel->findChild<FloatingWidgetView*>();
            ASSERT_NE(view, nullptr);
            view->openSettings();
            settle();
            auto* show = view->settingsPopover()->findChild<QComboBox*>("widgetShow");
            ASSERT_NE(show, nullptr);
            show->showPopup();
            settle();
            EXPECT_TRUE(show->view()->window()->grab().save(artifact("widget-picker")));
            show->hidePopup();
            view->settingsPopover()->hide();
        }
        hideWidget(controller);
    }
}

// The footer under a right-to-left title that goes on over its second line, where the name ends:
// "(בדיקה) כלי" and an Arabic name ending in an emoji; then the Developer page, whose last page is
// that Arabic title, and a right-to-left title too long for its value, cut at its left end.
TEST(NamesAloneShots, FooterOverTwoLinesAndTheDevelopersLastPage) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    AppHarness h;
    h.defaults.setValue("Velmora.DeveloperMode", true);
    h.make();
    seedHistory(h, {{"Firefox", "firefox", 1800 * MiB, 200 * 1024}, {arabic, "browser", 900 * MiB, 50 * 1024}}, 120);
    ShotWindow s(h);
    h.state->sensorLastApp = "Files";
    h.state->sensorLastTitle = "Inbox";
    s.turnTo(SidebarItem::overview);
    auto* title = s.window.findChild<ElidedLabel*>("nowTitle");
    ASSERT_NE(title, nullptr);
    const QFontMetrics metrics(title->font());
    // Words of the name's own script fill the first line ("document", "file"), the name the second.
    for (const auto& [name, filler, file] : {std::tuple{hebrew, "מסמך", "footer-hebrew-900x560"},
                                              std::tuple{arabic, "ملف", "footer-arabic-900x560"}}) {
        const QString whole = QString::fromStdString(name);
        h.state->sensorLastTitle = filledBefore(whole, QString::fromUtf8(filler), metrics, title->width()).toStdString();
        s.turnTo(SidebarItem::overview);
        const QStringList lines = title->lines(title->width());
        EXPECT_EQ(lines.size(), 2) << file;
        EXPECT_EQ(withoutMarks(lines.value(1)), whole) << file;
        EXPECT_TRUE(s.save(artifact(file))) << file;
    }

    for (const auto& [name, file] : {std::pair{arabic, "developer-900x560"}, std::pair{longArabic, "developer-cut-900x560"}}) {
        h.state->sensorLastTitle = name;
        s.turnTo(SidebarItem::developer);
        auto* value = s.window.findChild<ElidedLabel*>("status7");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(isElided(value->lines(value->width()).value(0)), name == longArabic) << file;
        EXPECT_TRUE(s.save(artifact(file))) << file;
    }
}

}  // namespace
}  // namespace velmora
