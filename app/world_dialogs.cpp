#include "app/world_dialogs.h"

#include "app/runs.h"
#include "app/window_state.h"
#include "cli/session.h"
#include "cli/options.h"
#include "cli/run_file.h"
#include "world/checkpoint.h"
#include "world/world_file.h"

namespace {

void told(window_state_type& state, const std::string& text)
{
    if (state.tell) state.tell(text);
}

}  // namespace

std::unique_ptr<QFileDialog> world_file_dialog(file_kind_type kind)
{
    const bool saving = kind != file_open && kind != file_open_animal;
    const QString filter = kind == file_open         ? QStringLiteral("World files, checkpoints and run files (*.dat *.npz *.toml)")
                           : kind == file_save_world ? QStringLiteral("World files (*.dat)")
                           : kind == file_save_run   ? QStringLiteral("Run files (*.toml)")
                           : kind == file_save_animal || kind == file_open_animal ? QStringLiteral("Animal files (*.animal)")
                           : kind == file_save_video ? QStringLiteral("Videos (*.mp4 *.webm *.gif)")
                                                     : QStringLiteral("Checkpoints (*.npz)");
    auto dialog = std::make_unique<QFileDialog>(nullptr, QString(), QStringLiteral("."), filter);
    dialog->resize(900, 560);   // room for the columns of names, sizes and dates
    dialog->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (saving) {
        dialog->setDefaultSuffix(kind == file_save_world   ? QStringLiteral("dat")
                                 : kind == file_save_video ? QStringLiteral("mp4")
                                 : kind == file_save_run   ? QStringLiteral("toml")
                                 : kind == file_save_animal ? QStringLiteral("animal")
                                                           : QStringLiteral("npz"));
        if (kind != file_save_video) dialog->setOption(QFileDialog::DontConfirmOverwrite);
    }
    return dialog;
}

void world_save(window_state_type& state)
{
    const std::string path = state.file_dialog(file_save_world);
    if (path.empty()) return;
    if (const std::string problem = world_save_file(state.world, path); !problem.empty()) return state.show_problem(problem);
    told(state, "Saved the world to " + path);
}

void world_snapshot(window_state_type& state)
{
    const std::string path = state.file_dialog(file_save_snapshot);
    if (path.empty()) return;
    if (const std::string problem = checkpoint_save(state.world, path); !problem.empty()) return state.show_problem(problem);
    told(state, "Saved a snapshot of the world at generation " + std::to_string(state.world.generation) + " to " + path);
}

bool world_open(window_state_type& state, const std::string& path, const world_settings_type& settings)
{
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".toml") == 0) {
        if (!runs_open(state, path)) return false;
    } else if (const std::string problem = session_open(state.session, state.world, path, settings); !problem.empty()) {
        state.show_problem(problem);
        return false;
    }
    window_mark_saved(state, path);
    told(state, "Opened " + path);
    return true;
}

void world_load(window_state_type& state)
{
    const std::string path = state.file_dialog(file_open);
    if (!path.empty()) world_open(state, path);
}

void run_save(window_state_type& state)
{
    const std::string path = state.file_dialog(file_save_run);
    if (path.empty()) return;
    if (const std::string problem = runs_save(state, state.session.timeline.current, path); !problem.empty()) return state.show_problem(problem);
    window_mark_saved(state, path);
    told(state, "Saved the run to " + path);
}
