// Pictures of the Stories page over names a left-to-right sentence must hold in place: at 900x560, a
// story row beside its detail about an Arabic-named app editing a file whose title mixes Arabic and
// Latin, a row whose bracketed Hebrew app name is cut short, and the Quit box over an app named in
// 90 Chinese characters, alone and on its screen; at 900x560 and 1100x700, a row whose title wraps
// inside a Persian name.
// Saved under build/artifacts/bidi-*.png for people to look at.
#include <gtest/gtest.h>

// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/stories/StoryDetailPane.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/TextReport.h"
#include "tests/ui_shots/Shots.h"
#include "tests/ui/NamesAlone.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace velmora {
namespace {

QString artifact(const QString& name) { return artifactFile("bidi-" + name); }

// Whether those of `words` that `shown` holds stand left to right in the order given, `shown` laid
// out on one line in `direction` from the glyphs' places.
bool readsInOrder(const QString& shown, const QFont& font, Qt::LayoutDirection direction, const QStringList& words) {
    qreal last = -1;
    for (const QString& word : words) {
        const qsizetype at = shown.indexOf(word);
        if (at < 0) continue;
        const qreal left = drawnBox(shown, font, direction, at, word.size()).left();
        if (left <= last) return false;
        last = left;
    }
    return true;
}

// "Document editor" in Arabic, as a desktop entry's translated name gives it.
const std::string arabicApp = "محرر المستندات";
// 90 Chinese characters ("Enterprise document management and collaborative editing platform, …").
const std::string chineseApp =
    "企业文档管理与协同编辑平台专业版面向大型团队的跨部门知识库与审批流程中心支持离线同步实时预览以及版本历史记录"
    "适用于桌面环境的高效图形界面客户端程序内部测试版本二零二七年第三季度发布";

// Two apps with windows, the first named `name` and in front, and a story about each: the first
// one's, `doing` (by default opening "Report Q3 final_budget_2027.xlsx", its title "<app> · <file>"),
// selected.
struct TwoStories : AppHarness {
    explicit TwoStories(const std::string& name, const std::string& doing = "You opened تقرير Q3 final_budget_2027.xlsx") {
        make();
        addApp(100, "editor", name, 2900 * MiB, true);
        addApp(101, "firefox", "Firefox", 1800 * MiB, false);
        terminator.running.insert(100);
        state->sampler->tick();
        const Date now = clock.now();
        story("Firefox", "You opened a page in Firefox", 180 * std::int64_t(MiB), now - 300);
        state->selectedEventID = story(name, doing, 500 * std::int64_t(MiB), now - 60);
    }

    Uuid story(const std::string& name, const std::string& explanation, std::int64_t delta, Date when) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = when;
        e.kind = TimelineEventKind::largeDelta;
        e.title = name + " used more memory";
        e.explanation = explanation;
        for (const auto& app : state->sampler->appSnapshots())
            if (app.identity.displayName == name) e.relatedApp = app.identity;
        e.baselineFootprintBytes = 2400 * MiB;
        e.immediate = ImpactWindow{delta, 10, 2400 * MiB + static_cast<std::uint64_t>(delta) + 900 * MiB, {}};
        e.settled = ImpactWindow{delta, 60, {}, 2400 * MiB + static_cast<std::uint64_t>(delta)};
        SystemMemorySnapshot context;
        context.totalPhysicalBytes = 16ull << 30;
        context.availableBytes = 3200 * MiB;
        context.pressure = MemoryPressureLevel::warning;
        e.systemContext = context;
        e.primarySource = SensorSource::windowList;
        e.supportingSources = {SensorSource::accessibility};
        state->timeline->add(e);
        return e.id;
    }
};

TEST(StoriesBidiShots, StoryRowBesideItsDetailWithAnArabicAppAndAMixedTitle) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    TwoStories h(arabicApp);
    ShotWindow s(h);
    MainWindow& window = s.window;
    s.turnTo(SidebarItem::timeline);
    auto* title = window.findChild<QLabel*>("detailTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(withoutMarks(title->text()).toStdString(), arabicApp + " \u00B7 تقرير Q3 final_budget_2027.xlsx");
    auto* quit = window.findChild<QPushButton*>("quitApp");
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->accessibleName().toStdString(), "Quit " + arabicApp);
    // The row's title lines (drawn in their own direction) and the detail's (left to right) read
    // the app, then the file: each name in its own order, the sentence left to right.
    const QStringList words{QString::fromStdString(arabicApp).left(4), "\u00B7", QString::fromUtf8("تقرير"), "Q3"};
    QList<PaintedText> rowLines;
    setPaintedTextListener([&](const PaintedText& t) {
        if (!t.wrapped.isEmpty() && withoutMarks(t.wrapped).startsWith(QString::fromStdString(arabicApp))) rowLines << t;
    });
    const QImage shot = window.grab().toImage();
    setPaintedTextListener({});
    ASSERT_FALSE(rowLines.isEmpty());
    for (const PaintedText& line : rowLines)
        EXPECT_TRUE(readsInOrder(line.shown, line.font, Qt::LayoutDirectionAuto, words)) << line.shown.toStdString();
    EXPECT_TRUE(readsInOrder(title->text(), title->font(), Qt::LeftToRight, words)) << title->text().toStdString();
    EXPECT_TRUE(shot.save(artifact("story-row-detail-900x560")));
}

