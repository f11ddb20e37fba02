#include "platform/qt/QtSaveDialog.h"

#include <QDir>
#include <QFileDialog>

namespace velmora {

void QtSaveDialog::chooseJsonFile(const std::string& suggestedName,
                                  std::function<void(std::optional<std::string> path)> completion) {
    auto* dialog = new QFileDialog(parent_, "Export", QDir::homePath(), "JSON (*.json)");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix("json");
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->selectFile(QString::fromStdString(suggestedName));
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, completion = std::move(completion)](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty()) completion(files.front().toStdString());
        else completion(std::nullopt);
    });
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
}

}  // namespace velmora
