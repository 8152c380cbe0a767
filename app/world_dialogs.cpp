#include "app/world_dialogs.h"

#include "world/world_file.h"

#include <QFile>
#include <QMessageBox>

namespace {

std::string ask_with_file_dialog(bool saving)
{
    const std::unique_ptr<QFileDialog> dialog = world_file_dialog(saving);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog->selectedFiles().constFirst()).toStdString();
}

void show_in_message_box(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
    box.exec();
}

}  // namespace

std::unique_ptr<QFileDialog> world_file_dialog(bool saving)
{
    auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), QStringLiteral("."), QStringLiteral("World files (*.dat)"));
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (saving) {
        dialog->setDefaultSuffix(QStringLiteral("dat"));
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
    }
    return dialog;
}

std::string (*file_dialog)(bool saving) = ask_with_file_dialog;
void (*show_problem)(const std::string& text) = show_in_message_box;

void world_save()
{
    const std::string path = file_dialog(true);
    if (!path.empty() && !world_save_file(path)) show_problem(world_file_problem());
}

bool world_open(const std::string& path, const world_file_overrides_type& overrides)
{
    if (world_load_file(path, overrides)) return true;
    show_problem(world_file_problem());
    return false;
}

void world_load()
{
    const std::string path = file_dialog(false);
    if (!path.empty()) world_open(path);
}
