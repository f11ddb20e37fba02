#pragma once
#include <vector>

#include <QWidget>

#include "ui/main/stories/StoriesLogic.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmora {

// The search field, "Clear" while any filter narrows the list, and the app and impact pickers.
// It shows filters it is given and reports the user's edits; the page owns the filters.
class StoriesFilterBar final : public QWidget {
    Q_OBJECT
public:
    explicit StoriesFilterBar(QWidget* parent = nullptr);
    // Shows `filters` without emitting; the picker lists `options` ("All apps" first).
    void show(const stories::Filters& filters, const std::vector<stories::AppOption>& options);
    const stories::Filters& filters() const { return filters_; }

signals:
    void edited();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void userEdit(stories::Filters next);

    stories::Filters filters_;
    std::vector<stories::AppOption> options_;
    QLineEdit* search_ = nullptr;
    QPushButton* clear_ = nullptr;
    QComboBox* app_ = nullptr;
    QComboBox* impact_ = nullptr;
};

}  // namespace velmora
