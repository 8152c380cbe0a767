#include "app/edits.h"

#include "app/frame_loop.h"
#include "app/runs.h"
#include "app/window_state.h"
#include "cli/animal_file.h"
#include "neuron/neuron.h"
#include "render/world_view.h"
#include "world/edit.h"
#include "cli/session.h"
#include "world/timeline.h"
#include "world/world.h"

#include <cmath>
#include <sstream>

namespace {

animal_type* selected(window_state_type& state) { return view_selected(state.world, state.view); }

bool told(window_state_type& state, const std::string& problem)
{
    if (!problem.empty()) state.show_problem(problem);
    return problem.empty();
}

// The genes of Copy Genes' text, per neuron its weights then its bias, if it fits the animal's network.
std::string genes_of_text(const std::string& text, const animal_type* animal, std::vector<double>& genes)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    long long neurons = 0;
    if (!(in >> neurons) || neurons != animal->num_neurons)
        return in.fail() ? std::string("The clipboard holds no genes: copy them with the Animal panel's Copy Genes")
                         : "The genes on the clipboard are not a network of " + std::to_string(animal->num_neurons) + " neurons";
    for (const neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next) {
        long long id = 0, inputs = 0;
        double bias = 0.0;
        if (!(in >> id >> bias >> inputs) || id != static_cast<long long>(neuron->id) || inputs != static_cast<long long>(neuron->input_count))
            return "The genes on the clipboard do not fit the network of neuron " + std::to_string(neuron->id);
        for (long long i = 0; i < inputs; ++i) {
            double weight = 0.0;
            if (!(in >> weight)) return "The genes on the clipboard end early";
            genes.push_back(weight);
        }
        genes.push_back(bias);
    }
    std::string rest;
    if (in >> rest) return "The genes on the clipboard go on past the network";
    return {};
}

}  // namespace

void edits_begin_step(window_state_type& state) { session_begin_edit(state.session, state.world); }

bool edits_undo(window_state_type& state)
{
    const bool undone = session_undo(state.session, state.world, [&state](std::size_t change) { return runs_go_before_change(state, change); });
    if (undone) view_changed(state);
    return undone;
}

namespace {

// A step by the kind of its first change, as Edit's Undo and Redo name it.
std::string step_name(const run_event_type* event)
{
    if (event == nullptr) return {};
    switch (event->kind) {
    case event_move: return "Drag";
    case event_clone: return "Clone";
    case event_remove: return "Remove";
    case event_genes: return "Paste Genes";
    case event_add_founder: return "Add Animal";
    case event_add_plant_at:
    case event_remove_plants_in: return "Brush";
    default: return "Edit";
    }
}

}  // namespace

std::string edits_undo_name(const window_state_type& state) { return step_name(session_undo_event(state.session, state.world)); }

std::string edits_redo_name(const window_state_type& state) { return step_name(session_redo_event(state.session)); }

bool edits_redo(window_state_type& state)
{
    return session_redo(state.session, [&state](std::size_t branch) { return runs_switch(state, branch); });
}

namespace {

// One step of one edit of the selected animal, if there is one.
void edit_selected(window_state_type& state, std::string (*make)(world_type&, std::uint64_t))
{
    animal_type* animal = selected(state);
    if (animal == nullptr) return;
    edits_begin_step(state);
    told(state, make(state.world, animal->id));
    view_changed(state);
}

}  // namespace

void edits_remove_selected(window_state_type& state) { edit_selected(state, world_remove_animal); }

void edits_clone_selected(window_state_type& state)
{
    const animal_type* original = selected(state);
    const std::uint64_t before = original != nullptr ? state.world.last_id : 0;
    edit_selected(state, [](world_type& world, std::uint64_t id) { return world_clone_animal(world, id); });
    // The copy is the one selected, so that it shows.
    if (original != nullptr && state.world.last_id > before) {
        view_select(state.world, state.view, world_find_animal(state.world, state.world.last_id));
        view_changed(state);
    }
}

void edits_paste_genes(window_state_type& state, const std::string& text)
{
    animal_type* animal = selected(state);
    if (animal == nullptr) return;
    std::vector<double> genes;
    if (!told(state, genes_of_text(text, animal, genes))) return;
    edits_begin_step(state);
    told(state, world_set_genes(state.world, animal->id, genes));
    view_changed(state);
}

void edits_move_selected(window_state_type& state, double x, double y)
{
    if (animal_type* animal = selected(state)) world_move_animal(state.world, animal->id, x, y);
}

void edits_brush(window_state_type& state, double x, double y, bool remove)
{
    world_type& world = state.world;
    if (x < 0.0 || y < 0.0 || x > world.width || y > world.height) return;
    if (remove) {
        const double r = world.plant_size * 2.0;
        world_remove_plants_in(world, x - r, y - r, x + r, y + r);
    } else {
        world_add_plant_at(world, x, y);
    }
}

void edits_save_animal(window_state_type& state, const std::string& path)
{
    animal_type* animal = selected(state);
    if (animal == nullptr) {
        state.show_problem("Select an animal to save first");
        return;
    }
    if (const std::string reason = animal_file_write(path, animal_file_of(state.world, animal)); !reason.empty())
        state.show_problem("Unable to save " + path + ": " + reason);
}

void edits_add_animal_file(window_state_type& state, const std::string& path)
{
    animal_file_type animal;
    if (const std::string problem = animal_file_read(path, animal); !problem.empty()) {
        state.show_problem("Unable to add " + problem);
        return;
    }
    if (const std::string problem = animal_file_fit_problem(state.world, animal); !problem.empty()) {
        state.show_problem("Unable to add " + path + ": " + problem);
        return;
    }
    const view_type& view = state.view;
    const double x = view_world_x(state.world, view, view.display_x / 2), y = view_world_y(state.world, view, view.display_y / 2);
    edits_begin_step(state);
    std::uint64_t made = 0;
    if (told(state, world_add_founder(state.world, x, y, 0.0, animal.genes, animal.id, &made)))
        view_select(state.world, state.view, world_find_animal(state.world, made));
    view_changed(state);
}
