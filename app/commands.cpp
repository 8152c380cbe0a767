#include "app/commands.h"

#include "app/chart_window.h"
#include "app/settings_dialog.h"
#include "animal/animal.h"
#include "app/frame_loop.h"
#include "app/inspector.h"
#include "app/recorder.h"
#include "app/edits.h"
#include "app/runs.h"
#include "app/runs_window.h"
#include "app/window_state.h"
#include "app/world_dialogs.h"
#include "plant/plant.h"
#include "render/neuron_view.h"
#include "render/world_view.h"
#include "world/world.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

enum key_code : unsigned {
    key_escape = 0x1B,
    key_space = 0x20,
    key_left = 0x25,
    key_up_arrow = 0x26,
    key_right = 0x27,
    key_down_arrow = 0x28,
};

void rearm_update_timer(window_state_type& state) { state.set_timer(update_timer_id, state.timer_val); }

// A whole generation's updates at once; paused, too, the world then pausing again.
void run_one_generation(window_state_type& state)
{
    world_type& world = state.world;
    const bool running = world.running;
    world.running = true;
    for (int i = 0; i < world.generation_length; ++i) tick_world_update(state);
    world.running = running;
}

void neurons_show(window_state_type& state)
{
    if (state.neuron_window == nullptr) return;
    neuron_view_show(*state.neuron_window, state.world.animals);
    window_panel_show(state.neuron_window, true);
}

}  // namespace

