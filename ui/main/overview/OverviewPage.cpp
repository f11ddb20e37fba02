// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/overview/OverviewPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/main/strip/SystemPressureStrip.h"
#include "ui/style/Fonts.h"

namespace velmora {

OverviewPage::OverviewPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    strip_ = new SystemPressureStrip(this);
    layout->addWidget(strip_);
    auto* heading = new QLabel("Overview", this);
    heading->setTextFormat(Qt::PlainText);
    heading->setFont(roleFont(TextRole::largeTitle, QFont::Bold));
    heading->setContentsMargins(28, 24, 28, 0);
    layout->addWidget(heading);
    layout->addStretch(1);
}

void OverviewPage::refresh() { strip_->setSnapshot(state_.sampler->systemSnapshot()); }

}  // namespace velmora
