#include "ui/style/Buttons.h"

#include <QPushButton>

#include "ui/style/Palette.h"

namespace velmora {

void makeProminent(QPushButton* button, bool large) {
    button->setStyleSheet(QString("QPushButton { background: palette(highlight); color: palette(highlighted-text);"
                                  " border: 2px solid palette(highlight); border-radius: 6px; padding: %1px 14px;"
                                  " font-weight: 600; }"
                                  "QPushButton:focus { border-color: palette(highlighted-text); }"
                                  "QPushButton:pressed { background: palette(dark); }")
                              .arg(large ? 6 : 3));
    button->setMinimumHeight(large ? 32 : 26);
}

void makeDestructive(QPushButton* button) {
    button->setStyleSheet(QString("QPushButton { color: %1; }").arg(palette::red().name()));
}

}  // namespace velmora