namespace {

constexpr int chord(QKeyCombination keys) { return keys.toCombined(); }

// The README's key table is this list, row for row (a test compares them).
const key_row_type key_list[] = {
    {"W / S", "manual steering: forward / backward (with A or D to turn while moving)"},
    {"A / D", "manual steering: turn left / right"},
    {"M", "manual mode on or off: the first animal follows W, A, S, D instead of its network", menu_manual},
    {"X", "drawing on or off (the picture stands still; the simulation runs faster)", menu_drawing},
    {"Space", "add an animal", menu_add_animal},
    {"Ctrl+Space / Pause", "pause, or go on", menu_pause, chord(Qt::CTRL | Qt::Key_Space), Qt::Key_Pause},
    {"Up / Down", "update timer period 1 ms shorter (not below 1 ms) / longer (start: 40 ms)"},
    {"Left / Right", "one world update per tick fewer (not below 1) / more"},
    {"1", "1 world update per tick", menu_normal_speed},
    {"2", "200 world updates per tick"},
    {"G", "run a whole generation at once, paused or not", menu_one_generation},
    {"P", "add a plant", menu_add_plant},
    {"F", "remove every plant", menu_remove_plants},
    {"T", "edges wrap around, or block (the default)", menu_wrap},
    {"R", "reset, after the question", menu_reset},
    {"I", "the Animal panel", menu_inspect},
    {"C", "show or hide the Chart panel", menu_chart},
    {"N", "show the Neuron panel (type n in it to hide it)", menu_neurons},
    {"Q", "print the first animal's network on the console"},
    {"Escape", "end the program at once"},
    {"Ctrl+O", "open a world file, a checkpoint or a run file", menu_open, chord(Qt::CTRL | Qt::Key_O)},
    {"Ctrl+S", "save the world to a world file", menu_save_as, chord(Qt::CTRL | Qt::Key_S)},
    {"Ctrl+Shift+S", "save the shown branch's run file", menu_save_run, chord(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
    {"Ctrl+Z", "undo the last edit by hand", menu_undo, chord(Qt::CTRL | Qt::Key_Z)},
    {"Ctrl+Shift+Z", "redo it", menu_redo, chord(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
    {"Alt+Left", "to the start of the generation before", menu_back, chord(Qt::ALT | Qt::Key_Left)},
    {"Alt+Right", "to the start of the generation after", menu_forward, chord(Qt::ALT | Qt::Key_Right)},
    {"Ctrl+D", "clone the selected animal", menu_clone_selected, chord(Qt::CTRL | Qt::Key_D)},
    {"Delete", "remove the selected animal", menu_remove_selected, Qt::Key_Delete},
    {"Ctrl+Shift+V", "paste genes into the selected animal", menu_paste_genes, chord(Qt::CTRL | Qt::SHIFT | Qt::Key_V)},
    {"Ctrl+B", "the plant brush on or off", menu_plant_brush, chord(Qt::CTRL | Qt::Key_B)},
    {"Ctrl++ / Ctrl+-", "zoom in / out", 0},
    {"Ctrl+0", "the whole world", menu_whole_world, chord(Qt::CTRL | Qt::Key_0)},
    {"Ctrl+L", "follow the selected animal", menu_follow, chord(Qt::CTRL | Qt::Key_L)},
    {"Click", "select the animal under the pointer, or none"},
    {"Drag", "pan the view; from the selected animal, move it there (one change, where it is dropped)"},
    {"Click or drag with the brush", "add plants; with Shift, remove them"},
    {"Right click", "an animal's edits"},
    {"Wheel", "zoom towards the pointer"},
};

}  // namespace

const std::span<const key_row_type> key_rows{key_list};

const key_row_type* key_row_of_menu(int id)
{
    for (const key_row_type& row : key_rows)
        if (row.menu == id && id != 0) return &row;
    return nullptr;
}

std::string keys_help_text()
{
    std::string text = "<table>";
    for (const key_row_type& row : key_rows) text += std::string("<tr><td><b>") + row.keys + "</b></td><td>" + row.what + "</td></tr>";
    return text + "</table><p>Held keys act again whenever any key goes down; M, X, C, R and Escape act only on their own press.</p>";
}

bool menu_checkable(int id)
{
    switch (id) {
    case menu_pause: case menu_plant_brush: case menu_vision: case menu_chart: case menu_follow:
    case menu_keep_proportions: case menu_manual: case menu_drawing: case menu_wrap: return true;
    default: return false;
    }
}

bool menu_checked(const window_state_type& state, int id)
{
    const world_type& world = state.world;
    switch (id) {
    case menu_pause: return !world.running;
    case menu_plant_brush: return state.plant_brush;
    case menu_vision: return state.view.show_vision;
    case menu_chart: return state.chart_window != nullptr && window_panel_shown(state.chart_window);
    case menu_follow: return state.view.follow;
    case menu_keep_proportions: return state.view.keep_proportions;
    case menu_manual: return world.mode_manual;
    case menu_drawing: return world.draw_enabled;
    case menu_wrap: return world.wrap_edges;
    default: return false;
    }
}

int speed_position(const window_state_type& state)
{
    if (state.world.updates_per_tick <= 1) return std::clamp(40 - state.timer_val, 0, 39);
    const double share = std::log(std::min(state.world.updates_per_tick, 200)) / std::log(200.0);
    return 40 + static_cast<int>(std::lround(share * (speed_positions - 40)));
}

void speed_set(window_state_type& state, int position)
{
    position = std::clamp(position, 0, speed_positions);
    if (position < 40) {
        state.world.updates_per_tick = 1;
        state.timer_val = 40 - position;
    } else {
        state.timer_val = 1;
        const double share = static_cast<double>(position - 40) / (speed_positions - 40);
        state.world.updates_per_tick = std::max(1, static_cast<int>(std::lround(std::pow(200.0, share))));
    }
    rearm_update_timer(state);
}

void key_down(window_state_type& state, unsigned key)
{
    world_type& world = state.world;
    const auto held = [&state](unsigned code) { return state.keys[code & 0xFF] != 0; };
    if (state.replaying) return;
    state.keys[key & 0xFF] = 1;
    if (key == 'M') {
        world_act(world, run_manual(!world.mode_manual));
    } else if (key == 'X') {
        world.draw_enabled = !world.draw_enabled;
    } else if (key == key_escape) {
        QCoreApplication::exit(0);  // the loop ends once this handler is done
    } else if (key == 'C') {
        chart_toggle(state);
    } else if (key == 'I') {
        inspector_show(state);
    }
    // Held keys act on every key-down, in this order, so later rows see earlier ones.
    // What changes the world is a change of its run, so that a replay makes it again.
    if (held(key_space)) world_act(world, run_event_of(event_add_animal));
    if (held(key_down_arrow)) {
        state.timer_val += 1;
        rearm_update_timer(state);
    }
    // Below 1 ms the timer cannot go faster, and Down would seem to do nothing.
    if (held(key_up_arrow) && state.timer_val > 1) {
        state.timer_val -= 1;
        rearm_update_timer(state);
    }
    if (held(key_left) && world.updates_per_tick > 1) world.updates_per_tick -= 1;
    if (held(key_right)) world.updates_per_tick += 1;
    if (key == 'R') reset_check(state);
    if (held('P')) world_act(world, run_event_of(event_add_plant));
    if (held('G')) run_one_generation(state);
    if (held('1')) world.updates_per_tick = 1;
    if (held('2')) world.updates_per_tick = 200;
    if (held('F')) world_act(world, run_event_of(event_remove_plants));
    if (held('T')) world_change_setting(world, setting_wrap, world.wrap_edges ? 0.0 : 1.0);
    if (held('Q') && world.animals != nullptr) animal_show_neurons(world.animals);
    if (held('N')) neurons_show(state);
}

void key_up(window_state_type& state, unsigned key) { state.keys[key & 0xFF] = 0; }

void keys_clear(window_state_type& state) { std::memset(state.keys, 0, sizeof state.keys); }

void main_menu(window_state_type& state, int id)
{
    world_type& world = state.world;
    view_type& view = state.view;
    if (state.replaying) return;
    switch (id) {
    case menu_open: world_load(state); break;
    case menu_save_as: world_save(state); break;
    case menu_save_run: run_save(state); break;
    case menu_back: runs_step(state, -1); break;
    case menu_forward: runs_step(state, 1); break;
    case menu_runs: runs_window_show(state); break;
    case menu_save_snapshot: world_snapshot(state); break;
    case menu_exit: state.close(); break;
    case menu_save_chart: {
        const std::string path = state.chart_file_dialog();
        if (const std::string reason = path.empty() ? std::string() : chart_save(state, path); !reason.empty())
            state.show_problem("Unable to save the chart to " + path + ": " + reason);
        break;
    }
    case menu_settings: settings_edit(state); break;
    case menu_keys: QMessageBox::information(state.dialog_parent, "Keys", QString::fromStdString(keys_help_text())); break;
    case menu_about:
        QMessageBox::about(state.dialog_parent, "About Velmora",
                           "Velmora " VELMORA_VERSION "\n\nAnimals with small neural networks of their own live, eat and "
                           "evolve in a flat world of plants.");
        break;
    case menu_vision: view.show_vision = !view.show_vision; break;
    case menu_chart: chart_toggle(state); break;
    case menu_neurons: neurons_show(state); break;
    case menu_one_generation: run_one_generation(state); break;
    case menu_manual: world_act(world, run_manual(!world.mode_manual)); break;
    case menu_drawing: world.draw_enabled = !world.draw_enabled; break;
    case menu_wrap: world_change_setting(world, setting_wrap, world.wrap_edges ? 0.0 : 1.0); break;
    case menu_keep_proportions:
        view.keep_proportions = !view.keep_proportions;
        view_whole_world(world, view);
        break;
    case menu_reset_layout:
        if (state.reset_layout) state.reset_layout();
        break;
    case menu_remove_animals: world_act(world, run_event_of(event_remove_animals)); break;
    case menu_add_animal: world_act(world, run_event_of(event_add_animal)); break;
    case menu_remove_plants: world_act(world, run_event_of(event_remove_plants)); break;
    case menu_add_plant: world_act(world, run_event_of(event_add_plant)); break;
    case menu_reset: reset_check(state); break;
    case menu_normal_speed: world.updates_per_tick = 1; break;
    case menu_max_speed: world.updates_per_tick = 100; break;
    case menu_pause: world.running = !world.running; break;
    case menu_record: recorder_window_toggle(state); state.refresh_status(); break;
    case menu_zoom_in: view_zoom_at(world, view, view.zoom * 2.0, view.display_x / 2, view.display_y / 2); break;
    case menu_zoom_out: view_zoom_at(world, view, view.zoom / 2.0, view.display_x / 2, view.display_y / 2); break;
    case menu_whole_world: view_whole_world(world, view); break;
    case menu_follow:
        view.follow = view_selected(world, view) != nullptr && !view.follow;
        view_follow(world, view);
        break;
    case menu_inspect: inspector_show(state); break;
    case menu_save_animal: {
        if (view_selected(world, view) == nullptr) {
            state.show_problem("Select an animal to save first");
            break;
        }
        const std::string path = state.file_dialog(file_save_animal);
        if (!path.empty()) edits_save_animal(state, path);
        break;
    }
    case menu_add_animal_file: {
        const std::string path = state.file_dialog(file_open_animal);
        if (!path.empty()) edits_add_animal_file(state, path);
        break;
    }
    case menu_clone_selected: edits_clone_selected(state); break;
    case menu_remove_selected: edits_remove_selected(state); break;
    case menu_paste_genes: edits_paste_genes(state, QGuiApplication::clipboard()->text().toStdString()); break;
    case menu_plant_brush: state.plant_brush = !state.plant_brush; break;
    case menu_undo: edits_undo(state); break;
    case menu_redo: edits_redo(state); break;
    default: break;
    }
}

void reset_check(window_state_type& state)
{
    if (!state.ask_question("Are you sure?", "Reset simulation")) return;
    world_reset(state.world);
    runs_begin(state, true);
}

unsigned key_code_from_qt(int qt_key)
{
    if ((qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) || (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9))
        return static_cast<unsigned>(qt_key);
    // Shifted digits on a US layout still name their digit key.
    static const char shifted_digits[] = ")!@#$%^&*(";
    for (int digit = 0; digit < 10; ++digit)
        if (qt_key == shifted_digits[digit]) return static_cast<unsigned>('0' + digit);
    switch (qt_key) {
    case Qt::Key_Space: return key_space;
    case Qt::Key_Escape: return key_escape;
    case Qt::Key_Left: return key_left;
    case Qt::Key_Up: return key_up_arrow;
    case Qt::Key_Right: return key_right;
    case Qt::Key_Down: return key_down_arrow;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: break;
    }
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F12) return 0x70 + static_cast<unsigned>(qt_key - Qt::Key_F1);
    return 0;  // no code of its own: it still counts as a key-down for the held keys
}
