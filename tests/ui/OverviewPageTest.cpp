// The overview offscreen: its waiting texts, pooled rows and dividers, and the movers' range.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/main/overview/OverviewPage.h"
#include "ui/main/overview/PageParts.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QGlyphRun>
#include <QLabel>
#include <QScrollArea>
#include <QTextLayout>

#include "ui/main/ElidedLabel.h"
#include "platform/qt/BidiText.h"
#include "tests/ui/TextOrder.h"
#include "tests/ui/NamesAlone.h"

namespace velmora {
namespace {

int visibleCount(const QWidget& page, const QString& prefix) {
    int n = 0;
    for (auto* label : page.findChildren<QLabel*>())
        if (label->isVisibleTo(&page) && label->text().startsWith(prefix)) ++n;
    for (auto* label : page.findChildren<ElidedLabel*>())
        if (label->isVisibleTo(&page) && label->text().startsWith(prefix)) ++n;
    return n;
}

int visibleDividers(const QWidget& page) {
    int n = 0;
    for (auto* line : page.findChildren<QFrame*>())
        if (line->frameShape() == QFrame::HLine && line->isVisibleTo(&page)) ++n;
    return n;
}

TEST(OverviewPage, BeforeTheFirstSample) {
    AppHarness h;
    h.make();
    OverviewPage page(*h.state);
    page.refresh();
    EXPECT_EQ(visibleCount(page, QString::fromUtf8("Waiting for the first measurement\u2026")), 1);
    EXPECT_EQ(visibleCount(page, "Nothing moved significantly in the last 30 minutes."), 1);
    EXPECT_EQ(visibleDividers(page), 0);
}

TEST(OverviewPage, RowsDividersAndTheMoversRange) {
    AppHarness h;
    h.make();
    seedHistory(h, sevenApps(), 1900);
    OverviewPage page(*h.state);
    page.resize(900, 560);
    page.refresh();
    EXPECT_EQ(visibleCount(page, QString::fromUtf8("Waiting for the first measurement\u2026")), 0);
    EXPECT_EQ(visibleCount(page, "Browsers"), 1);
    EXPECT_EQ(visibleCount(page, "Thunderbird, LibreOffice Writer, GIMP"), 1);
    EXPECT_EQ(visibleCount(page, "now "), 5);  // the mail app did not move, the small one moved too little
    // Five category rows and six movers: one divider fewer than rows in each list.
    EXPECT_EQ(visibleDividers(page), 4 + 4);
    EXPECT_EQ(visibleCount(page, QString::fromUtf8("\u2212175.7 MB")), 1);
    page.picker()->choose(15);
    EXPECT_EQ(page.moversMinutes(), 15);
    EXPECT_EQ(visibleCount(page, QString::fromUtf8("Apps whose memory changed the most over the last 15 minutes")), 1);
    EXPECT_EQ(visibleCount(page, QString::fromUtf8("\u221287.8 MB")), 1);
}

// 120 characters: three words, then filler with descenders, so cut tails would show.
std::string longName(const std::string& head) {
    std::string name = head;
    while (name.size() < 120) name += " Gauging Typography Playground";
    return name.substr(0, 120);
}

// Three apps of 120-character names in one category: one level, one that grew by 99.99 GB and
// one that fell by 999.9 MB in the last second, as large as those columns get in practice.
struct LongMovers : AppHarness {
    const std::string level = longName("Steady Spreadsheet");
    const std::string soaring = longName("Soaring Polygon Studio");
    const std::string falling = longName("Falling Yearly Planner");

