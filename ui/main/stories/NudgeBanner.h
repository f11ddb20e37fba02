#pragma once
#include <QWidget>

namespace velmora {

// The yellow card above the filters while browser stories stay unsure for want of the extension:
// why, "Show me how", and a close button. What both do is the page's business.
class NudgeBanner final : public QWidget {
    Q_OBJECT
public:
    explicit NudgeBanner(QWidget* parent = nullptr);

signals:
    void showMe();
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace velmora
