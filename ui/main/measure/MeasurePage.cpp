// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/measure/MeasurePage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

#include "engine/stories/Phrasing.h"
#include "ui/main/ElidedLabel.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Buttons.h"
#include "ui/style/ConfidenceBadge.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QLabel* label(QWidget* parent, const QFont& font, const QColor& colour, bool wrap = false) {
    // A report names apps and windows: wrapped, a long one breaks over lines rather than widening it.
    auto* l = wrap ? new WrappingLabel(QString(), parent) : new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    return l;
}

void setText(QLabel* l, std::string_view s) {
    const QString text = q(s);
    if (l->text() != text) l->setText(text);
}

// A text that may carry an app's name, as shown: the name isolated, so a right-to-left one keeps
// the words and figures beside it in place; read aloud without the marks.
void setShownText(QLabel* l, const QString& shown) {
    if (l->text() == shown) return;
    l->setText(shown);
    l->setAccessibleName(withoutMarks(shown));
}

// The app's name as the controller and the report put it in their sentences, and as it came.
QStringList appNames(const std::optional<ProcessIdentity>& app) {
    if (!app) return {};
    return {q(friendlyAppName(app->displayName)), q(app->displayName)};
}

// A rounded panel filled (and optionally bordered) in one colour, behind its own layout.
class Panel final : public QWidget {
public:
    Panel(QWidget* parent, std::function<QColor(const QWidget*)> colour, double fill, double border, qreal radius)
        : QWidget(parent), colour_(std::move(colour)), fill_(fill), border_(border), radius_(radius) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor c = colour_(this);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::withAlpha(c, fill_));
        p.drawRoundedRect(QRectF(rect()), radius_, radius_);
        if (border_ <= 0) return;
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette::withAlpha(c, border_), 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_ - 0.5, radius_ - 0.5);
    }

private:
    std::function<QColor(const QWidget*)> colour_;
    double fill_, border_;
    qreal radius_;
};

QColor primary(const QWidget* w) { return palette::primaryText(w); }
QColor accentOf(const QWidget* w) { return palette::accent(w); }

}  // namespace

// A numbered circle, or a green check once its step is done.
class MeasurePage::StepIcon final : public QWidget {
public:
    StepIcon(int number, QWidget* parent) : QWidget(parent), number_(number) { setFixedSize(18, 18); }
    void setDone(bool done) {
        if (done == done_) return;
        done_ = done;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (done_) {
            p.setPen(Qt::NoPen);
            p.setBrush(palette::green());
            p.drawEllipse(r);
            p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(QPolygonF({QPointF(5, 9.5), QPointF(8, 12.5), QPointF(13, 6)}));
            return;
        }
        const QColor secondary = palette::secondaryText(this);
        p.setPen(QPen(secondary, 1.3));
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
        QFont f = roleFont(TextRole::caption2, QFont::DemiBold);
        p.setFont(f);
        p.drawText(rect(), Qt::AlignCenter, QString::number(number_));
    }

private:
    int number_;
    bool done_ = false;
};

