// Every text the user reads is whole, wrapped between words, or ends in "…" with the whole text in
// its tooltip and accessible name; a line is as tall as its font, so the tails of g, p and y show;
// the chosen segment's bolder label fits its segment; a list shows at least one whole row; a chart
// keeps its height inside its card and shows its story dots whole; nothing is wider than its scroll
// area. Walks every page of the main window, the story detail, and the widget's card, compact card,
// docked bar and settings, at the smallest and the default size, over the longest realistic content.
#include <gtest/gtest.h>

#include "tests/ui/LongContent.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/MainWindow.h"
#include "platform/qt/BidiText.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/TextReport.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/QtWidgetPanel.h"
#include "ui/widget/WidgetSettingsPopover.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QStyleOptionComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextDocumentFragment>
#include <QGlyphRun>
#include <QTextLayout>

namespace velmora {
namespace {

const QChar ellipsis(0x2026);

// Ending in "…", with the direction marks and closing isolates that may follow it.
bool elided(QString s) {
    while (s.endsWith(QChar(0x200E)) || s.endsWith(QChar(0x200F)) || s.endsWith(QChar(0x2069))) s.chop(1);
    return s.endsWith(ellipsis);
}

// The viewport of a scrolling view: rows that leave it at the top or bottom are scrolled, not cut.
bool scrolledViewport(const QWidget* w) {
    const auto* area = w->parentWidget() ? qobject_cast<const QAbstractScrollArea*>(w->parentWidget()) : nullptr;
    return area && area->viewport() == w;
}

// The font a checked button's label is drawn in: a style sheet's `:checked` rule may make it bolder
// than the font the button was sized for.
QFont checkedFont(const QAbstractButton* b) {
    static const QRegularExpression rule(R"(:checked\s*\{([^}]*)\})");
    static const QRegularExpression weight(R"(font-weight\s*:\s*(\w+))");
    QFont font = b->font();
    QStringList sheets{qApp->styleSheet()};
    for (const QWidget* w = b; w; w = w->parentWidget()) sheets.prepend(w->styleSheet());
    for (const QString& sheet : sheets) {
        for (auto m = rule.globalMatch(sheet); m.hasNext();) {
            const auto w = weight.match(m.next().captured(1));
            if (!w.hasMatch()) continue;
            const QString value = w.captured(1);
            font.setWeight(value == "bold" ? QFont::Bold : value == "normal" ? QFont::Normal : QFont::Weight(value.toInt()));
            return font;
        }
    }
    return font;
}

QString path(const QWidget* w, const QWidget* root) {
    QStringList names;
    for (; w && w != root->parentWidget(); w = w->parentWidget())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_")) names.prepend(w->objectName());
    return names.join('/');
}

// Whether "…" in `shown`, laid out in `direction`, stands at the cut end: beyond every letter of
// the run it cuts, on their left for a right-to-left run (a Hebrew name), not beside its first word.
bool ellipsisAtCutEnd(const QString& shown, const QFont& font, Qt::LayoutDirection direction) {
    const int dots = static_cast<int>(shown.lastIndexOf(ellipsis));
    if (dots <= 0) return true;
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setTextDirection(direction);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();  // one line, as wide as the text
    layout.endLayout();
    const auto box = [&](int from, int length) {
        QRectF r;
        for (const QGlyphRun& run : layout.glyphRuns(from, length)) r |= run.boundingRect();
        return r;
    };
    // The characters before "…", read by code point: an emoji's halves are no letters.
    struct Character {
        int at, length;
        QChar::Direction direction;
        bool letter;
    };
    std::vector<Character> text;
    for (int i = 0; i < dots;) {
        const bool pair = shown[i].isHighSurrogate() && i + 1 < dots && shown[i + 1].isLowSurrogate();
        const char32_t cp = pair ? QChar::surrogateToUcs4(shown[i], shown[i + 1]) : shown[i].unicode();
        text.push_back({i, pair ? 2 : 1, QChar::direction(cp), QChar::isLetter(cp)});
        i += pair ? 2 : 1;
    }
    const auto rtl = [](const Character& c) { return c.direction == QChar::DirR || c.direction == QChar::DirAL; };
    // The letters of the run that was cut, from its first to its last before "…".
    std::size_t last = text.size() - 1;
    while (last > 0 && !rtl(text[last]) && text[last].direction != QChar::DirL) --last;
    const bool leftward = rtl(text[last]);
    // An isolated name is a run of its own: the run ends where its isolate does.
    const auto bound = [](const Character& c) {
        return c.direction == QChar::DirFSI || c.direction == QChar::DirLRI || c.direction == QChar::DirRLI ||
               c.direction == QChar::DirPDI;
    };
    std::size_t first = last;
    while (first > 0 && !bound(text[first - 1]) &&
           (leftward ? text[first - 1].direction != QChar::DirL : !rtl(text[first - 1])))
        --first;
    while (first < last && !text[first].letter) ++first;
    const QRectF mark = box(dots, 1), run = box(text[first].at, text[last].at + text[last].length - text[first].at);
    return leftward ? mark.right() <= run.left() + 0.5 : mark.left() >= run.right() - 0.5;
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
        paintedTexts_ = std::move(painted);
        for (QWidget* w : root_->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(root_)) continue;
            if (auto* area = qobject_cast<QScrollArea*>(w); area && area->widget() &&
                                                            area->widget()->width() > area->viewport()->width())
                fault(w, QString("content %1 px wide in a %2 px view").arg(area->widget()->width()).arg(area->viewport()->width()));
            if (auto* label = qobject_cast<QLabel*>(w)) checkLabel(label);
            if (auto* button = qobject_cast<QAbstractButton*>(w)) checkButton(button);
            if (auto* chart = qobject_cast<QChartView*>(w)) checkChart(chart);
            if (auto* elidedLabel = qobject_cast<ElidedLabel*>(w)) checkElidedLabel(elidedLabel);
            if (auto* view = qobject_cast<QAbstractItemView*>(w)) checkRows(view);
            if (auto* sparkline = qobject_cast<MarkedSparkline*>(w)) checkSparkline(sparkline);
            if (auto* picker = qobject_cast<QComboBox*>(w); picker && !picker->isEditable()) checkPicker(picker);
            checkEdge(w);
        }
    }
    const QStringList& faults() const { return faults_; }
    // What painting code drew, as reported.
    const QStringList& painted() const { return painted_; }

