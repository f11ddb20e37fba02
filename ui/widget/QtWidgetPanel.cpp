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

#include "platform/linux/X11WindowHints.h"

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
    PanelWindow(QtWidgetPanel* owner, bool floating)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus),
          owner_(owner), floating_(floating) {
        setObjectName("VelmoraFloatingWidget");
        setWindowTitle("Velmora widget");
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TranslucentBackground);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* card = new QFrame(this);
        card->setObjectName("widgetCard");
        card->setStyleSheet(QString("#widgetCard { background: rgba(28, 28, 30, 235); border-radius: %1px; }")
                                .arg(floating ? 16 : 12));
        layout->addWidget(card);
    }
    void detach() { owner_ = nullptr; }

protected:
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
    std::optional<QPoint> dragOffset_;
};

class QtWidgetPanel final : public WidgetPanel {
public:
    QtWidgetPanel(const WidgetRect& frame, bool floating) : window_(new PanelWindow(this, floating)) {
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
    return std::make_unique<QtWidgetPanel>(frame, floating);
}

std::vector<WidgetScreen> QtWidgetWindowing::screens() const {
    std::vector<WidgetScreen> out;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) out.push_back(describe(primary));
    for (const QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) out.push_back(describe(s));
    return out;
}

}  // namespace velmora
