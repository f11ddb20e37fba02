#include "ui/main/stories/StoryDetailPane.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <utility>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include "ui/main/ElidedLabel.h"
#include "ui/main/stories/StoriesLogic.h"
#include "ui/main/stories/StoryListModel.h"
#include "ui/main/stories/StoryRowDelegate.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/style/SourceBadge.h"
#include "ui/style/Symbols.h"

namespace velmora {

namespace {

// A wrapped text: a file name or an address wider than the column breaks over lines instead of
// widening the pane past its view. `s` as shown; a screen reader hears it without its marks.
QLabel* text(const QString& s, QWidget* parent, const QFont& font, const QColor& colour, const char* name = nullptr) {
    auto* label = new WrappingLabel(s, parent);
    if (const QString plain = withoutMarks(s); plain != s) label->setAccessibleName(plain);
    label->setFont(font);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    if (name) label->setObjectName(name);
    return label;
}

// A rounded card filled with a tone at low opacity.
class Card final : public QWidget {
public:
    Card(QColor fill, QWidget* parent) : QWidget(parent), fill_(fill) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::withAlpha(fill_, 0.12));
        p.drawRoundedRect(QRectF(rect()), 12, 12);
    }

private:
    QColor fill_;
};

// The big amount: at its full size when the column has room, else scaled down until it fits, since
// a figure is never cut or elided.
class FittedAmount final : public QLabel {
public:
    FittedAmount(const QString& text, const QFont& full, QWidget* parent) : QLabel(text, parent), full_(full) {
        setTextFormat(Qt::PlainText);
        setFont(full);
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(full_);
        return {fm.horizontalAdvance(text()), fm.height()};
    }
    QSize minimumSizeHint() const override { return {0, QFontMetrics(full_).height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        QFont f = full_;
        int pixels = full_.pixelSize();
        while (pixels > 12 && QFontMetrics(f).horizontalAdvance(text()) > contentsRect().width()) f.setPixelSize(--pixels);
        if (f != font()) setFont(f);
    }

private:
    QFont full_;
};

// The source badges in rows as wide as the column, wrapping onto more rows when they do not fit.
class BadgeFlow final : public QWidget {
public:
    BadgeFlow(const std::vector<SensorSource>& sources, QWidget* parent) : QWidget(parent) {
        for (const auto source : sources) badges_.push_back(new SourceBadge(source, this));
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return place(width, false); }
    QSize sizeHint() const override { return {rowWidth(), place(rowWidth(), false)}; }
    QSize minimumSizeHint() const override {
        int widest = 0;
        for (const auto* b : badges_) widest = std::max(widest, b->sizeHint().width());
        return {widest, place(widest, false)};
    }

protected:
    void resizeEvent(QResizeEvent*) override { place(width(), true); }

private:
    static constexpr int gap = 6;
    int rowWidth() const {
        int w = 0;
        for (const auto* b : badges_) w += (w ? gap : 0) + b->sizeHint().width();
        return w;
    }
    // The height the badges take at `width`; moves them there when `move`.
    int place(int width, bool move) const {
        int x = 0, y = 0, row = 0;
        for (auto* b : badges_) {
            const QSize s = b->sizeHint();
            if (x > 0 && x + s.width() > width) {
                x = 0;
                y += row + gap;
                row = 0;
            }
            if (move) b->setGeometry(x, y, s.width(), s.height());
            x += s.width() + gap;
            row = std::max(row, s.height());
        }
        return y + row;
    }
    std::vector<SourceBadge*> badges_;
};

// A button whose label is elided to the room it gets, whole in its tooltip and accessible name. An
// "&" in a name is shown as itself, not taken for a keyboard shortcut.
class ElidingButton final : public QPushButton {
public:
    ElidingButton(const QIcon& icon, const QString& text, QWidget* parent)
        : QPushButton(icon, asLabel(text), parent), whole_(text) {
        setAccessibleName(withoutMarks(text));
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text = asLabel(whole_);
        QSize contents = fontMetrics().size(Qt::TextShowMnemonic, option.text);
        if (!icon().isNull()) contents.rwidth() += iconSize().width() + 4;  // as QPushButton lays an icon out
        return style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, this);
    }
    QSize minimumSizeHint() const override { return {std::min(sizeHint().width(), 120), sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QPushButton::resizeEvent(event);
        const int whole = sizeHint().width();
        const int chrome = whole - fontMetrics().horizontalAdvance(whole_);
        const QString shown = width() >= whole ? whole_ : elideEnd(fontMetrics(), whole_, width() - chrome);
        if (asLabel(shown) != text()) setText(asLabel(shown));
        // A tooltip is spoken as it stands: the plain name, without its direction marks.
        setToolTip(shown == whole_ ? QString() : withoutMarks(whole_));
    }

private:
    static QString asLabel(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }
    QString whole_;
};

// The question before Quit, kept to the screen. Qt's own box grows to its button's whole label and
// to its labels' longest word, so one long name (90 Chinese characters, a file name of underscores)
// took it past the screen with "Quit" cut off: here the name gives way in the button with "…", the
// sentences break a word only where it is wider than the line, and the box is at most the screen's
// width.
class QuitConfirmation final : public QMessageBox {
public:
    // `name` as shown, isolated.
    QuitConfirmation(const QString& name, QWidget* parent) : QMessageBox(parent) {
        setTextFormat(Qt::PlainText);
        setIcon(QMessageBox::Warning);
        // The title is read out by screen readers and window lists: the plain name.
        setWindowTitle(withoutMarks(QStringLiteral("Quit ") + name + QStringLiteral("?")));
        setText(QStringLiteral("Quit ") + name + QStringLiteral("?"));
        setInformativeText(QStringLiteral("This frees the memory in this story right away. Any unsaved work in ") + name +
                           QStringLiteral(" may prompt you first."));
        for (const auto& [theirs, name] : {std::pair{"qt_msgbox_label", "quitQuestion"},
                                           std::pair{"qt_msgbox_informativelabel", "quitWarning"}}) {
            auto* label = findChild<QLabel*>(theirs);
            if (!label || !layout()) continue;
            auto* ours = new WrappingLabel(label->text(), this);
            ours->setObjectName(name);
            ours->setFont(label->font());
            ours->setContentsMargins(label->contentsMargins());
            if (const QString plain = withoutMarks(label->text()); plain != label->text()) ours->setAccessibleName(plain);
            delete layout()->replaceWidget(label, ours);
            label->hide();
        }
        quit_ = new ElidingButton(QIcon(), QStringLiteral("Quit ") + name, this);
        quit_->setObjectName("confirmQuit");
        addButton(quit_, QMessageBox::DestructiveRole);
        auto* cancel = addButton(QMessageBox::Cancel);
        setDefaultButton(cancel);
        setEscapeButton(cancel);
    }
    QPushButton* quitButton() const { return quit_; }

protected:
    // Qt sizes its box again on each layout request, for labels it no longer shows: ours instead.
    bool event(QEvent* event) override {
        if (event->type() != QEvent::LayoutRequest) return QMessageBox::event(event);
        const bool done = QDialog::event(event);
        fit();
        return done;
    }
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        fit();
        // Placed again, over its parent, at its own size.
        if (!event->spontaneous()) {
            adjustPosition(parentWidget());
            setAttribute(Qt::WA_Moved, false);
        }
    }

private:
    // As wide as Qt makes a box of wrapped sentences (half the screen, at most 500 px), wider only
    // for what cannot shrink, and never wider than the screen less room for the window's frame.
    void fit() {
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (!screen || !layout()) return;
        const QRect room = screen->availableGeometry();
        const int frame = std::max(frameGeometry().width() - width(), 0);
        const int widest = room.width() - std::max(frame, 2 * screenMargin);
        const int width = std::min(std::max(std::min(room.width() / 2, 500), layout()->totalMinimumSize().width()), widest);
        const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                                         : layout()->totalMinimumSize().height();
        if (size() != QSize(width, height)) setFixedSize(width, height);
    }
    static constexpr int screenMargin = 24;
    QPushButton* quit_ = nullptr;
};

