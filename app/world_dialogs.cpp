#include "app/world_dialogs.h"

#include "world/checkpoint.h"
#include "world/world_file.h"

#include <QFile>
#include <QMessageBox>

namespace {

std::string ask_with_file_dialog(file_kind_type kind)
{
    const std::unique_ptr<QFileDialog> dialog = world_file_dialog(kind);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog->selectedFiles().constFirst()).toStdString();
}

void show_in_message_box(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"), QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
    box.exec();
}

}  // namespace

std::unique_ptr<QFileDialog> world_file_dialog(file_kind_type kind)
{
    const bool saving = kind != file_open;
    const QString filter = kind == file_open         ? QStringLiteral("World files and checkpoints (*.dat *.npz)")
                           : kind == file_save_world ? QStringLiteral("World files (*.dat)")
                           : kind == file_save_video ? QStringLiteral("Videos (*.mp4 *.webm *.gif)")
                                                     : QStringLiteral("Checkpoints (*.npz)");
    auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), QStringLiteral("."), filter);
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (saving) {
        dialog->setDefaultSuffix(kind == file_save_world   ? QStringLiteral("dat")
                                 : kind == file_save_video ? QStringLiteral("mp4")
                                                           : QStringLiteral("npz"));
        if (kind != file_save_video) dialog->setOption(QFileDialog::DontConfirmOverwrite);
    }
    return dialog;
}

std::string (*file_dialog)(file_kind_type kind) = ask_with_file_dialog;
void (*show_problem)(const std::string& text) = show_in_message_box;

void world_save()
{
    const std::string path = file_dialog(file_save_world);
    if (!path.empty() && !world_save_file(path)) show_problem(world_file_problem());
}

void world_snapshot()
{
    const std::string path = file_dialog(file_save_snapshot);
    if (!path.empty() && !checkpoint_save(path)) show_problem(checkpoint_refusal());
}

bool world_open(const std::string& path, const world_file_overrides_type& overrides)
{
    // A checkpoint is the whole world as it was; the settings do not stand in for any of it.
    if (checkpoint_is_archive(path)) {
        if (checkpoint_load(path)) return true;
        show_problem(checkpoint_refusal());
        return false;
    }
    if (world_load_file(path, overrides)) return true;
    show_problem(world_file_problem());
    return false;
}

void world_load()
{
    const std::string path = file_dialog(file_open);
    if (!path.empty()) world_open(path);
}
