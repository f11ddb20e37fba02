#pragma once
#include <QLabel>
#include <QString>
#include <QWidget>
#include <vector>

namespace velmora {

struct WrappedLine {
    QString text;  // as drawn, "…" included
    int start = 0;  // where the line starts in the wrapped text
    bool operator==(const WrappedLine&) const = default;
};

// `text` in `font` on lines of `width`, at most `maxLines` of them, broken between words only. A
// word wider than a line has a line to itself, elided; the last line is elided when text remains.
// A line that starts inside an isolated name goes on in the name's direction.
std::vector<WrappedLine> wrapWords(const QString& text, const QFont& font, int width, int maxLines);

// A word-wrapped plain-text label whose lines break between words, and inside a word only when the
// word is wider than the whole line: a file name, an address or a name of one long word goes on
// over the next line instead of running past the label's edge, and never widens its column (a
// word-wrapped QLabel asks for its longest word as its minimum). Its lines are reported to
// TextReport as they are painted.
class WrappingLabel final : public QLabel {
    Q_OBJECT
public:
    explicit WrappingLabel(const QString& text = {}, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Plain text wrapped at word boundaries onto at most `maxLines` lines, the last one elided; then
// the whole text is its tooltip (and always its accessible name), both without the marks that
// isolate its names. Unlike a word-wrapped QLabel, one long unbroken title does not widen its column.
class ElidedLabel final : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(int maxLines, QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }
    void setColor(const QColor& colour);
    // The lines drawn at `width`.
    QStringList lines(int width) const;
    // The same, with where each line starts in the text.
    QStringList lines(int width, std::vector<int>& starts) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The whole text as tooltip while it is cut short.
    void updateToolTip();

    QString text_;
    QColor colour_;
    int maxLines_;
};

}  // namespace velmora
