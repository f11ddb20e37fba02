#pragma once
#include <QString>

#include "ui/main/Page.h"

class QVBoxLayout;

namespace velmora {

// A page that so far holds only its title, above whatever its owner adds to body().
class PlaceholderPage final : public Page {
public:
    PlaceholderPage(const QString& title, QWidget* parent = nullptr);
    QVBoxLayout* body() const { return body_; }
    void refresh() override {}

private:
    QVBoxLayout* body_;
};

}  // namespace velmora