    // A picker's list grows to its widest item unless the items are cut to its field: then each is
    // as wide as the field, or elided with the whole text as its tooltip.
    void checkPickerItems(QComboBox* c) {
        const int room = fieldWidth(c);
        for (int i = 0; i < c->count(); ++i) {
            const QString item = c->itemText(i);
            if (elided(item)) checkEllipsis(c, item, c->font());
            if (c->fontMetrics().horizontalAdvance(item) > room && !elided(item))
                fault(c, QString("item \u00AB%1\u00BB needs %2 px, has %3").arg(item).arg(c->fontMetrics().horizontalAdvance(item)).arg(room));
            else if (elided(item) && c->itemData(i, Qt::ToolTipRole).toString().size() <= item.size())
                fault(c, QString("item \u00AB%1\u00BB is elided without the whole name as tooltip").arg(item));
        }
    }

    // A picker's field shows its choice whole or ending in "…": the style cuts a long one short
    // without it, so the picker paints it elided itself (and reports it), or holds its items to the
    // field.
    void checkPicker(QComboBox* c) {
        const int room = fieldWidth(c);
        const QString current = c->currentText();
        const int need = c->fontMetrics().horizontalAdvance(current);
        if (need <= room || elided(current)) return;
        for (const PaintedText& t : paintedTexts_)
            if (t.widget == c && elided(t.shown)) return;  // held against its box with the other painted texts
        fault(c, QString("the field shows \u00AB%1\u00BB cut without \u2026: it needs %2 px, has %3").arg(current).arg(need).arg(room));
    }

private:
    static int fieldWidth(QComboBox* c) {
        QStyleOptionComboBox option;
        option.initFrom(c);
        return c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c).width();
    }

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

    // "…" at the cut end, laid out left to right (as a widget's painter does) or in the text's own
    // direction (as Qt's labels and buttons do).
    void checkEllipsis(const QWidget* w, const QString& shown, const QFont& font) {
        if (!ellipsisAtCutEnd(shown, font, Qt::LeftToRight) || !ellipsisAtCutEnd(shown, font, Qt::LayoutDirectionAuto))
            fault(w, QString("\u00AB%1\u00BB has its \u2026 beside its first word, not at its cut end").arg(shown));
    }

    void checkPainted(const PaintedText& t) {
        if (elided(t.shown)) checkEllipsis(t.widget, t.shown, t.font);
        const QFontMetricsF fm(t.font);
        // A line lower than its font cuts the tails of g, p and y ("Long" reads "Lonq").
        const QRectF seen = scrolledViewport(t.widget) ? t.box : t.box.intersected(QRectF(t.widget->rect()));
        const int lineHeight = QFontMetrics(t.font).height();
        if (seen.height() + 0.5 < lineHeight)
            fault(t.widget, QString("painted \u00AB%1\u00BB has %2 px of height, its font needs %3")
                                .arg(t.shown).arg(std::max(0.0, seen.height()), 0, 'f', 1).arg(lineHeight));
        checkBreak(t.widget, t.wrapped, t.lineStart, t.shown, t.font, t.box.width());
        const qreal need = fm.horizontalAdvance(t.shown);
        if (need > t.box.width() + 0.5 && !elided(t.shown))
            fault(t.widget, QString("painted \u00AB%1\u00BB needs %2 px, has %3").arg(t.shown).arg(need, 0, 'f', 1).arg(t.box.width(), 0, 'f', 1));
        else if (!shows(t.widget, t.box.toAlignedRect().adjusted(1, 0, -1, 0)))
            fault(t.widget, QString("painted \u00AB%1\u00BB lies outside the window").arg(t.shown));
    }

    // A wrapped line that starts inside a word that would fit on a line of its own
    // ("Extraordinaril" / "y Long Appli…"). Only a word wider than the whole line (a file name, an
    // address) may go on over the next.
    void checkBreak(const QWidget* w, const QString& whole, int start, const QString& shown, const QFont& font, qreal room) {
        if (whole.isEmpty() || start <= 0 || start >= whole.size()) return;
        if (partsFigureFromUnit(whole, start))
            fault(w, QString("the line «%1» starts with a unit whose figure ends the line before").arg(shown));
        if (whole[start - 1].isSpace() || whole[start].isSpace()) return;
        int from = start, to = start;
        while (from > 0 && !whole[from - 1].isSpace()) --from;
        while (to < whole.size() && !whole[to].isSpace()) ++to;
        const QString word = whole.mid(from, to - from);
        const qreal need = QFontMetricsF(font).horizontalAdvance(word);
        if (need <= room + 0.5)
            fault(w, QString("the line \u00AB%1\u00BB breaks inside the word \u00AB%2\u00BB, which fits a line of "
                             "%3 px")
                         .arg(shown, word)
                         .arg(room, 0, 'f', 1));
    }

    // A text or control (a widget with nothing showing on it) lies whole inside the window.
    void checkEdge(QWidget* w) {
        if (qobject_cast<QScrollBar*>(w) || scrolledViewport(w) || w->size().isEmpty()) return;
        for (const QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisibleTo(root_)) return;
        if (!shows(w, w->rect().adjusted(1, 0, -1, 0)))
            fault(w, QString("%1 lies past the window's edge").arg(w->metaObject()->className()));
    }

    // A line break at `start` of `whole` between a figure and its unit ("399.96" / "GB …").
    static bool partsFigureFromUnit(const QString& whole, int start) {
        static const QRegularExpression unit(QStringLiteral("^\\s*(bytes?|KB|MB|GB|TB)\\b"));
        static const QRegularExpression figure(QStringLiteral("[0-9]\\s*$"));
        return unit.match(whole.mid(start)).hasMatch() && figure.match(whole.left(start)).hasMatch();
    }

    // The breaks a word-wrapped label makes, held to the figures and units they fall between.
    void checkLabelBreaks(QLabel* l, QString text, int width) {
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        QTextLayout layout(text, l->font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (partsFigureFromUnit(text, line.textStart()))
                fault(l, QString("\u00AB%1\u00BB breaks between a figure and its unit at %2 px").arg(text).arg(width));
        }
        layout.endLayout();
    }

    void checkLabel(QLabel* l) {
        QString text = l->textFormat() == Qt::PlainText ? l->text() : QTextDocumentFragment::fromHtml(l->text()).toPlainText();
        if (text.trimmed().isEmpty() || !l->pixmap().isNull()) return;
        const QFontMetrics fm(l->font());
        const QRect room = l->contentsRect().adjusted(l->margin(), 0, -l->margin(), 0);
        if (!l->wordWrap() && room.height() < fm.height())
            fault(l, QString("\u00AB%1\u00BB has %2 px of height, its font needs %3").arg(text).arg(room.height()).arg(fm.height()));
        // A label that breaks a word wider than its line reports the lines it paints: held to those.
        const bool reports = qobject_cast<WrappingLabel*>(l) != nullptr;
        int widest = 0;
        for (const QString& line : text.split('\n')) {
            if (!l->wordWrap()) {
                widest = std::max(widest, fm.horizontalAdvance(line));
                continue;
            }
            for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
                if (fm.horizontalAdvance(word) > room.width() && !reports)
                    fault(l, QString("\u00AB%1\u00BB: the word \u00AB%2\u00BB needs %3 px, has %4").arg(text, word).arg(fm.horizontalAdvance(word)).arg(room.width()));
                widest = std::max(widest, std::min(room.width(), fm.horizontalAdvance(line)));
            }
        }
        if (l->wordWrap() && !reports) checkLabelBreaks(l, text, room.width());
        if (l->wordWrap() && l->heightForWidth(l->width()) > l->height() + 1)
            fault(l, QString("\u00AB%1\u00BB needs %2 px of height, has %3").arg(text).arg(l->heightForWidth(l->width())).arg(l->height()));
        if (elided(text) && !reports) checkEllipsis(l, text, l->font());
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
        if (elided(b->text())) checkEllipsis(b, b->text(), b->font());
        checkSegment(b);
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

    // A segment of a segmented control (exclusive checkable buttons), as it reads when chosen: the
    // chosen label may be bolder than the one the segment was sized for (")ock bottom").
    void checkSegment(QAbstractButton* b) {
        if (!b->isCheckable() || !b->group() || !b->group()->exclusive() || elided(b->text())) return;
        const QFont chosen = checkedFont(b);
        const int extra = QFontMetrics(chosen).horizontalAdvance(b->text()) - b->fontMetrics().horizontalAdvance(b->text());
        const int need = b->sizeHint().width() + std::max(extra, 0);
        if (need > b->width())
            fault(b, QString("segment \u00AB%1\u00BB%2 needs %3 px in its chosen font, has %4")
                         .arg(b->text(), b->isChecked() ? " (chosen)" : "")
                         .arg(need)
                         .arg(b->width()));
    }

    // A list shows at least one whole row, whatever the window's height.
    void checkRows(QAbstractItemView* view) {
        if (!view->model() || view->model()->rowCount(view->rootIndex()) == 0 || view->window() != root_->window()) return;
        const int row = view->sizeHintForRow(0);
        if (view->viewport()->height() < row)
            fault(view, QString("the list has %1 px, one row needs %2").arg(view->viewport()->height()).arg(row));
    }

    // A chart keeps the height it asks for inside its card, and each story dot (8 px round at
    // the tick) shows whole on it.
    void checkSparkline(MarkedSparkline* chart) {
        if (chart->height() < chart->minimumHeight())
            fault(chart, QString("chart squeezed to %1 px of its %2").arg(chart->height()).arg(chart->minimumHeight()));
        if (const QWidget* card = chart->parentWidget(); card && !card->rect().contains(QRect(chart->pos(), chart->size())))
            fault(chart, QString("chart at %1,%2 %3x%4 drawn past its card of %5x%6")
                             .arg(chart->x()).arg(chart->y()).arg(chart->width()).arg(chart->height())
                             .arg(card->width()).arg(card->height()));
        const auto g = chart->geometry();
        const QRectF area(0, 0, chart->width(), chart->height());
        for (const auto& tick : g.ticks) {
            const QRectF dot(tick.x - 4, g.dotY - 4, 8, 8);
            if (!area.contains(dot))
                fault(chart, QString("story dot at x %1 cut by the chart's %2 px width").arg(tick.x, 0, 'f', 1).arg(chart->width()));
        }
    }

    void checkElidedLabel(ElidedLabel* l) {
        const QStringList lines = l->lines(l->width());
        if (lines.isEmpty() || !elided(lines.back()) || elided(l->text())) return;
        // Both are spoken: the whole text, without the marks that isolate its names.
        if (l->toolTip() != withoutMarks(l->text()) || l->accessibleName() != withoutMarks(l->text()))
            fault(l, QString("\u00AB%1\u00BB is elided without the whole text as tooltip and name").arg(l->text()));
    }

    QWidget* root_;
    QString scene_;
    QStringList faults_;
    QStringList painted_;
    std::vector<PaintedText> paintedTexts_;
};

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

