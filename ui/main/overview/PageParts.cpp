#include "ui/main/overview/PageParts.h"

#include <QButtonGroup>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/main/ElidedLabel.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace velmora {

QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent,
                  Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(alignment);
    setLabelColour(label, colour);
    return label;
}

QLabel* wrappingLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
    auto* label = new WrappingLabel(text, parent);
    label->setFont(font);
    setLabelColour(label, colour);
    return label;
}

void setLabelColour(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    if (pal.color(QPalette::WindowText) == colour) return;
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

SegmentedPicker::SegmentedPicker(const std::vector<std::pair<QString, int>>& options, int chosen, int maxWidth,
                                 QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
    setAccessibleName("Range");
    setMaximumWidth(maxWidth);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    // Fusion's sunken look barely differs from a raised button in the dark palette: the chosen
    // range takes the accent so it can be read at a glance.
    setStyleSheet("QPushButton { background: palette(button); color: palette(button-text);"
                  " border: 1px solid palette(mid); padding: 3px 10px; }"
                  "QPushButton:checked { background: palette(highlight); color: palette(highlighted-text);"
                  " border-color: palette(highlight); font-weight: 600; }"
                  "QPushButton:focus:!checked { border-color: palette(highlight); }");
    group_->setExclusive(true);
    for (const auto& [text, tag] : options) {
        auto* button = new QPushButton(text, this);
        button->setCheckable(true);
        button->setChecked(tag == chosen);
        button->setFocusPolicy(Qt::TabFocus);
        group_->addButton(button, tag);
        row->addWidget(button, 1);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int tag) {
        if (onChosen) onChosen(tag);
    });
}

int SegmentedPicker::chosen() const { return group_->checkedId(); }

void SegmentedPicker::choose(int tag) {
    if (auto* button = group_->button(tag)) button->click();
}

void SegmentedPicker::setChosen(int tag) {
    if (auto* button = group_->button(tag)) button->setChecked(true);
}

QString fitSentence(const QString& sentence, const QStringList& names, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    const QString whole = shownSentence(sentence, names);
    if (metrics.horizontalAdvance(whole) <= width) return whole;
    QString name;
    for (const QString& candidate : names)
        if (candidate.size() > name.size() && sentence.contains(candidate)) name = candidate;
    if (name.isEmpty()) return elideEnd(metrics, whole, width);
    const qsizetype at = sentence.indexOf(name);
    const QString before = shownSentence(sentence.left(at), names);
    const QString after = shownSentence(sentence.mid(at + name.size()), names);
    // The name gets what the rest leaves; the marks and kerning around it may take a pixel or two more.
    int room = width - metrics.horizontalAdvance(before + after);
    for (int tries = 0; tries < 4 && room > 0; ++tries) {
        const QString shown = before + isolate(elideEnd(metrics, name, room)) + after;
        const int over = metrics.horizontalAdvance(shown) - width;
        if (over <= 0) return shown;
        room -= over;
    }
    // Not even "…" fits beside the rest.
    return elideEnd(metrics, whole, width);
}

QVBoxLayout* scrollingColumn(QWidget* page, int maxWidth, int margin, int spacing) {
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(page);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto* holder = new QWidget(scroll);
    auto* holderRow = new QHBoxLayout(holder);
    holderRow->setContentsMargins(0, 0, 0, 0);
    auto* column = new QWidget(holder);
    column->setMaximumWidth(maxWidth);
    holderRow->addWidget(column, 1);
    holderRow->addStretch(0);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    scroll->setWidget(holder);
    return layout;
}

QWidget* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette pal = line->palette();
    pal.setColor(QPalette::WindowText, palette::tertiaryText(parent));
    line->setPalette(pal);
    return line;
}

QWidget* emptyState(QWidget* parent, const QString& symbol, int symbolPixels, const QString& title,
                    const QString& hint) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 40, 0, 40);
    column->setSpacing(10);
    QFont symbolFont = roleFont(TextRole::largeTitle, QFont::Light);
    symbolFont.setPixelSize(symbolPixels);
    column->addWidget(textLabel(symbol, symbolFont, palette::tertiaryText(parent), box, Qt::AlignCenter));
    column->addWidget(textLabel(title, roleFont(TextRole::title3, QFont::DemiBold), palette::primaryText(parent), box,
                                Qt::AlignCenter));
    auto* hintLabel = textLabel(hint, roleFont(TextRole::callout), palette::secondaryText(parent), box, Qt::AlignCenter);
    hintLabel->setWordWrap(true);
    column->addWidget(hintLabel);
    return box;
}

}  // namespace velmora