MeasurePage::MeasurePage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = scroll_ = new QScrollArea(this);
    scroll->setObjectName("measureScroll");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    outer->addWidget(scroll);

    auto* content = new QWidget(scroll);
    auto* page = new QHBoxLayout(content);
    page->setContentsMargins(28, 28, 28, 28);
    auto* column = new QVBoxLayout;
    column->setSpacing(24);
    auto* holder = new QWidget(content);
    holder->setMaximumWidth(560);
    holder->setLayout(column);
    page->addWidget(holder, 1, Qt::AlignTop);
    page->addStretch(0);
    column->setContentsMargins(0, 0, 0, 0);

    auto* title = label(holder, roleFont(TextRole::largeTitle, QFont::Bold), primary(this));
    title->setText("Check one action");
    column->addWidget(title);
    auto* description = label(holder, roleFont(TextRole::body), palette::secondaryText(this), true);
    description->setText("See how much memory one thing costs.\nExample: open a tab, paste a big file, start a video.");
    column->addWidget(description);

    auto* steps = new Panel(holder, primary, 0.05, 0, 12);
    steps->setObjectName("measureSteps");
    auto* stepRows = new QVBoxLayout(steps);
    stepRows->setContentsMargins(16, 16, 16, 16);
    stepRows->setSpacing(12);
    for (int i = 0; i < 4; ++i) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        stepIcons_[i] = new StepIcon(i + 1, steps);
        stepTitles_[i] = label(steps, roleFont(TextRole::body), primary(this), true);
        stepTitles_[i]->setObjectName(QString("measureStep%1").arg(i + 1));
        row->addWidget(stepIcons_[i], 0, Qt::AlignVCenter);
        row->addWidget(stepTitles_[i], 1);
        stepRows->addLayout(row);
    }
    column->addWidget(steps);

    auto* strip = new Panel(holder, accentOf, 0.12, 0, 8);
    auto* stripRow = new QHBoxLayout(strip);
    stripRow->setContentsMargins(10, 10, 10, 10);
    auto* measuringWord = label(strip, roleFont(TextRole::body), palette::secondaryText(this));
    measuringWord->setText("Measuring");
    // A long name goes on over a second line rather than past the strip's edge; the word stays
    // beside its first line.
    measuring_ = label(strip, roleFont(TextRole::headline), primary(this), true);
    measuring_->setObjectName("measuringLabel");
    measuringWord->setFixedHeight(QFontMetrics(measuring_->font()).height());
    measuringWord->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    stripRow->addWidget(measuringWord, 0, Qt::AlignTop);
    stripRow->addWidget(measuring_, 1);
    column->addWidget(strip);

    auto* statusBlock = new QVBoxLayout;
    statusBlock->setSpacing(8);
    status_ = label(holder, numberFont(roleFont(TextRole::callout)), palette::secondaryText(this), true);
    status_->setObjectName("measureStatus");
    statusBlock->addWidget(status_);
    watchingOff_ = label(holder, roleFont(TextRole::callout, QFont::DemiBold), palette::orange(), true);
    watchingOff_->setObjectName("watchingOff");
    statusBlock->addWidget(watchingOff_);
    auto* tip = label(holder, roleFont(TextRole::caption), palette::tertiaryText(this), true);
    tip->setText("Tip: switch to the app you\u2019re testing (e.g. Chrome) before pressing Done.");
    statusBlock->addWidget(tip);
    column->addLayout(statusBlock);

    auto* figures = new QHBoxLayout;
    figures->setSpacing(12);
    const char* names[] = {"Before", "Highest", "After"};
    for (int i = 0; i < 3; ++i) {
        auto* box = new Panel(holder, primary, 0.06, 0, 10);
        auto* stack = new QVBoxLayout(box);
        stack->setContentsMargins(12, 12, 12, 12);
        stack->setSpacing(4);
        auto* name = label(box, roleFont(TextRole::caption), palette::secondaryText(this));
        name->setText(names[i]);
        figures_[i] = label(box, numberFont(roleFont(TextRole::title3, QFont::Medium)), primary(this));
        figures_[i]->setObjectName(QString("figure%1").arg(names[i]));
        stack->addWidget(name);
        stack->addWidget(figures_[i]);
        box->setAccessibleName(names[i]);
        figures->addWidget(box, 1);
    }
    column->addLayout(figures);

    buttonRow_ = new QWidget(holder);
    auto* buttons = new QHBoxLayout(buttonRow_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(12);
    const MeasureButton kinds[] = {MeasureButton::start, MeasureButton::done, MeasureButton::showResultNow,
                                   MeasureButton::cancel};
    for (MeasureButton kind : kinds) {
        auto* b = new QPushButton(q(measureButtonTitle(kind)), buttonRow_);
        b->setObjectName(QString("measureButton%1").arg(static_cast<int>(kind)));
        if (kind == MeasureButton::cancel) makeDestructive(b);
        else makeProminent(b, kind != MeasureButton::showResultNow);
        buttons_[static_cast<std::size_t>(kind)] = b;
        buttons->addWidget(b);
        // The controller is fetched at the press; the page redraws at once, not at the next sample.
        connect(b, &QPushButton::clicked, this, [this, kind] {
            auto& c = *state_.measureController;
            switch (kind) {
                case MeasureButton::start: c.start(); break;
                case MeasureButton::done: c.done(); break;
                case MeasureButton::showResultNow: c.showResultNow(); break;
                case MeasureButton::cancel: c.cancel(); break;
            }
            state_.announceChange();
        });
    }
    buttons->addStretch(1);
    column->addWidget(buttonRow_);

    result_ = new Panel(holder, accentOf, 0.06, 0.4, 12);
    result_->setObjectName("measureResult");
    auto* card = new QVBoxLayout(result_);
    card->setContentsMargins(16, 16, 16, 16);
    card->setSpacing(12);
    auto* resultTitle = label(result_, roleFont(TextRole::title2, QFont::DemiBold), primary(this));
    resultTitle->setText("Result");
    card->addWidget(resultTitle);
    auto* sure = new QHBoxLayout;
    sure->setSpacing(8);
    badge_ = new ConfidenceBadge(ConfidenceLevel::low, result_);
    badge_->setObjectName("confidenceBadge");
    confidence_ = label(result_, roleFont(TextRole::caption), palette::secondaryText(this), true);
    sure->addWidget(badge_, 0, Qt::AlignVCenter);
    sure->addWidget(confidence_, 1);
    card->addLayout(sure);
    impact_ = label(result_, numberFont(roleFont(TextRole::title3, QFont::Medium)), primary(this), true);
    impact_->setObjectName("impactLine");
    card->addWidget(impact_);
    summary_ = label(result_, roleFont(TextRole::callout), palette::secondaryText(this), true);
    summary_->setObjectName("resultSummary");
    card->addWidget(summary_);
    figuresLine_ = label(result_, numberFont(roleFont(TextRole::caption)), palette::tertiaryText(this), true);
    figuresLine_->setObjectName("figuresLine");
    card->addWidget(figuresLine_);
    save_ = new QPushButton("Save to Stories", result_);
    save_->setObjectName("saveToStories");
    makeProminent(save_, false);
    connect(save_, &QPushButton::clicked, this, [this] { state_.recordMeasurementStory(); });
    auto* saveRow = new QHBoxLayout;
    saveRow->addWidget(save_);
    saveRow->addStretch(1);
    card->addLayout(saveRow);
    column->addWidget(result_);
    column->addSpacing(24);
    column->addStretch(1);
    scroll->setWidget(content);
}

