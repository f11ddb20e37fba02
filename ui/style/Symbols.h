#pragma once
// Small drawn symbols: no icon theme is guaranteed on a Linux desktop (a bare X server has none).
#include <QColor>
#include <QIcon>

#include "app/SidebarItem.h"

namespace velmora {

// The sidebar row's symbol for a page.
QIcon symbolIcon(SidebarItem item, const QColor& colour);
// Two overlapping squares, the front one filled while the widget is shown.
QIcon widgetSymbol(bool filled, const QColor& colour);
// A cross in a circle: quitting an app.
QIcon quitSymbol(const QColor& colour);

}  // namespace velmora
