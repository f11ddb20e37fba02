#pragma once
#include <QWidget>

namespace velmora {

// One page of the main window. The window calls refresh() on the visible page only: once for each
// coalesced change of the application state, and once when the page comes into view.
class Page : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void refresh() = 0;
    // Puts the page's own choices (ranges, filters) back where a new page has them; the window
    // calls it, before refresh(), each time the page comes into view again.
    virtual void startOver() {}
};

}  // namespace velmora
