#pragma once
#include <QPointer>
#include <QWidget>

#include "platform/SaveDialog.h"

namespace velmora {

// A non-modal save dialog for JSON files over the given window.
class QtSaveDialog final : public SaveDialog {
public:
    void setParentWindow(QWidget* window) { parent_ = window; }
    void chooseJsonFile(const std::string& suggestedName,
                        std::function<void(std::optional<std::string> path)> completion) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace velmora