// A finger tapping: the placeholder's picture, drawn since no icon theme is guaranteed.
QPixmap tapSymbol(const QColor& colour, qreal ratio) {
    QPixmap pixmap(QSize(40, 40) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    // The ripple above the fingertip.
    p.drawArc(QRectF(9, 3, 18, 18), 30 * 16, 120 * 16);
    p.drawArc(QRectF(13, 7, 10, 10), 30 * 16, 120 * 16);
    // The finger and the back of the hand.
    QPainterPath hand;
    hand.moveTo(15, 30);
    hand.lineTo(15, 15);
    hand.arcTo(QRectF(15, 12, 6, 6), 180, -180);
    hand.lineTo(21, 24);
    hand.lineTo(29, 25.5);
    hand.quadTo(32, 26, 31.5, 29);
    hand.lineTo(30, 37);
    hand.lineTo(18, 37);
    hand.lineTo(12, 30.5);
    hand.quadTo(11, 28.5, 13, 28);
    hand.lineTo(15, 30);
    p.drawPath(hand);
    return pixmap;
}

QString storyShortTime(const Date& when) {
    const double unix = when.unixSeconds();
    if (!std::isfinite(unix) || std::abs(unix) >= 1e11) return QStringLiteral("--:--");
    return QLocale::system().toString(
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(unix * 1000.0))).time(), QLocale::ShortFormat);
}

}  // namespace

