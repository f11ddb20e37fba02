#include "ui/style/Theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace velmora {

void applyDarkFusion(QApplication& app) {
    app.setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    const QColor window(37, 37, 40), base(28, 28, 30), text(230, 230, 232), accent(10, 132, 255);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, base);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, accent);
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(140, 140, 145));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 125));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 125));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 125));
    app.setPalette(dark);
}

}  // namespace velmora
