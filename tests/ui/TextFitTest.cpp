// Every text the user reads is whole, wrapped, or ends in "…" with the whole text in its tooltip and
// accessible name; nothing is wider than its scroll area. Walks every page of the main window, the
// story detail, and the widget's card, compact card, docked bar and settings, at the smallest and
// the default size, over the longest realistic content.
#include <gtest/gtest.h>

#include "tests/ui/LongContent.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/MainWindow.h"
#include "ui/style/TextReport.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/widget/WidgetSettingsPopover.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QStyleOptionComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTextDocumentFragment>

namespace velmora {
namespace {

const QChar ellipsis(0x2026);

bool elided(const QString& s) { return s.endsWith(ellipsis); }

QString path(const QWidget* w, const QWidget* root) {
    QStringList names;
    for (; w && w != root->parentWidget(); w = w->parentWidget())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_")) names.prepend(w->objectName());
    return names.join('/');
}

// Collects what does not fit in one window, with the text it is about.
class Fit {
public:
    explicit Fit(QWidget* root, QString scene) : root_(root), scene_(std::move(scene)) {}

    // Paints the window (so painted texts report in) and walks its widgets.
    void check() {
        std::vector<PaintedText> painted;
        setPaintedTextListener([&](const PaintedText& t) { painted.push_back(t); });
        (void)root_->grab();
        setPaintedTextListener({});
        for (const PaintedText& t : painted) {
            checkPainted(t);
            painted_ << t.shown;
        }
        for (QWidget* w : root_->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(root_)) continue;
            if (auto* area = qobject_cast<QScrollArea*>(w); area && area->widget() &&
                                                            area->widget()->width() > area->viewport()->width())
                fault(w, QString("content %1 px wide in a %2 px view").arg(area->widget()->width()).arg(area->viewport()->width()));
            if (auto* label = qobject_cast<QLabel*>(w)) checkLabel(label);
            if (auto* button = qobject_cast<QAbstractButton*>(w)) checkButton(button);
            if (auto* chart = qobject_cast<QChartView*>(w)) checkChart(chart);
            if (auto* elidedLabel = qobject_cast<ElidedLabel*>(w)) checkElidedLabel(elidedLabel);
        }
    }
    const QStringList& faults() const { return faults_; }
    // What painting code drew, as reported.
    const QStringList& painted() const { return painted_; }

    // A picker's list grows to its widest item unless the items are cut to its field: then each is
    // as wide as the field, or elided with the whole text as its tooltip.
    void checkPickerItems(QComboBox* c) {
        QStyleOptionComboBox option;
        option.initFrom(c);
        const int room = c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c).width();
        for (int i = 0; i < c->count(); ++i) {
            const QString item = c->itemText(i);
            if (c->fontMetrics().horizontalAdvance(item) > room && !elided(item))
                fault(c, QString("item \u00AB%1\u00BB needs %2 px, has %3").arg(item).arg(c->fontMetrics().horizontalAdvance(item)).arg(room));
            else if (elided(item) && c->itemData(i, Qt::ToolTipRole).toString().size() <= item.size())
                fault(c, QString("item \u00AB%1\u00BB is elided without the whole name as tooltip").arg(item));
        }
    }

private:
    void fault(const QWidget* w, const QString& what) {
        faults_ << QString("%1 [%2] %3").arg(scene_, path(w, root_), what);
    }

    // Whether the span [left, right) of `w` (its own x) shows whole up to the window; rows may
    // leave a scrolling view at its top or bottom.
    bool shows(const QWidget* w, QRect r) const {
        for (const QWidget* p = w; p; p = p->parentWidget()) {
            const bool scrolls = p->parentWidget() && qobject_cast<QAbstractScrollArea*>(p->parentWidget()) &&
                                 static_cast<QAbstractScrollArea*>(p->parentWidget())->viewport() == p;
            if (r.left() < 0 || r.right() > p->width() - 1) return false;
            if (scrolls) {
                // Scrolled out of view is not cut; what shows is what the view lets through.
                r = r.intersected(QRect(r.left(), 0, r.width(), p->height()));
                if (r.isEmpty()) return true;
            } else if (r.top() < -1 || r.bottom() > p->height()) {
                return false;
            }
            if (p == root_ || p->isWindow()) return true;
            r.translate(p->pos());
        }
        return true;
    }

