#include "ui/main/stories/StoryDetailPane.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>

#include <cmath>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/main/stories/StoriesLogic.h"
#include "ui/main/stories/StoryRowDelegate.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/style/SourceBadge.h"
#include "ui/style/Symbols.h"

namespace velmora {

namespace {

QLabel* text(const QString& s, QWidget* parent, const QFont& font, const QColor& colour, const char* name = nullptr) {
    auto* label = new QLabel(s, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
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
    rebuild();
}

void StoryDetailPane::show(const std::optional<TimelineEvent>& story, const std::optional<std::string>& quitMessage,
                           bool appHasWindow) {
    if (built_ && story == story_ && quitMessage == message_ && appHasWindow == appHasWindow_) return;
    story_ = story;
    message_ = quitMessage;
    appHasWindow_ = appHasWindow;
    rebuild();
}

void StoryDetailPane::rebuild() {
    built_ = true;
    const int scroll = verticalScrollBar() ? verticalScrollBar()->value() : 0;
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
        return;
    }
    const TimelineEvent& s = *story_;
    const auto d = stories::detailModel(s);
    column->addWidget(text(storyShortTime(s.timestamp), page, roleFont(TextRole::caption), secondary));
    QFont big = numberFont(roleFont(TextRole::largeTitle, QFont::Bold));
    big.setPixelSize(48);
    auto* amount = text(QString::fromStdString(d.deltaText), page, big, d.deltaGreen ? palette::green() : primary,
                        "detailDelta");
    amount->setWordWrap(false);
    column->addWidget(amount);
    column->addWidget(
        text(QString::fromStdString(s.title), page, roleFont(TextRole::title2, QFont::DemiBold), primary, "detailTitle"));

    auto* card = new Card(toneColour(d.tone, this), page);
    card->setObjectName("effectCard");
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(16, 16, 16, 16);
    cardColumn->setSpacing(6);
    cardColumn->addWidget(
        text(QStringLiteral("Effect on your computer"), card, roleFont(TextRole::caption, QFont::DemiBold), secondary));
    cardColumn->addWidget(
        text(QString::fromStdString(d.cardLabel), card, roleFont(TextRole::title3, QFont::Bold), primary, "cardLabel"));
    cardColumn->addWidget(text(QString::fromStdString(d.cardReason), card, roleFont(TextRole::body), secondary));
    column->addWidget(card);

    // Quit closes windows; a program without one on this desktop is not offered it.
    if (d.offersQuit && appHasWindow_) {
        const QString name = QString::fromStdString(s.relatedApp->displayName);
        auto* button = new QPushButton(quitSymbol(palette::red()), QStringLiteral("Quit ") + name, page);
        button->setObjectName("quitApp");
        QPalette p = button->palette();
        p.setColor(QPalette::ButtonText, palette::red());
        button->setPalette(p);
        connect(button, &QPushButton::clicked, this, &StoryDetailPane::askToQuit);
        column->addWidget(button, 0, Qt::AlignLeft);
        if (message_)
            column->addWidget(text(QString::fromStdString(*message_), page, roleFont(TextRole::caption), secondary,
                                   "quitMessage"));
    }
    if (d.headline) {
        auto* block = new QVBoxLayout;
        block->setSpacing(6);
        block->addWidget(text(QStringLiteral("What you were doing"), page, roleFont(TextRole::headline, QFont::DemiBold),
                              primary));
        block->addWidget(text(QString::fromStdString(*d.headline), page, roleFont(TextRole::body), primary));
        column->addLayout(block);
    }
    if (d.spikeLine)
        column->addWidget(
            text(QString::fromStdString(*d.spikeLine), page, roleFont(TextRole::callout), secondary, "spikeLine"));
    if (d.freeLine)
        column->addWidget(text(QString::fromStdString(*d.freeLine), page, roleFont(TextRole::caption), tertiary));

    auto* sources = new QVBoxLayout;
    sources->setSpacing(6);
    sources->addWidget(text(QStringLiteral("How we know"), page, roleFont(TextRole::headline, QFont::DemiBold), primary));
    auto* badges = new QHBoxLayout;
    badges->setSpacing(6);
    for (const auto source : d.badges) badges->addWidget(new SourceBadge(source, page));
    badges->addStretch(1);
    sources->addLayout(badges);
    sources->addWidget(text(QString::fromStdString(d.sourceExplanation), page, roleFont(TextRole::caption), secondary));
    column->addLayout(sources);
    column->addStretch(1);
    setWidget(page);
    verticalScrollBar()->setValue(scroll);
}

void StoryDetailPane::askToQuit() {
    if (!story_ || !story_->relatedApp || confirm_) return;
    const ProcessIdentity app = *story_->relatedApp;
    const QString name = QString::fromStdString(app.displayName);
    auto* box = new QMessageBox(this);
    confirm_ = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Quit ") + name + QStringLiteral("?"));
    box->setText(QStringLiteral("Quit ") + name + QStringLiteral("?"));
    box->setInformativeText(QStringLiteral("This frees the memory in this story right away. Any unsaved work in ") +
                            name + QStringLiteral(" may prompt you first."));
    auto* quit = box->addButton(QStringLiteral("Quit ") + name, QMessageBox::DestructiveRole);
    quit->setObjectName("confirmQuit");
    auto* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    // The story may change while the box is up: the app asked about is the one quit.
    connect(box, &QMessageBox::buttonClicked, this, [this, quit, app](QAbstractButton* clicked) {
        if (clicked == quit && quit_) quit_(app.groupingKey, app.bundleID, app.displayName);
    });
    box->open();
}

}  // namespace velmora
