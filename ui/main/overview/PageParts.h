#pragma once
// Small pieces the scrolling pages share: text labels in a role's font, a segmented range
// picker, and the scrolling column every such page sits in.
#include <QColor>
#include <QFont>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class QBoxLayout;
class QButtonGroup;
class QLabel;
class QVBoxLayout;

namespace velmora {

enum class TextRole;

// A plain-text label (outside strings never become rich text).
// A wrapped plain-text label that never widens its column: see WrappingLabel.
QLabel* wrappingLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent);
QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
void setLabelColour(QLabel* label, const QColor& colour);

// Exclusive buttons side by side; `onChosen` gets the tag of the button the user clicked.
class SegmentedPicker final : public QWidget {
public:
    SegmentedPicker(const std::vector<std::pair<QString, int>>& options, int chosen, int maxWidth,
                    QWidget* parent = nullptr);
    std::function<void(int)> onChosen;
    int chosen() const;
    // Clicks the button tagged `tag`, as the user would.
    void choose(int tag);
    // Shows `tag` as chosen without telling `onChosen`.
    void setChosen(int tag);

private:
    QButtonGroup* group_;
};

// `sentence` as shown on one line of `width` in `font`: its names isolated and, when it is too
// long, the longest of `names` in it cut short with "…", never the figures and words beside it.
QString fitSentence(const QString& sentence, const QStringList& names, const QFont& font, int width);

// A scroll area filling `page`, holding a column at most `maxWidth` wide, at the leading edge,
// padded by `margin`; returns the column's layout.
QVBoxLayout* scrollingColumn(QWidget* page, int maxWidth, int margin, int spacing);

// A thin horizontal rule.
QWidget* divider(QWidget* parent);

// What a chart page shows before it has data: a large faint symbol, a title and a wrapped hint.
QWidget* emptyState(QWidget* parent, const QString& symbol, int symbolPixels, const QString& title,
                    const QString& hint);

}  // namespace velmora