    void checkPainted(const PaintedText& t) {
        const QFontMetricsF fm(t.font);
        const qreal need = fm.horizontalAdvance(t.shown);
        if (need > t.box.width() + 0.5 && !elided(t.shown))
            fault(t.widget, QString("painted \u00AB%1\u00BB needs %2 px, has %3").arg(t.shown).arg(need, 0, 'f', 1).arg(t.box.width(), 0, 'f', 1));
        else if (!shows(t.widget, t.box.toAlignedRect().adjusted(1, 0, -1, 0)))
            fault(t.widget, QString("painted \u00AB%1\u00BB lies outside the window").arg(t.shown));
    }

    void checkLabel(QLabel* l) {
        QString text = l->textFormat() == Qt::PlainText ? l->text() : QTextDocumentFragment::fromHtml(l->text()).toPlainText();
        if (text.trimmed().isEmpty() || !l->pixmap().isNull()) return;
        const QFontMetrics fm(l->font());
        const QRect room = l->contentsRect().adjusted(l->margin(), 0, -l->margin(), 0);
        int widest = 0;
        for (const QString& line : text.split('\n')) {
            if (!l->wordWrap()) {
                widest = std::max(widest, fm.horizontalAdvance(line));
                continue;
            }
            for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
                if (fm.horizontalAdvance(word) > room.width())
                    fault(l, QString("\u00AB%1\u00BB: the word \u00AB%2\u00BB needs %3 px, has %4").arg(text, word).arg(fm.horizontalAdvance(word)).arg(room.width()));
                widest = std::max(widest, std::min(room.width(), fm.horizontalAdvance(line)));
            }
        }
        if (l->wordWrap() && l->heightForWidth(l->width()) > l->height() + 1)
            fault(l, QString("\u00AB%1\u00BB needs %2 px of height, has %3").arg(text).arg(l->heightForWidth(l->width())).arg(l->height()));
        if (!l->wordWrap() && widest > room.width() && !elided(text)) {
            fault(l, QString("\u00AB%1\u00BB needs %2 px, has %3").arg(text).arg(widest).arg(room.width()));
            return;
        }
        const int shown = std::min(widest, room.width());
        const Qt::Alignment h = QStyle::visualAlignment(l->layoutDirection(), l->alignment()) & Qt::AlignHorizontal_Mask;
        const int left = h & Qt::AlignRight ? room.right() + 1 - shown : h & Qt::AlignHCenter ? room.left() + (room.width() - shown) / 2 : room.left();
        if (!shows(l, QRect(left, room.top(), shown, room.height()).adjusted(1, 0, -1, 0)))
            fault(l, QString("\u00AB%1\u00BB lies outside the window").arg(text));
    }

    void checkButton(QAbstractButton* b) {
        if (b->text().isEmpty()) return;
        if (b->sizeHint().width() > b->width() && !elided(b->text()))
            fault(b, QString("button \u00AB%1\u00BB needs %2 px, has %3").arg(b->text()).arg(b->sizeHint().width()).arg(b->width()));
        else if (!shows(b, b->rect().adjusted(1, 0, -1, 0)))
            fault(b, QString("button \u00AB%1\u00BB lies outside the window").arg(b->text()));
    }

    // Day labels sit centred on their bars: the outermost must keep both halves inside the view.
    void checkChart(QChartView* view) {
        QChart* chart = view->chart();
        for (QAbstractAxis* axis : chart->axes(Qt::Horizontal)) {
            auto* days = qobject_cast<QCategoryAxis*>(axis);
            if (!days) continue;
            const QFontMetrics fm(days->labelsFont());
            const QRectF plot = chart->plotArea();
            for (const QString& label : days->categoriesLabels()) {
                const double at = (days->endValue(label) - days->min()) / (days->max() - days->min());
                const QPointF centre = view->mapFromScene(chart->mapToScene(QPointF(plot.left() + at * plot.width(), 0)));
                const double half = fm.horizontalAdvance(label) / 2.0;
                if (centre.x() - half < 0 || centre.x() + half > view->width())
                    fault(view, QString("day label \u00AB%1\u00BB runs past the chart's edge").arg(label));
            }
        }
    }

    void checkElidedLabel(ElidedLabel* l) {
        const QStringList lines = l->lines(l->width());
        if (lines.isEmpty() || !elided(lines.back()) || elided(l->text())) return;
        if (l->toolTip() != l->text() || l->accessibleName() != l->text())
            fault(l, QString("\u00AB%1\u00BB is elided without the whole text as tooltip and name").arg(l->text()));
    }

    QWidget* root_;
    QString scene_;
    QStringList faults_;
    QStringList painted_;
};

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

