#pragma once
#include <QDialog>
#include <QFont>
#include <QString>

#include "ui/style/Fonts.h"

class QLabel;

namespace velmora {

// A plain-text label of the sheets: the role's font in `colour`, wrapping.
QLabel* textLabel(const QString& text, TextRole role, const QColor& colour, QWidget* parent,
                  QFont::Weight weight = QFont::Normal);

// The keys of the main window's commands, as its menus show them.
struct HelpKeys {
    QString firstTab, lastTab, setup, checkOneAction, toggleWidget, firstCorner, lastCorner;
};

// A fixed-size sheet: scrolling content over a footer with a default "Done" button.
class InfoSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int height = 620;

protected:
    InfoSheet(int width, QWidget* parent);
    QWidget* content() const { return content_; }

private:
    QWidget* content_ = nullptr;
};

// The short tour of what each part of Velmora is for, with the shortcuts of `keys`.
class HelpSheet final : public InfoSheet {
    Q_OBJECT
public:
    static constexpr int width = 640;
    explicit HelpSheet(const HelpKeys& keys, QWidget* parent = nullptr);
};

// The recent additions, one row each.
class WhatsNewSheet final : public InfoSheet {
    Q_OBJECT
public:
    static constexpr int width = 600;
    explicit WhatsNewSheet(QWidget* parent = nullptr);
};

}  // namespace velmora
