#include "ui/main/stories/StoriesFilterBar.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/TextReport.h"

namespace velmora {

namespace {

// Three shortening lines in a circle: the list is being narrowed.
QPixmap filterSymbol(const QColor& colour, qreal ratio) {
    QPixmap pixmap(QSize(16, 16) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.drawLine(QPointF(4.5, 5.5), QPointF(11.5, 5.5));
    p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
    p.drawLine(QPointF(6.8, 10.5), QPointF(9.2, 10.5));
    return pixmap;
}

// A picker whose field ends a long name in "…" (the style would cut it mid-letter), the whole name
// in its tooltip; its list still grows to the widest name.
class ElidingPicker final : public QComboBox {
public:
    explicit ElidingPicker(QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        const QString whole = option.currentText;
        option.currentText = elideEnd(fontMetrics(), whole, field.width());
        const QString tip = option.currentText == whole ? QString() : withoutMarks(whole);
        if (toolTip() != tip) setToolTip(tip);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
        notePaintedText(painter, field, option.currentText);
    }
};

// What a screen reader hears of the picker. Qt's own combo box on Linux speaks the shown text as
// its name and value, with the marks that give a name its direction on screen; this one speaks the
// chosen name plain, and is otherwise the combo box Qt's is: its list as its one child, opened and
// closed by its actions.
class PickerAccessible final : public QAccessibleWidget {
public:
    explicit PickerAccessible(QComboBox* picker) : QAccessibleWidget(picker, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name && t != QAccessible::Value) return QAccessibleWidget::text(t);
        const QString chosen = withoutMarks(picker()->currentText());
        return chosen.isEmpty() ? QAccessibleWidget::text(t) : chosen;
    }
    int childCount() const override { return list() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        QAbstractItemView* view = list();
        return index == 0 && view ? QAccessible::queryAccessibleInterface(view) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() && child->object() == list() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    QString localizedActionDescription(const QString& action) const override {
        return action == showMenuAction() || action == pressAction() ? QComboBox::tr("Open the combo box selection popup")
                                                                      : QString();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) return;
        if (picker()->view()->isVisible()) picker()->hidePopup();
        else picker()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* picker() const { return static_cast<QComboBox*>(widget()); }
    // The list, once the picker has made it: asking for it would make it.
    QAbstractItemView* list() const { return picker()->findChild<QAbstractItemView*>(); }
};

QAccessibleInterface* pickerAccessible(const QString&, QObject* object) {
    auto* picker = dynamic_cast<ElidingPicker*>(object);
    return picker ? new PickerAccessible(picker) : nullptr;
}

ElidingPicker::ElidingPicker(QWidget* parent) : QComboBox(parent) {
    static const bool installed = (QAccessible::installFactory(pickerAccessible), true);
    (void)installed;
}

}  // namespace

StoriesFilterBar::StoriesFilterBar(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 8, 14, 8);
    column->setSpacing(8);
    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(8);
    auto* symbol = new QLabel(this);
    symbol->setObjectName("filterSymbol");
    symbol->setPixmap(filterSymbol(palette::secondaryText(this), devicePixelRatioF()));
    searchRow->addWidget(symbol);
    search_ = new QLineEdit(this);
    search_->setObjectName("storySearch");
    search_->setPlaceholderText(QStringLiteral("Filter stories\u2026"));
    search_->setClearButtonEnabled(false);
    clear_ = new QPushButton(QStringLiteral("Clear"), this);
    clear_->setObjectName("clearFilters");
    clear_->setFont(roleFont(TextRole::callout));  // the small size, beside the field
    clear_->setVisible(false);
    searchRow->addWidget(search_, 1);
    searchRow->addWidget(clear_);
    column->addLayout(searchRow);

    auto* pickers = new QHBoxLayout;
    pickers->setSpacing(8);
    auto* appLabel = new QLabel(QStringLiteral("App"), this);
    app_ = new ElidingPicker(this);
    app_->setObjectName("appPicker");
    app_->setMaximumWidth(200);
    app_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    app_->setMinimumContentsLength(8);
    app_->addItem(QStringLiteral("All apps"));
    auto* impactLabel = new QLabel(QStringLiteral("Impact"), this);
    impact_ = new QComboBox(this);
    impact_->setObjectName("impactPicker");
    impact_->setMaximumWidth(200);
    for (const auto f : stories::allImpactFilters)
        impact_->addItem(QString::fromUtf8(stories::title(f).data(), static_cast<int>(stories::title(f).size())));
    pickers->addWidget(appLabel);
    pickers->addWidget(app_, 1);
    pickers->addWidget(impactLabel);
    pickers->addWidget(impact_, 1);
    pickers->addStretch(0);
    column->addLayout(pickers);

    // User signals only: a redraw that sets the same values never counts as an edit.
    connect(search_, &QLineEdit::textEdited, this, [this](const QString& text) {
        auto next = filters_;
        next.search = text.toStdString();
        userEdit(next);
    });
    connect(clear_, &QPushButton::clicked, this, [this] { userEdit({}); });
    connect(app_, &QComboBox::activated, this, [this](int index) {
        auto next = filters_;
        if (index <= 0 || index > static_cast<int>(options_.size())) next.appKey.reset();
        else next.appKey = options_[static_cast<std::size_t>(index - 1)].key;
        userEdit(next);
    });
    connect(impact_, &QComboBox::activated, this, [this](int index) {
        auto next = filters_;
        next.impact = stories::allImpactFilters[static_cast<std::size_t>(std::clamp(index, 0, 5))];
        userEdit(next);
    });
}

void StoriesFilterBar::userEdit(stories::Filters next) {
    filters_ = std::move(next);
    clear_->setVisible(filters_.active());
    emit edited();
}

void StoriesFilterBar::show(const stories::Filters& filters, const std::vector<stories::AppOption>& options) {
    filters_ = filters;
    const QString text = QString::fromStdString(filters.search);
    // Setting the same text again would move the cursor and drop the undo history.
    if (search_->text() != text) search_->setText(text);
    if (options != options_) {
        const QSignalBlocker blocker(app_);
        options_ = options;
        app_->clear();
        app_->addItem(QStringLiteral("All apps"));
        // Each name stands alone in the list, so it takes its own direction; it is read aloud and
        // shown whole without the marks that give it.
        for (const auto& o : options_) {
            const QString name = QString::fromStdString(o.name);
            app_->addItem(nameAlone(name), QString::fromStdString(o.key));
            app_->setItemData(app_->count() - 1, name, Qt::ToolTipRole);
            app_->setItemData(app_->count() - 1, name, Qt::AccessibleTextRole);
        }
    }
    int appIndex = 0;
    if (filters.appKey)
        for (std::size_t i = 0; i < options_.size(); ++i)
            if (options_[i].key == *filters.appKey) appIndex = static_cast<int>(i) + 1;
    if (app_->currentIndex() != appIndex) {
        const QSignalBlocker blocker(app_);
        app_->setCurrentIndex(appIndex);
    }
    const int impactIndex = static_cast<int>(filters.impact);
    if (impact_->currentIndex() != impactIndex) {
        const QSignalBlocker blocker(impact_);
        impact_->setCurrentIndex(impactIndex);
    }
    clear_->setVisible(filters.active());
}

void StoriesFilterBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette::withAlpha(palette::primaryText(this), 0.03));
}

}  // namespace velmora