StoryDetailPane::StoryDetailPane(Quit quit, QWidget* parent) : QScrollArea(parent), quit_(std::move(quit)) {
    setObjectName("storyDetail");
    setWidgetResizable(true);
    // Texts wrap to the column; a sideways scroll bar would hide the end of every line.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    // With the list's 340, a 900-px window keeps the sidebar a little under its widest.
    setMinimumWidth(320);
    rebuild(false);
}

void StoryDetailPane::show(const std::optional<TimelineEvent>& story, const std::optional<std::string>& quitMessage,
                           bool appHasWindow) {
    if (built_ && story == story_ && quitMessage == message_ && appHasWindow == appHasWindow_) return;
    const bool sameStory = story && story_ && story->id == story_->id;
    story_ = story;
    message_ = quitMessage;
    appHasWindow_ = appHasWindow;
    rebuild(sameStory);
}

void StoryDetailPane::rebuild(bool keepPlace) {
    built_ = true;
    const int scroll = keepPlace ? verticalScrollBar()->value() : 0;
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(22);
    column->setSizeConstraint(QLayout::SetNoConstraint);
    const QColor primary = palette::primaryText(this);
    const QColor secondary = palette::secondaryText(this);
    const QColor tertiary = palette::tertiaryText(this);
    if (!story_) {
        column->addStretch(1);
        auto* picture = new QLabel(page);
        picture->setObjectName("detailPlaceholderSymbol");
        picture->setPixmap(tapSymbol(secondary, devicePixelRatioF()));
        picture->setAlignment(Qt::AlignCenter);
        column->addWidget(picture);
        auto* title = text(QStringLiteral("Pick a story"), page, roleFont(TextRole::title2, QFont::DemiBold), primary,
                           "detailPlaceholder");
        title->setAlignment(Qt::AlignCenter);
        auto* hint = text(QStringLiteral("Click a row to see a simple explanation."), page, roleFont(TextRole::body),
                          secondary);
        hint->setAlignment(Qt::AlignCenter);
        column->addWidget(title);
        column->addWidget(hint);
        column->addStretch(1);
        setWidget(page);
        verticalScrollBar()->setValue(0);
        return;
    }
    const TimelineEvent& s = *story_;
    const auto d = stories::detailModel(s);
    // Each text the engine wrote is an English sentence around the app's name and the titles it saw.
    const QStringList names = storyNames(s);
    const auto shown = [&](const std::string& sentence) { return shownSentence(sentence, names); };
    column->addWidget(text(storyShortTime(s.timestamp), page, roleFont(TextRole::caption), secondary));
    QFont big = numberFont(roleFont(TextRole::largeTitle, QFont::Bold));
    big.setPixelSize(48);
    auto* amount = new FittedAmount(QString::fromStdString(d.deltaText), big, page);
    amount->setObjectName("detailDelta");
    QPalette amountColour = amount->palette();
    amountColour.setColor(QPalette::WindowText, d.deltaGreen ? palette::green() : primary);
    amount->setPalette(amountColour);
    column->addWidget(amount);
    column->addWidget(
        text(shown(s.title), page, roleFont(TextRole::title2, QFont::DemiBold), primary, "detailTitle"));

    auto* card = new Card(toneColour(d.tone, this), page);
    card->setObjectName("effectCard");
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(16, 16, 16, 16);
    cardColumn->setSpacing(6);
    cardColumn->addWidget(
        text(QStringLiteral("Effect on your computer"), card, roleFont(TextRole::caption, QFont::DemiBold), secondary));
    cardColumn->addWidget(
        text(shown(d.cardLabel), card, roleFont(TextRole::title3, QFont::Bold), primary, "cardLabel"));
    cardColumn->addWidget(text(shown(d.cardReason), card, roleFont(TextRole::body), secondary));
    column->addWidget(card);

    // Quit closes windows; a program without one on this desktop is not offered it.
    if (d.offersQuit && appHasWindow_) {
        auto* button =
            new ElidingButton(quitSymbol(palette::red()), QStringLiteral("Quit ") + isolate(s.relatedApp->displayName), page);
        button->setObjectName("quitApp");
        QPalette p = button->palette();
        p.setColor(QPalette::ButtonText, palette::red());
        button->setPalette(p);
        connect(button, &QPushButton::clicked, this, &StoryDetailPane::askToQuit);
        column->addWidget(button, 0, Qt::AlignLeft);
        if (message_)
            column->addWidget(text(shown(*message_), page, roleFont(TextRole::caption), secondary, "quitMessage"));
    }
    if (d.headline) {
        auto* block = new QVBoxLayout;
        block->setSpacing(6);
        block->addWidget(text(QStringLiteral("What you were doing"), page, roleFont(TextRole::headline, QFont::DemiBold),
                              primary));
        block->addWidget(text(shown(*d.headline), page, roleFont(TextRole::body), primary));
        column->addLayout(block);
    }
    if (d.spikeLine)
        column->addWidget(
            text(shown(*d.spikeLine), page, roleFont(TextRole::callout), secondary, "spikeLine"));
    if (d.freeLine)
        column->addWidget(text(shown(*d.freeLine), page, roleFont(TextRole::caption), tertiary));

    auto* sources = new QVBoxLayout;
    sources->setSpacing(6);
    sources->addWidget(text(QStringLiteral("How we know"), page, roleFont(TextRole::headline, QFont::DemiBold), primary));
    sources->addWidget(new BadgeFlow(d.badges, page));
    sources->addWidget(text(shown(d.sourceExplanation), page, roleFont(TextRole::caption), secondary));
    column->addLayout(sources);
    column->addStretch(1);
    setWidget(page);
    verticalScrollBar()->setValue(scroll);
}

void StoryDetailPane::askToQuit() {
    if (!story_ || !story_->relatedApp || confirm_) return;
    const ProcessIdentity app = *story_->relatedApp;
    auto* box = new QuitConfirmation(isolate(app.displayName), this);
    confirm_ = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* quit = box->quitButton();
    // The story may change while the box is up: the app asked about is the one quit.
    connect(box, &QMessageBox::buttonClicked, this, [this, quit, app](QAbstractButton* clicked) {
        if (clicked == quit && quit_) quit_(app.groupingKey, app.bundleID, app.displayName);
    });
    box->open();
}

}  // namespace velmora