void MeasurePage::refresh() {
    MeasurePageView next = measurePageView(*state_.measureController, state_.sampler->isRunning());
    if (drawn_ && next == view_) return;
    drawn_ = true;
    view_ = std::move(next);
    for (std::size_t i = 0; i < view_.steps.size(); ++i) {
        const auto& step = view_.steps[i];
        stepIcons_[i]->setDone(step.done);
        setText(stepTitles_[i], step.title);
        QFont f = roleFont(TextRole::body, step.done ? QFont::Medium : QFont::Normal);
        if (stepTitles_[i]->font() != f) stepTitles_[i]->setFont(f);
        stepTitles_[i]->setAccessibleName(q(step.accessibleName));
    }
    // The controller's texts name the app it measures.
    const QStringList names = appNames(state_.measureController->session().targetApp);
    setShownText(measuring_, shownSentence(view_.measuringLabel, names));
    setShownText(status_, shownSentence(view_.status, names));
    watchingOff_->setVisible(view_.watchingOffNote.has_value());
    if (view_.watchingOffNote) setText(watchingOff_, *view_.watchingOffNote);
    for (std::size_t i = 0; i < figures_.size(); ++i) setText(figures_[i], view_.figures[i]);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const bool shown = std::find(view_.buttons.begin(), view_.buttons.end(), static_cast<MeasureButton>(i)) !=
                           view_.buttons.end();
        buttons_[i]->setVisible(shown);
    }
    result_->setVisible(view_.result.has_value());
    // A new phase brings its buttons (or the result) into view, even in a short window; within
    // a phase the user's own scrolling is left alone.
    const MeasurePhase phase = state_.measureController->session().phase;
    if (shownPhase_ != phase) {
        const bool first = !shownPhase_;
        shownPhase_ = phase;
        if (!first)
            QTimer::singleShot(0, this, [this] {
                scroll_->ensureWidgetVisible(result_->isVisible() ? static_cast<QWidget*>(save_) : buttonRow_, 0, 24);
            });
    }
    if (!view_.result) return;
    const auto& r = *view_.result;
    badge_->setLevel(r.confidence);
    setText(confidence_, r.confidenceSentence);
    impact_->setVisible(r.impactLine.has_value());
    if (r.impactLine) setText(impact_, *r.impactLine);
    setShownText(summary_, shownSentence(r.summary, appNames(state_.measureController->latestReport()->targetApp)));
    figuresLine_->setVisible(r.figuresLine.has_value());
    if (r.figuresLine) setText(figuresLine_, *r.figuresLine);
}

}  // namespace velmora
