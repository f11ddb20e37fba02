#include "ui/main/stories/NudgeBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>

#include "ui/style/Buttons.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {

// A puzzle piece: a square with a knob on top and on the right.
QPixmap puzzle(const QColor& colour, qreal dpr) {
    QPixmap pm(QSize(18, 18) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPainterPath path;
    path.addRoundedRect(QRectF(2, 5, 11, 11), 2, 2);
    path.addEllipse(QRectF(5, 1.5, 5, 5));
    path.addEllipse(QRectF(11, 8, 5, 5));
    p.drawPath(path.simplified());
    return pm;
}

QIcon cross(const QColor& colour) {
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 3.5), QPointF(3.5, 10.5));
    return QIcon(pm);
}

}  // namespace

NudgeBanner::NudgeBanner(QWidget* parent) : QWidget(parent) {
    setObjectName("nudgeBanner");
    auto* outer = new QHBoxLayout(this);
    // The card sits inset in the list column: 16 at the sides, 8 above, none below.
    outer->setContentsMargins(16 + 12, 8 + 12, 16 + 12, 12);
    outer->setSpacing(10);
    outer->setAlignment(Qt::AlignTop);
    auto* icon = new QLabel(this);
    icon->setPixmap(puzzle(palette::yellow(), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignTop);
    outer->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* heading = new QLabel(QStringLiteral("Can't tell which tab is using memory"), this);
    heading->setTextFormat(Qt::PlainText);
    heading->setWordWrap(true);
    heading->setFont(roleFont(TextRole::callout, QFont::DemiBold));
    // Linux has no browser scripting; a tab is known from the window title, which names only the
    // tab being looked at.
    auto* body = new QLabel(QStringLiteral("That's the window title's limit, not a guess we're avoiding \u2014 it only "
                                           "shows the tab you're looking at. The extension works even in the "
                                           "background."),
                            this);
    body->setObjectName("nudgeText");
    body->setTextFormat(Qt::PlainText);
    body->setWordWrap(true);
    body->setFont(roleFont(TextRole::caption));
    QPalette secondary = body->palette();
    secondary.setColor(QPalette::WindowText, palette::secondaryText(this));
    body->setPalette(secondary);
    auto* show = new QPushButton(QStringLiteral("Show me how"), this);
    show->setObjectName("nudgeShowMe");
    makeProminent(show, false);
    show->setFont(roleFont(TextRole::callout));
    texts->addWidget(heading);
    texts->addWidget(body);
    texts->addWidget(show, 0, Qt::AlignLeft);
    outer->addLayout(texts, 1);
    outer->addSpacing(8);

    auto* close = new QToolButton(this);
    close->setObjectName("nudgeDismiss");
    close->setAutoRaise(true);
    close->setIcon(cross(palette::secondaryText(this)));
    close->setToolTip(QStringLiteral("Dismiss"));
    close->setAccessibleName(QStringLiteral("Dismiss"));
    outer->addWidget(close, 0, Qt::AlignTop);

    connect(show, &QPushButton::clicked, this, &NudgeBanner::showMe);
    connect(close, &QToolButton::clicked, this, &NudgeBanner::dismissed);
}

void NudgeBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::withAlpha(palette::yellow(), 0.12));
    p.drawRoundedRect(QRectF(rect()).adjusted(16, 8, -16, 0), 10, 10);
}

}  // namespace velmora
