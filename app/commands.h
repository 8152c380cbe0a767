// Keyboard and menu commands. Keys are the classic virtual-key codes: letters
// are their upper-case ASCII codes, digits their ASCII codes, space 0x20,
// Escape 0x1B, the arrows 0x25 (left) to 0x28 (down).
#pragma once

#include <span>
#include <string>

struct window_state_type;

// Menu item identifiers.
inline constexpr int menu_open = 100;
inline constexpr int menu_save_as = 101;
inline constexpr int menu_exit = 102;
inline constexpr int menu_save_chart = 103;
inline constexpr int menu_save_snapshot = 104;
inline constexpr int menu_save_run = 105;
inline constexpr int menu_reset = 200;
inline constexpr int menu_remove_plants = 201;
inline constexpr int menu_add_plant = 202;
inline constexpr int menu_remove_animals = 203;
inline constexpr int menu_add_animal = 204;
inline constexpr int menu_settings = 205;
inline constexpr int menu_normal_speed = 301;
inline constexpr int menu_max_speed = 302;
inline constexpr int menu_pause = 303;
inline constexpr int menu_record = 304;
inline constexpr int menu_back = 305;
inline constexpr int menu_forward = 306;
inline constexpr int menu_runs = 307;
inline constexpr int menu_inspect = 405;
inline constexpr int menu_save_animal = 406;
inline constexpr int menu_add_animal_file = 407;
inline constexpr int menu_clone_selected = 408;
inline constexpr int menu_remove_selected = 409;
inline constexpr int menu_paste_genes = 410;
inline constexpr int menu_plant_brush = 206;
inline constexpr int menu_undo = 701;
inline constexpr int menu_redo = 702;
inline constexpr int menu_zoom_in = 601;
inline constexpr int menu_zoom_out = 602;
inline constexpr int menu_whole_world = 603;
inline constexpr int menu_follow = 604;
inline constexpr int menu_keep_proportions = 605;
inline constexpr int menu_reset_layout = 606;
inline constexpr int menu_vision = 411;         // Show Vision as one checked item
inline constexpr int menu_chart = 412;          // Show Chart as one checked item
inline constexpr int menu_neurons = 413;
inline constexpr int menu_one_generation = 308;
inline constexpr int menu_manual = 309;
inline constexpr int menu_drawing = 310;
inline constexpr int menu_wrap = 311;
inline constexpr int menu_keys = 501;
inline constexpr int menu_about = 502;

// Every key, chord and mouse gesture: Help, Keys lists them, the menus show
// them beside their items (chords as the items' shortcuts), and the README's
// key table is the same list.
struct key_row_type {
    const char* keys;       // as the user reads it: "W / S", "Ctrl+D", "Wheel"
    const char* what;
    int menu = 0;           // the menu item it does, if any
    int chord = 0;          // the item's shortcut, a Qt key combination; 0: the key is read by the key handler
    int other_chord = 0;    // a second shortcut
};
extern const std::span<const key_row_type> key_rows;
const key_row_type* key_row_of_menu(int id);   // null for an item without a key
std::string keys_help_text();                  // the Help menu's table

// The checked items' state: pause, the brush, vision, the chart, following,
// proportions, manual steering, drawing and edges; false for other items.
bool menu_checkable(int id);
bool menu_checked(const window_state_type& state, int id);

// The toolbar's speed slider, 0 to speed_positions: the timer from 40 ms down
// to 1 ms at one update a tick, then up to 200 updates a tick.
inline constexpr int speed_positions = 100;
int speed_position(const window_state_type& state);
void speed_set(window_state_type& state, int position);

void key_down(window_state_type& state, unsigned key);
void key_up(window_state_type& state, unsigned key);
void keys_clear(window_state_type& state);   // every key released, as when the window loses the keyboard
void main_menu(window_state_type& state, int id);
void reset_check(window_state_type& state);

unsigned key_code_from_qt(int qt_key);   // 0 for keys without a code of their own
