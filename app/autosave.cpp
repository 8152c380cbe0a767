#include "app/autosave.h"

#include "base/console.h"
#include "cli/options.h"
#include "world/checkpoint.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

std::thread writer;           // the autosave being written, if any
checkpoint_type captured;     // what it writes; kept, so that the next capture reuses its room

bool ask_with_message_box(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velmora"), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void write(const checkpoint_type& checkpoint, const std::string& path)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::string reason;
    if (!checkpoint_write(checkpoint, path, reason)) write_console(("Unable to autosave to " + path + ": " + reason + "\n").c_str());
}

}  // namespace

bool autosave_enabled = true;
int autosave_minutes = 5;
bool (*ask_to_continue)(const std::string& text) = ask_with_message_box;

std::string autosave_path()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder = state != nullptr && state[0] == '/' ? state : std::string(home != nullptr ? home : ".") + "/.local/state";
    return folder + "/velmora/autosave.npz";
}

void autosave_wait()
{
    if (writer.joinable()) writer.join();
}

void autosave_now(bool wait)
{
    if (!autosave_enabled || autosave_minutes <= 0 || world == nullptr) return;
    autosave_wait();  // one at a time, each whole
    // A world grown beyond what a checkpoint holds (keys add animals and plants) would not load again.
    const std::int64_t animals = world->num_animals;
    if (animals > world_file_max_animals ||
        !world_file_limits_problem(world->width, world->height, world->plant_size, world->animal_size, world->generation_length,
                                   world->num_plants, static_cast<std::int32_t>(animals), world->layer_width, world->layer_count)
             .empty())
        return;
    checkpoint_capture_into(captured);
    if (wait) {
        write(captured, autosave_path());
        return;
    }
    writer = std::thread([path = autosave_path()] { write(captured, path); });
}

bool autosave_offer(const options_type& options)
{
    if (!autosave_enabled || !options.world_path.empty() || options.seed_given || options.settings.any() || options.settings.wrap)
        return false;
    const std::string path = autosave_path();
    if (!std::filesystem::exists(path)) return false;
    checkpoint_type checkpoint;
    std::string reason;
    if (!checkpoint_read(path, checkpoint, reason) || !(reason = checkpoint_problem(checkpoint)).empty()) {
        write_console(("Unable to load " + path + ": " + reason + "\n").c_str());
        return false;
    }
    const QString saved = QFileInfo(QString::fromStdString(path)).lastModified().toString(QStringLiteral("d MMMM yyyy, HH:mm"));
    const std::string question = "Continue the world autosaved on " + saved.toStdString() + ", at generation " +
                                 std::to_string(checkpoint_number(checkpoint, "generation")) + "?";
    // The new world waits behind the question, so that it logs no generation meanwhile.
    const bool running = world->running;
    world->running = false;
    if (!ask_to_continue(question)) {
        world->running = running;
        return false;
    }
    checkpoint_apply(checkpoint);
    write_console(("Resumed from " + path + "\n").c_str());
    return true;
}
