// What the window program holds besides its widgets: its world, how it shows
// it, the frame loop's counters, the held keys, autosave and recording, and
// the questions and dialogs it goes through. The main window owns one; each
// test makes a fresh one with its window, and puts its own answers in the hooks.
#pragma once

#include "app/recorder.h"
#include "cli/run_file.h"
#include "render/world_view.h"
#include "world/checkpoint.h"
#include "cli/session.h"
#include "world/timeline.h"
#include "world/world.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class QWidget;
class chart_window_widget;
class inspector_widget;
class neuron_window_widget;
class runs_window_widget;

enum file_kind_type {
    file_open,            // a world file or a checkpoint to open
    file_save_world,      // a world file to save
    file_save_snapshot,   // a checkpoint to save
    file_save_video,      // a video to record
    file_save_run,        // a run file to write
    file_save_animal,     // an animal file to write
    file_open_animal,     // an animal file to read
};

// The history folded for the Evolution chart: at most most_buckets buckets
// per series, each the lowest and highest value of the generations it covers;
// only new generations are folded in, so a redraw costs the same however long the run.
struct chart_buckets_type {
    static constexpr std::size_t series = 3;
    static constexpr std::size_t most_buckets = 1024;
    struct bucket_type {
        double low[series];
        double high[series];
    };
    std::vector<bucket_type> buckets;
    std::size_t bucket_size = 1;   // generations per bucket, a power of two
    std::size_t folded = 0;        // history records in the buckets
    std::uint32_t resets = 0;      // the world's resets when they were folded
};

// The size, rate and spacing of a recording Simulation, Record starts, from the command line.
struct window_record_settings_type {
    int width = 640;
    int height = 480;
    int fps = 30;
    std::uint32_t every = 0;
};

inline constexpr std::size_t window_keyframe_budget = std::size_t{256} << 20;   // bytes

struct window_state_type {
    world_type world;                   // the window's one world
    view_type view;                     // what of it shows, in a picture of display_x x display_y

    // The frame loop.
    int timer_val = 40;                 // update timer period, ms; changed by the arrow keys
    int tick_updates_done = 0;          // world updates of the current batch run by earlier ticks
    int frames = 0;                     // update ticks since the last statistics tick
    int frames_per_second = 0;          // frames at the last statistics tick
    int updates = 0;                    // world updates since the last statistics tick
    int updates_per_second = 0;         // world updates at the last statistics tick
    int widest_rate_line = 0;           // pixels; the box cleared under the rate line
    std::uint32_t shown_generation = 0; // the generation the status bar shows
    QImage memdc;                       // the off-screen surface, view.display_x x view.display_y
    unsigned char keys[256] = {};       // held-key table, indexed by the low 8 bits of the key code

    // Autosave.
    bool autosave_enabled = true;       // false with --no-autosave
    int autosave_minutes = 5;           // between autosaves; 0: no autosave at all
    std::thread autosave_writer;        // the autosave being written, if any
    checkpoint_type autosave_captured;  // what it writes; kept, so that the next capture reuses its room

    // The run's course: its start, its keyframes and branches.
    session_type session;               // its start, keyframes (budget: window_keyframe_budget unless changed in
                                        // the Runs window), branches and undo steps
    bool replaying = false;             // a rewind is replaying: the timers and keys wait
    bool plant_brush = false;           // World, Plant Brush: clicks and drags add plants (with Shift, remove them)

    // Recording.
    recorder_type recorder;                       // the window's recording
    window_record_settings_type record_settings;

    // The other windows, owned by the main window; null until made.
    neuron_window_widget* neuron_window = nullptr;
    bool neuron_window_active = false;  // show state at creation: false, so it starts hidden
    chart_window_widget* chart_window = nullptr;
    inspector_widget* inspector = nullptr;
    runs_window_widget* runs_window = nullptr;
    chart_buckets_type chart_buckets;

    // What the main window does for the frame loop and the commands.
    QWidget* dialog_parent = nullptr;             // dialogs and message boxes open over it
    std::function<void(int id, int period)> set_timer;
    std::function<void()> repaint;                // shows the surface anew
    std::function<void()> refresh_status;         // the status bar anew
    std::function<void()> close;                  // as File, Exit
    std::function<void(int minutes)> set_autosave;
    std::function<void()> reset_layout;           // View, Reset Layout: the panels where they start
    // A short word in the status bar of what was done ("Saved the world to ..."); unset: nothing.
    std::function<void(const std::string& text)> tell;

    // The file the run was opened from or last saved to, for the title bar,
    // and the run's changes then: the title marks a run with more.
    std::string file_name;
    std::size_t saved_changes = 0;

    // A drag of the selected animal under way: where it would be dropped,
    // drawn over the picture; the world changes once, at the drop.
    bool drag_shown = false;
    double drag_x = 0.0, drag_y = 0.0;

    // What the user is asked and told: message boxes and file dialogs, or a test's answers.
    std::function<bool(const std::string& text, const std::string& caption)> ask_question;
    std::function<bool(const std::string& text)> ask_to_continue;
    std::function<std::string(file_kind_type kind)> file_dialog;   // empty when cancelled
    std::function<std::string()> chart_file_dialog;                // empty when cancelled
    // A line of text the user types, shown with what it holds; false when cancelled.
    std::function<bool(const std::string& prompt, std::string& text)> ask_text;
    std::function<void(const std::string& text)> show_problem;
    // Told the share done of a replay that runs long; false cancels it. Unset: never cancelled.
    std::function<bool(double share)> replay_progress;

    // The target and share done of a replay under way, for the timeline strip.
    std::uint32_t replay_target = 0;
    double replay_share = 0.0;

    window_state_type();
    ~window_state_type();   // waits for an autosave under way
    window_state_type(const window_state_type&) = delete;
    window_state_type& operator=(const window_state_type&) = delete;
};

// A panel of the main window (the Animal, Neuron, Chart or Runs panel):
// shown and raised in its dock, or hidden, and whether it is shown; a panel
// without a dock is a window of its own.
void window_panel_show(QWidget* panel, bool shown);
bool window_panel_shown(const QWidget* panel);
// The run's changes made so far on the shown branch, as the title counts them.
std::size_t window_run_changes(const window_state_type& state);
void window_mark_saved(window_state_type& state, const std::string& path);   // the title names it, unmarked