// A Hebrew app name in brackets ("(test) tool"), cut in its row's line: "…" at the name's left.
TEST(StoriesBidiShots, StoryRowWithABracketedHebrewNameCutShort) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    const std::string name = "(\u05D1\u05D3\u05D9\u05E7\u05D4) \u05DB\u05DC\u05D9";
    TwoStories h(name, "You switched to " + name);
    ShotWindow s(h);
    s.turnTo(SidebarItem::timeline);
    const Painted painted = paintedBy(s.window);
    ASSERT_TRUE(std::any_of(painted.texts.begin(), painted.texts.end(), [](const PaintedText& t) { return t.shown.startsWith("You s"); }));
    EXPECT_TRUE(painted.image.save(artifact("story-row-bracketed-hebrew-900x560")));
}

// A Persian app name with a Latin word in it, wrapped in its row's title "<name> · You were in
// “Quarterly plan”", in the smallest and the default window: its second line goes on right to left
// and is cut with "…" at the name's left end.
TEST(StoriesBidiShots, StoryRowWrappingInsideAPersianName) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    TwoStories h(persianWrapped.toStdString(), "You were in \u201CQuarterly plan\u201D");
    ShotWindow s(h);
    for (const QSize size : {QSize(900, 560), QSize(1100, 700)}) {
        const QString at = QString("%1x%2").arg(size.width()).arg(size.height());
        SCOPED_TRACE(at.toStdString());
        s.window.resize(size);
        s.turnTo(SidebarItem::timeline);
        const Painted painted = paintedBy(s.window);
        EXPECT_TRUE(painted.image.save(artifact("story-row-wrapped-persian-" + at)));
        const QWidget* rows = s.window.findChild<QListView*>("storyList")->viewport();
        std::vector<PaintedText> lines;
        for (const PaintedText& t : painted.texts)
            if (t.widget == rows && withoutMarks(t.wrapped).startsWith(persianWrapped)) lines.push_back(t);
        ASSERT_EQ(lines.size(), 2u) << "the row's title does not take two lines";
        expectGoesOnRightToLeft(lines[1].shown, lines[1].font);
    }
}

TEST(StoriesBidiShots, QuitBoxOverAnAppNamedInNinetyChineseCharacters) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    ASSERT_EQ(QString::fromStdString(chineseApp).size(), 90);
    TwoStories h(chineseApp);
    ShotWindow s(h);
    MainWindow& window = s.window;
    s.turnTo(SidebarItem::timeline);
    auto* quit = window.findChild<QPushButton*>("quitApp");
    ASSERT_NE(quit, nullptr);
    EXPECT_TRUE(window.grab().save(artifact("story-detail-chinese-900x560")));
    quit->click();
    QMessageBox* box = window.findChild<StoryDetailPane*>()->confirmation();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    // The window manager frames the box once it has mapped it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->frameGeometry() != box->geometry(); }, 5000)) << "never framed";
    settle();
    const QRect screen = box->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(box->frameGeometry()))
        << box->frameGeometry().width() << "x" << box->frameGeometry().height() << " at " << box->frameGeometry().x()
        << "," << box->frameGeometry().y() << " on " << screen.width() << "x" << screen.height();
    auto* confirm = box->findChild<QPushButton*>("confirmQuit");
    ASSERT_NE(confirm, nullptr);
    EXPECT_TRUE(confirm->text().startsWith("Quit ") && isElided(confirm->text())) << confirm->text().toStdString();
    EXPECT_EQ(confirm->accessibleName().toStdString(), "Quit " + chineseApp);
    EXPECT_TRUE(box->grab().save(artifact("quit-box-chinese")));
    EXPECT_TRUE(box->screen()->grabWindow(0).save(artifact("quit-box-chinese-screen")));
    box->button(QMessageBox::Cancel)->click();
    settle();
}

}  // namespace
}  // namespace velmora
