#include "app/world_dialogs.h"

#include "world/world_file.h"

#include <QFile>
#include <QFileDialog>

namespace {

std::string ask_with_file_dialog(bool saving)
{
    QFileDialog dialog(nullptr, QString(), QStringLiteral("."), QStringLiteral("World files (*.dat)"));
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (saving) {
        dialog.setDefaultSuffix(QStringLiteral("dat"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace

std::string (*file_dialog)(bool saving) = ask_with_file_dialog;

void world_save()
{
    const std::string path = file_dialog(true);
    if (!path.empty()) world_save_file(path);
}

void world_load()
{
    const std::string path = file_dialog(false);
    if (!path.empty()) world_load_file(path);
}