QString faultList(const QStringList& faults) { return faults.isEmpty() ? QString() : "\n  " + faults.join("\n  "); }

// Over names of words (a file name in the window title), of one word (a page address there), of
// right-to-left script, whose "…" stands on their left, and of Arabic words each followed by an emoji.
class TextFit : public testing::TestWithParam<LongNames (*)()> {};
INSTANTIATE_TEST_SUITE_P(Names, TextFit, testing::Values(&LongNames::words, &LongNames::oneWord, &LongNames::rightToLeft,
                                                                 &LongNames::arabicWithEmoji));

TEST_P(TextFit, EveryPageOfTheMainWindowAtTheSmallestAndTheDefaultSize) {
    LongContent h(GetParam()());
    AppStateAdapter adapter(*h.state, h.scheduler);
    MainWindow window(adapter);
    window.show();
    QStringList faults, painted;
    int bannersSeen = 0;
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
            // The Developer feed lies below the fold: scrolled to, so that its rows paint.
            if (auto* feed = window.findChild<QWidget*>("sensorFeed"); feed && feed->isVisibleTo(&window))
                for (QWidget* p = feed; p; p = p->parentWidget())
                    if (auto* area = qobject_cast<QScrollArea*>(p)) area->ensureWidgetVisible(feed);
            settle();
            if (auto* banner = window.findChild<QWidget*>("nudgeBanner"); banner && banner->isVisibleTo(&window))
                ++bannersSeen;
            // The stories of the long-named app alone: its name stands in the app picker's field.
            if (auto* apps = window.findChild<QComboBox*>("appPicker"); apps && apps->isVisibleTo(&window) &&
                                                                         apps->currentIndex() == 0) {
                const int index = apps->findData(QString::fromStdString(h.frontName), Qt::ToolTipRole);
                ASSERT_GT(index, 0);
                apps->setCurrentIndex(index);
                emit apps->activated(index);
                settle();
            }
            Fit fit(&window, QString("%1 at %2x%3 (%4)").arg(page).arg(size.width()).arg(size.height()).arg(h.names.kind.c_str()));
            fit.check();
            faults << fit.faults();
            painted << fit.painted();
        }
    }
    // The rows of Who's heavy reported their badges, so painted texts were held against their boxes.
    EXPECT_TRUE(painted.contains("\u22121,023.9 MB") && painted.contains("+99.99 GB")) << painted.join(", ").toStdString();
    // The Developer feed reported the window's title.
    EXPECT_TRUE(std::any_of(painted.begin(), painted.end(), [](const QString& t) { return t.startsWith("titleChanged: "); }));
    // The stories showed under the extension banner, at both sizes.
    EXPECT_EQ(bannersSeen, 2);
    // The detail was on screen, with everything the longest story brings.
    ASSERT_NE(window.findChild<QWidget*>("spikeLine"), nullptr);
    EXPECT_TRUE(faults.isEmpty()) << faults.size() << " texts do not fit:" << faultList(faults).toStdString();
}

TEST_P(TextFit, TheWidgetsCardCompactCardDockedBarAndSettings) {
    LongContent h(GetParam()());
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
        ASSERT_NE(view, nullptr) << s.name;
        Fit fit(panel, QString("%1 (%2)").arg(s.name, h.names.kind.c_str()));
        fit.check();
        faults << fit.faults();

        view->openSettings();
        settle();
        WidgetSettingsPopover* popover = view->settingsPopover();
        ASSERT_NE(popover, nullptr);
        EXPECT_LE(popover->width(), 280) << s.name;
        // Over the docked bar the pop-up reads with "Dock bottom" chosen.
        QAbstractButton* dockBottom = nullptr;
        for (auto* b : popover->findChildren<QAbstractButton*>())
            if (b->text() == "Dock bottom") dockBottom = b;
        ASSERT_NE(dockBottom, nullptr);
        EXPECT_EQ(dockBottom->isChecked(), s.placement == WidgetPlacement::dockedBottom) << s.name;
        Fit settings(popover, QString("settings over the %1 (%2)").arg(s.name, h.names.kind.c_str()));
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
