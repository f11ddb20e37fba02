// The overview offscreen: its waiting texts, pooled rows and dividers, and the movers' range.
#include <gtest/gtest.h>

#include "tests/ui/SeededHistory.h"
#include "ui/main/overview/OverviewPage.h"
#include "ui/main/overview/PageParts.h"

#include <QFrame>
#include <QLabel>

#include "ui/main/ElidedLabel.h"

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

}  // namespace
}  // namespace velmora
