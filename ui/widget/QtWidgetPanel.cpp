#include "ui/widget/QtWidgetPanel.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <QPainterPath>
#include <QRegion>

#include "platform/linux/X11WindowHints.h"
#include "ui/widget/FloatingWidgetView.h"

#include <X11/Xlib.h>  // last: its macros clash with names above

namespace velmora {

namespace {

WidgetRect toRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }
QRect toQRect(const WidgetRect& r) { return {r.x, r.y, r.width, r.height}; }

WidgetScreen describe(const QScreen* screen) { return {toRect(screen->geometry()), toRect(screen->availableGeometry())}; }

class QtWidgetPanel;

// The window itself. Reports to its panel in a later event-loop turn, so the controller may drop
// the panel from inside a report.
class PanelWindow final : public QWidget {
public:
    PanelWindow(QtWidgetPanel* owner, bool floating, AppStateAdapter* adapter, FloatingWidgetController* controller)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus),
          owner_(owner), floating_(floating), translucent_(QtWidgetWindowing::compositing()) {
        setObjectName("VelmoraFloatingWidget");
        setWindowTitle("Velmora widget");
        setAttribute(Qt::WA_ShowWithoutActivating);
        // Left to quit on close: with the main window closed, the widget keeps Velmora running.
        // See-through corners need a compositor; without one they would be black.
        if (translucent_) setAttribute(Qt::WA_TranslucentBackground);
        else setAutoFillBackground(false);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetNoConstraint);
        if (adapter && controller) {
            view_ = new FloatingWidgetView(*adapter, *controller, this);
            layout->addWidget(view_);
        } else {
            auto* card = new QFrame(this);
            card->setObjectName("widgetCard");
            card->setStyleSheet(QString("#widgetCard { background: rgb(30, 30, 33); border-radius: %1px; }")
                                    .arg(floating ? 16 : 12));
            layout->addWidget(card);
        }
    }
    void detach() { owner_ = nullptr; }
    bool translucent() const { return translucent_; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (translucent_) return;
        // The view picks its layout on the same resize; its radius is read after it.
        const int radius = view_ ? view_->cornerRadius() : floating_ ? 16 : 12;
        QPainterPath path;
        const double r = std::min<double>(radius, height() / 2.0);
        path.addRoundedRect(QRectF(rect()), r, r);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override {
        if (floating_ && event->button() == Qt::LeftButton) dragOffset_ = event->globalPosition().toPoint() - pos();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (dragOffset_) move(event->globalPosition().toPoint() - *dragOffset_);
    }
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void report(void (*what)(QtWidgetPanel&, bool), bool value);
    QtWidgetPanel* owner_;
    bool floating_;
    bool translucent_;
    FloatingWidgetView* view_ = nullptr;
    std::optional<QPoint> dragOffset_;
};

class QtWidgetPanel final : public WidgetPanel {
public:
    QtWidgetPanel(const WidgetRect& frame, bool floating, AppStateAdapter* adapter, FloatingWidgetController* controller)
        : window_(new PanelWindow(this, floating, adapter, controller)) {
        window_->setGeometry(toQRect(frame));
        window_->winId();  // the native window, so the hints go out before it is mapped
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            markAsUtilityOnEveryWorkspace(x11->display(), window_->winId());
    }
    ~QtWidgetPanel() override {
        if (!window_) return;
        window_->detach();
        window_->hide();
        window_->deleteLater();
    }

    WidgetRect frame() const override { return toRect(window_->geometry()); }
    void setFrame(const WidgetRect& frame, bool animated) override {
        if (!animated || !window_->isVisible()) {
            window_->setGeometry(toQRect(frame));
            return;
        }
        auto* animation = new QPropertyAnimation(window_, "geometry", window_);
        animation->setDuration(150);
        animation->setEndValue(toQRect(frame));
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    void bringToFront() override {
        window_->show();
        window_->raise();
    }
    void orderOut() override { window_->hide(); }
    std::optional<WidgetScreen> screen() const override {
        if (const QScreen* s = window_->screen()) return describe(s);
        return std::nullopt;
    }

private:
    QPointer<PanelWindow> window_;
};

void PanelWindow::report(void (*what)(QtWidgetPanel&, bool), bool value) {
    QMetaObject::invokeMethod(
        this,
        [this, what, value] {
            if (owner_) what(*owner_, value);
        },
        Qt::QueuedConnection);
}

void PanelWindow::enterEvent(QEnterEvent*) {
    report([](QtWidgetPanel& p, bool v) { if (p.onHoverChange) p.onHoverChange(v); }, true);
}

void PanelWindow::leaveEvent(QEvent*) {
    report([](QtWidgetPanel& p, bool v) { if (p.onHoverChange) p.onHoverChange(v); }, false);
}

void PanelWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    report([](QtWidgetPanel& p, bool) { if (p.onClosedBySystem) p.onClosedBySystem(); }, false);
}

void PanelWindow::mouseReleaseEvent(QMouseEvent*) {
    if (!dragOffset_) return;
    dragOffset_.reset();
    report([](QtWidgetPanel& p, bool) { if (p.onMovedByUser) p.onMovedByUser(); }, false);
}

}  // namespace

std::unique_ptr<WidgetPanel> QtWidgetWindowing::makePanel(const WidgetRect& frame, bool floating) {
    return std::make_unique<QtWidgetPanel>(frame, floating, adapter_, controller_);
}

bool QtWidgetWindowing::compositing() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return false;
    const Atom selection = XInternAtom(display, "_NET_WM_CM_S0", False);
    return XGetSelectionOwner(display, selection) != None;
}

std::vector<WidgetScreen> QtWidgetWindowing::screens() const {
    std::vector<WidgetScreen> out;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) out.push_back(describe(primary));
    for (const QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) out.push_back(describe(s));
    return out;
}

}  // namespace velmora
