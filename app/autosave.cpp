#include "app/autosave.h"

#include "app/window_state.h"
#include "base/console.h"
#include "cli/options.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

// On the autosave's own thread, which touches nothing of the world: console
// says whether the world writes to the console.
void write(bool console, const checkpoint_type& checkpoint, const std::string& path)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    if (const std::string reason = checkpoint_write(checkpoint, path); !reason.empty() && console)
        write_console(("Unable to autosave to " + path + ": " + reason + "\n").c_str());
}

}  // namespace

std::string autosave_path()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder = state != nullptr && state[0] == '/' ? state : std::string(home != nullptr ? home : ".") + "/.local/state";
    return folder + "/velmora/autosave.npz";
}

void autosave_wait(window_state_type& state)
{
    if (state.autosave_writer.joinable()) state.autosave_writer.join();
}

void autosave_now(window_state_type& state, bool wait)
{
    if (!state.autosave_enabled || state.autosave_minutes <= 0) return;
    autosave_wait(state);  // one at a time, each whole
    const world_type& world = state.world;
    // A world grown beyond what a checkpoint holds (keys add animals and plants) would not load again.
    const std::int64_t animals = world.num_animals;
    if (animals > world_file_max_animals ||
        !world_file_limits_problem(world.width, world.height, world.plant_size, world.animal_size, world.generation_length,
                                   world.num_plants, static_cast<std::int32_t>(animals), world.layer_width, world.layer_count)
             .empty())
        return;
    checkpoint_capture_into(world, state.autosave_captured);
    if (wait) {
        write(world.options.console, state.autosave_captured, autosave_path());
        return;
    }
    state.autosave_writer = std::thread([&state, console = world.options.console, path = autosave_path()] {
        write(console, state.autosave_captured, path);
    });
}

bool autosave_offer(window_state_type& state, const options_type& options)
{
    world_type& world = state.world;
    if (!state.autosave_enabled || !options.world_path.empty() || options.seed_given || options.settings.any())
        return false;
    const std::string path = autosave_path();
    if (!std::filesystem::exists(path)) return false;
    checkpoint_type checkpoint;
    std::string reason = checkpoint_read(path, checkpoint);
    if (reason.empty()) reason = checkpoint_problem(checkpoint);
    if (!reason.empty()) {
        world_say(world, "Unable to load " + path + ": " + reason + "\n");
        return false;
    }
    const QString saved = QFileInfo(QString::fromStdString(path)).lastModified().toString(QStringLiteral("d MMMM yyyy, HH:mm"));
    const std::string question = "Continue the world autosaved on " + saved.toStdString() + ", at generation " +
                                 std::to_string(checkpoint_number(checkpoint, "generation")) + "?";
    // The new world waits behind the question, so that it logs no generation meanwhile.
    const bool running = world.running;
    world.running = false;
    if (!state.ask_to_continue(question)) {
        world.running = running;
        return false;
    }
    checkpoint_apply(world, checkpoint);
    world_say(world, "Resumed from " + path + "\n");
    return true;
}