QString faultList(const QStringList& faults) { return faults.isEmpty() ? QString() : "\n  " + faults.join("\n  "); }

TEST(TextFit, EveryPageOfTheMainWindowAtTheSmallestAndTheDefaultSize) {
    LongContent h;
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.show();
    QStringList faults, painted;
    for (const QSize size : {QSize(900, 560), QSize(1100, 700)}) {
        window.resize(size);
        for (int i = 0; i <= static_cast<int>(SidebarItem::developer); ++i) {
            h.state->selectedSidebar = static_cast<SidebarItem>(i);
            h.state->announceChange();
            settle();
            const QString page = window.findChild<QStackedWidget*>("pages")->currentWidget()->objectName();
            if (h.state->selectedSidebar == SidebarItem::trends)
                for (auto* b : window.findChildren<QAbstractButton*>())
                    if (b->text() == "90 days" && b->isVisible()) b->click();
            settle();
            Fit fit(&window, QString("%1 at %2x%3").arg(page).arg(size.width()).arg(size.height()));
            fit.check();
            faults << fit.faults();
            painted << fit.painted();
        }
    }
    // The rows of Who's heavy reported their badges, so painted texts were held against their boxes.
    EXPECT_TRUE(painted.contains("\u2212999.9 MB") && painted.contains("+99.99 GB")) << painted.join(", ").toStdString();
    // The detail was on screen, with everything the longest story brings.
    ASSERT_NE(window.findChild<QWidget*>("spikeLine"), nullptr);
    EXPECT_TRUE(faults.isEmpty()) << faults.size() << " texts do not fit:" << faultList(faults).toStdString();
}

TEST(TextFit, TheWidgetsCardCompactCardDockedBarAndSettings) {
    LongContent h;
    AppStateAdapter adapter(*h.state, h.scheduler);
    QtWidgetWindowing windowing;
    FloatingWidgetController controller(windowing, h.defaults, h.scheduler);
    windowing.attach(adapter, controller);
    QStringList faults;
    struct Scene {
        const char* name;
        WidgetPlacement placement;
        bool compact;
        QSize size;
    };
    for (const Scene& s : {Scene{"card", WidgetPlacement::floating, false, {300, 318}},
                           Scene{"compact card", WidgetPlacement::floating, true, {230, 130}},
                           Scene{"docked bar", WidgetPlacement::dockedBottom, false, {800, 84}}}) {
        h.preferWidget(s.placement, s.compact);
        controller.show();
        settle();
        QWidget* panel = LongContent::shownWidgetPanel();
        ASSERT_NE(panel, nullptr) << s.name;
        EXPECT_EQ(panel->size(), s.size) << s.name;
        auto* view = panel->findChild<FloatingWidgetView*>();
        Fit fit(panel, s.name);
        fit.check();
        faults << fit.faults();

        view->openSettings();
        settle();
        WidgetSettingsPopover* popover = view->settingsPopover();
        ASSERT_NE(popover, nullptr);
        EXPECT_LE(popover->width(), 280) << s.name;
        Fit settings(popover, QString("settings over the %1").arg(s.name));
        settings.check();
        settings.checkPickerItems(popover->findChild<QComboBox*>("widgetShow"));
        faults << settings.faults();
        popover->hide();
        controller.hide();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.size() << " texts do not fit:" << faultList(faults).toStdString();
}

}  // namespace
}  // namespace velmora
