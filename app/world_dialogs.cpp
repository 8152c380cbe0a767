#include "app/world_dialogs.h"

#include "world/checkpoint.h"
#include "world/world_file.h"

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

void world_save(window_state_type& state)
{
    const std::string path = state.file_dialog(file_save_world);
    if (path.empty()) return;
    if (const std::string problem = world_save_file(state.world, path); !problem.empty()) state.show_problem(problem);
}

void world_snapshot(window_state_type& state)
{
    const std::string path = state.file_dialog(file_save_snapshot);
    if (path.empty()) return;
    if (const std::string problem = checkpoint_save(state.world, path); !problem.empty()) state.show_problem(problem);
}

bool world_open(window_state_type& state, const std::string& path, const world_file_overrides_type& overrides)
{
    // A checkpoint is the whole world as it was; the settings do not stand in for any of it.
    const std::string problem =
        checkpoint_is_archive(path) ? checkpoint_load(state.world, path) : world_load_file(state.world, path, overrides);
    if (problem.empty()) return true;
    state.show_problem(problem);
    return false;
}

void world_load(window_state_type& state)
{
    const std::string path = state.file_dialog(file_open);
    if (!path.empty()) world_open(state, path);
}
