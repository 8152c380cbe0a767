#include "app/settings_dialog.h"

#include "app/runs.h"

#include "app/window_state.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <limits>

namespace {

QSpinBox* whole_box(QFormLayout* form, const char* name, int low, int high, int value, const char* tip)
{
    auto* box = new QSpinBox;
    box->setRange(low, high);
    box->setValue(value);
    box->setToolTip(tip);
    form->addRow(name, box);
    return box;
}

QDoubleSpinBox* real_box(QFormLayout* form, const char* name, double low, double value, const char* tip)
{
    auto* box = new QDoubleSpinBox;
    box->setDecimals(6);  // as many as a world file keeps
    box->setRange(low, 1e9);
    box->setValue(value);
    box->setToolTip(tip);
    form->addRow(name, box);
    return box;
}

}  // namespace

settings_dialog::settings_dialog(const world_settings_type& shown, int autosave_minutes, QWidget* parent) : QDialog(parent)
{
    setWindowTitle("World settings");
    auto* form = new QFormLayout(this);
    animals = whole_box(form, "Animals", 0, world_file_max_animals, *shown.animals, "--animals: animals a reset makes");
    plants = whole_box(form, "Plants", 0, world_file_max_plants, *shown.plants, "--plants: plants a reset makes");
    width = real_box(form, "World width (units)", world_file_min_size, *shown.width, "--width: world width, in world units");
    height = real_box(form, "World height (units)", world_file_min_size, *shown.height, "--height: world height, in world units");
    layer_count = whole_box(form, "Neuron layers", 1, world_file_max_layer_count, *shown.layer_count,
                            "--layer-count: neuron layers before the two motor neurons");
    layer_width = whole_box(form, "Neurons per layer", 0, world_file_max_layer_width, *shown.layer_width, "--layer-width: neurons per layer");
    generation_length = whole_box(form, "Generation length (updates)", 1, std::numeric_limits<int>::max(),
                                  *shown.generation_length, "--generation-length: world updates per generation");
    mutate_amount = real_box(form, "Mutation amount", -1e9, *shown.mutate_amount,
                             "--mutate-amount: half-width of the uniform noise a mutation adds to a weight");
    animal_size = real_box(form, "Animal size (units)", world_file_min_size, *shown.animal_size,
                           "--animal-size: animal diameter, in world units; at most the world's width and height");
    plant_size = real_box(form, "Plant size (units)", world_file_min_size, *shown.plant_size,
                          "--plant-size: plant diameter, in world units; at most the world's width and height");
    wrap = new QCheckBox;
    wrap->setChecked(shown.wrap);
    wrap->setToolTip("--wrap: edges wrap around instead of blocking");
    form->addRow("Edges wrap around", wrap);
    autosave = whole_box(form, "Autosave every (minutes)", 0, 24 * 60, autosave_minutes,
                         "How often the window keeps the whole world for the next start; 0 turns autosaving off");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText("Reset With These");
    QPushButton* now = buttons->addButton("Apply From Now On", QDialogButtonBox::ApplyRole);
    now->setToolTip("Plants, mutation amount, generation length and edge wrap change now, and the run goes on; "
                    "the other settings need a reset");
    connect(now, &QPushButton::clicked, this, [this] { done(settings_apply_now); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

world_settings_type settings_dialog::settings() const
{
    return world_settings_type{animals->value(),        plants->value(),           width->value(),
                               height->value(),         layer_count->value(),      layer_width->value(),
                               generation_length->value(), mutate_amount->value(), animal_size->value(),
                               plant_size->value(),     wrap->isChecked(),         std::nullopt};
}

world_settings_type settings_of_world(const world_type& world)
{
    return world_settings_type{world.start_animals,   world.start_plants,  world.width,
                               world.height,          world.layer_count,   world.layer_width,
                               world.generation_length, world.mutate_amount, world.animal_size,
                               world.plant_size,      world.wrap_edges,    world.line_horizon};
}

std::string settings_confirm(window_state_type& state, const world_settings_type& settings, bool& reset)
{
    reset = false;
    if (std::string problem = settings_problem(settings); !problem.empty()) return problem;
    if (!state.ask_question("Reset the world with these settings?", "World settings")) return {};
    settings_apply(state.world, settings);
    runs_begin(state, true);
    reset = true;
    return {};
}

std::string settings_change_now(window_state_type& state, const world_settings_type& settings)
{
    world_type& world = state.world;
    const world_settings_type now = settings_of_world(world);
    const auto differs = [](const auto& wanted, const auto& kept) { return wanted && *wanted != *kept; };
    if (differs(settings.animals, now.animals) || differs(settings.width, now.width) || differs(settings.height, now.height) ||
        differs(settings.layer_count, now.layer_count) || differs(settings.layer_width, now.layer_width) ||
        differs(settings.animal_size, now.animal_size) || differs(settings.plant_size, now.plant_size))
        return "Only plants, the mutation amount, the generation length and edge wrap change during a run; "
               "the other settings need Reset With These";
    if (differs(settings.plants, now.plants)) world_change_setting(world, "plants", *settings.plants);
    if (differs(settings.mutate_amount, now.mutate_amount)) world_change_setting(world, "mutate_amount", *settings.mutate_amount);
    if (differs(settings.generation_length, now.generation_length))
        world_change_setting(world, "generation_length", *settings.generation_length);
    if (settings.wrap != now.wrap) world_change_setting(world, "wrap", settings.wrap ? 1.0 : 0.0);
    return {};
}

void settings_edit(window_state_type& state)
{
    settings_dialog dialog(settings_of_world(state.world), state.autosave_minutes, state.dialog_parent);
    for (int result = dialog.exec(); result != QDialog::Rejected; result = dialog.exec()) {
        state.set_autosave(dialog.autosave->value());
        bool reset = false;
        const std::string problem = result == settings_apply_now ? settings_change_now(state, dialog.settings())
                                                                 : settings_confirm(state, dialog.settings(), reset);
        if (problem.empty()) return;
        state.show_problem(problem);
    }
}