    LongMovers() {
        make();
        for (int t = 0; t <= 600; ++t) {
            const bool moved = t == 600;
            clock.advance(1);
            processes.processes.clear();
            desktop.apps.clear();
            addApp(100, "steady", level, 12 * MiB + 100 * 1024, true);
            addApp(101, "soaring", soaring, 500 * MiB + (moved ? 107'363'582'935ull : 0), false);
            addApp(102, "falling", falling, 1100 * MiB + (moved ? 0 : 1'048'471'142ull), false);
            state->sampler->tick();
        }
    }
};

// The text a widget draws in one line, as it reads on screen.
QString shownLine(QWidget* w) {
    if (auto* elided = qobject_cast<ElidedLabel*>(w)) return elided->lines(elided->width()).value(0);
    return static_cast<QLabel*>(w)->text();
}

TEST(OverviewPage, LongNamesElideAndEveryFigureStaysWhole) {
    for (const QSize size : {QSize(900, 560), QSize(1100, 700)}) {
        SCOPED_TRACE(size.width());
        LongMovers h;
        AppStateAdapter adapter(*h.state, h.scheduler);
        MainWindow window(adapter);
        window.resize(size);
        h.state->selectedSidebar = SidebarItem::overview;
        h.state->announceChange();
        window.show();
        // Each turn settles one more level of nested layouts.
        for (int turn = 0; turn < 10; ++turn) QCoreApplication::processEvents();
        auto* page = window.page(SidebarItem::overview);
        auto* scroll = page->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        QWidget* view = scroll->viewport();
        EXPECT_LE(scroll->widget()->width(), view->width()) << "the page is wider than its view";
        const auto rightEdge = [&](QWidget* w) { return w->mapTo(view, QPoint(w->width(), 0)).x(); };

        // Every figure, title and sentence whole: inside the view, as wide as its text, as tall as a line.
        QStringList figures;
        for (auto* label : page->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(page) || label->text().isEmpty()) continue;
            const QFontMetrics fm(label->font());
            EXPECT_LE(rightEdge(label), view->width()) << label->text().toStdString();
            EXPECT_GE(label->height(), fm.height()) << label->text().toStdString();
            if (!label->wordWrap()) {
                EXPECT_LE(fm.horizontalAdvance(label->text()), label->contentsRect().width()) << label->text().toStdString();
            }
            figures << label->text();
        }
        for (const char* figure : {"+99.99 GB", "\u2212999.9 MB", "now 100.48 GB", "now 1.07 GB", "100%"})
            EXPECT_TRUE(figures.contains(QString::fromUtf8(figure))) << figure;
        for (auto* button : page->findChildren<QAbstractButton*>())
            if (button->isVisibleTo(page)) {
                EXPECT_LE(rightEdge(button), view->width()) << button->text().toStdString();
            }

        // The names: one line each, cut with an ellipsis, whole in the tooltip and for screen readers.
        const QString members = QString::fromStdString(h.soaring + ", " + h.falling + ", " + h.level);
        int names = 0;
        for (QWidget* w : page->findChildren<QWidget*>()) {
            const QString text = qobject_cast<ElidedLabel*>(w) ? static_cast<ElidedLabel*>(w)->text()
                                 : qobject_cast<QLabel*>(w)  ? static_cast<QLabel*>(w)->text()
                                                             : QString();
            const bool mover = text == QString::fromStdString(h.soaring) || text == QString::fromStdString(h.falling);
            if (!w->isVisibleTo(page) || (!mover && text != members)) continue;
            ++names;
            const QFontMetrics fm(w->font());
            EXPECT_TRUE(shownLine(w).endsWith(QChar(0x2026))) << shownLine(w).toStdString();
            EXPECT_LE(fm.horizontalAdvance(shownLine(w)), w->width());
            EXPECT_LE(rightEdge(w), view->width());
            EXPECT_GE(w->height(), fm.height()) << "the tails of g, p and y are cut";
            EXPECT_EQ(w->toolTip(), text);
            EXPECT_EQ(w->accessibleName(), text);
        }
        EXPECT_EQ(names, 3);  // two movers (the level app did not move) and the category's members
    }
}

// A category's members name right-to-left apps: each name stays whole and in its place in the list,
// and the list is spoken without marks.
TEST(OverviewPage, CategoryMembersKeepTheirOrderWhateverTheirScript) {
    const struct {
        const char* kind;
        std::string first, second;
    } cases[] = {
        {"Arabic", "\u0645\u062F\u064A\u0631 \u0627\u0644\u0645\u0633\u062A\u0646\u062F\u0627\u062A", "\u0645\u062D\u0631\u0631 2"},
        {"Hebrew", "\u05D3\u05D5\u05D0\u05E8", "\u05DE\u05E1\u05DE\u05DB\u05D9\u05DD"},
        {"Latin", "Thunderbird", "LibreOffice Writer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        AppHarness h;
        h.make();
        seedHistory(h, {{c.first, "thunderbird", 700 * MiB, 0}, {c.second, "soffice", 500 * MiB, 0}, {"GIMP", "gimp", 200 * MiB, 0}}, 3);
        OverviewPage page(*h.state);
        page.resize(900, 560);
        page.refresh();
        const QString plain = QString::fromStdString(c.first + ", " + c.second + ", GIMP");
        ElidedLabel* members = nullptr;
        for (auto* label : page.findChildren<ElidedLabel*>())
            if (withoutMarks(label->text()) == plain) members = label;
        ASSERT_NE(members, nullptr);
        EXPECT_EQ(members->accessibleName(), plain);
        const QString shown = members->lines(2000).value(0);
        const std::vector<qreal> edges =
            leftEdges(shown, members->font(), {QString::fromStdString(c.first), QString::fromStdString(c.second), "GIMP"});
        for (std::size_t i = 1; i < edges.size(); ++i) EXPECT_LT(edges[i - 1], edges[i]) << shown.toStdString();
    }
}

// A category's members too many and too long for their line are cut there and whole in the
// tooltip, which is read aloud too: the plain names, without the marks that keep each in its order.
TEST(OverviewPage, CategoryMembersTooltipHoldsEveryNameWithoutMarks) {
    // "Manager of documents and big files in the main office"
    const std::string arabic = "مدير المستندات والملفات الكبيرة في المكتب الرئيسي";
    const std::string hebrew = "(בדיקה) כלי לעריכת מסמכים ארוכים";  // "tool for editing long documents (test)"
    const std::string third = "محرر الصور والرسوم المتحركة 2 GB 🚀";  // "Editor of pictures and cartoons"
    AppHarness h;
    h.make();
    seedHistory(h, {{arabic, "thunderbird", 700 * MiB, 0}, {hebrew, "soffice", 500 * MiB, 0}, {third, "gimp", 200 * MiB, 0}}, 3);
    OverviewPage page(*h.state);
    showRefreshed(page, 900, 560);
    const QString plain = QString::fromStdString(arabic + ", " + hebrew + ", " + third);
    ElidedLabel* members = nullptr;
    for (auto* label : page.findChildren<ElidedLabel*>())
        if (withoutMarks(label->text()) == plain) members = label;
    ASSERT_NE(members, nullptr);
    expectCutWithAPlainTooltip(members, plain);
}

// A mover's name stands alone in its row: a right-to-left one takes its own direction ("(בדיקה) כלי"
// keeps its "(" on its right, an emoji after an Arabic name stands on its left, as painted) yet
// starts where a Latin one does, and is read aloud as it is.
TEST(OverviewPage, AMoversNameTakesItsOwnDirectionInItsColumn) {
    AppHarness h;
    h.make();
    seedHistory(h, {{"Firefox", "firefox", 900 * MiB, MiB}, {hebrewAlone.name.toStdString(), "tool", 800 * MiB, MiB},
                    {arabicAlone.name.toStdString(), "browser", 700 * MiB, -std::int64_t(MiB)}}, 60);
    OverviewPage page(*h.state);
    showRefreshed(page, 900, 1100);  // every mover in view
    // The mover's name: the one above its "now" figure (a category's members may read the same).
    expectAloneInTheColumnOf(page, "Firefox", [&](const QString& name) -> ElidedLabel* {
        for (auto* label : page.findChildren<ElidedLabel*>()) {
            if (!label->isVisibleTo(&page) || withoutMarks(label->text()) != name) continue;
            for (auto* beside : label->parentWidget()->findChildren<QLabel*>())
                if (beside->text().startsWith("now ")) return label;
        }
        ADD_FAILURE() << "no mover named " << name.toStdString();
        return nullptr;
    });
}

}  // namespace
}  // namespace velmora
