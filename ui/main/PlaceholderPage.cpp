#include "ui/main/PlaceholderPage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/style/Fonts.h"

namespace velmora {

PlaceholderPage::PlaceholderPage(const QString& title, QWidget* parent) : Page(parent) {
    body_ = new QVBoxLayout(this);
    body_->setContentsMargins(28, 28, 28, 28);
    body_->setSpacing(16);
    auto* heading = new QLabel(title, this);
    heading->setTextFormat(Qt::PlainText);
    heading->setFont(roleFont(TextRole::largeTitle, QFont::Bold));
    body_->addWidget(heading);
    body_->addStretch(1);
}

}  // namespace velmora
