#include "app/settings_dialog.h"

#include "app/runs.h"
#include "app/window_state.h"
#include "world/world.h"
#include "world/world_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
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

settings_dialog::settings_dialog(const world_settings_type& shown, int autosave_minutes, QWidget* parent,
                                 const environment_type& environment)
    : QDialog(parent), chosen_map(environment.food_map), chosen_map_path(environment.food_map_path)
{
    setWindowTitle("World settings");
    auto* column = new QVBoxLayout(this);
    pages = new QTabWidget;
    column->addWidget(pages);
    auto* world_page = new QWidget;
    pages->addTab(world_page, "World");
    auto* form = new QFormLayout(world_page);
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
    build_environment_page(environment);
    column->addWidget(buttons);
}

void settings_dialog::build_environment_page(const environment_type& environment)
{
    auto* page = new QWidget;
    pages->addTab(page, "Environment");
    auto* form = new QFormLayout(page);
    // The seasons: a cycle of the plant count.
    seasons = new QCheckBox;
    seasons->setChecked(environment.season_period > 0);
    seasons->setToolTip("The plants follow a cycle of this many generations between low and high, set at each generation's start");
    form->addRow("Seasons", seasons);
    season_period = whole_box(form, "Period (generations)", 2, 1000000, environment.season_period > 0 ? environment.season_period : 40, "Generations per cycle");
    season_low = whole_box(form, "Fewest plants", 0, world_file_max_plants, environment.season_period > 0 ? environment.season_low : 5,
                           "Plants at the cycle's lowest");
    season_high = whole_box(form, "Most plants", 0, world_file_max_plants, environment.season_period > 0 ? environment.season_high : 20,
                            "Plants at the cycle's highest");
    season_shape = new QComboBox;
    season_shape->addItems({"sine", "square"});
    season_shape->setCurrentIndex(environment.season_square ? 1 : 0);
    season_shape->setToolTip("sine: starts half-way, rising; square: high for the first half of each cycle, low for the rest");
    form->addRow("Shape", season_shape);
    // The food map, with a preview as the world view shades it.
    map_preview = new QLabel;
    map_preview->setFixedSize(120, 120);
    map_preview->setFrameShape(QFrame::Box);
    map_preview->setAlignment(Qt::AlignCenter);
    auto* map_row = new QHBoxLayout;
    auto* choose = new QPushButton("Choose...");
    auto* none = new QPushButton("None");
    map_row->addWidget(map_preview);
    map_row->addWidget(choose);
    map_row->addWidget(none);
    form->addRow("Food map", map_row);
    connect(choose, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, "Food map", ".", "Greyscale pictures (*.png)");
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const std::string path = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
        food_map_type map;
        if (const std::string problem = food_map_read(map, path); !problem.empty()) {
            QMessageBox::warning(this, "Velmora", QString::fromStdString(problem));
            return;
        }
        chosen_map = std::move(map);
        chosen_map_path = path;
        show_map();
    });
    connect(none, &QPushButton::clicked, this, [this] {
        chosen_map = food_map_type{};
        chosen_map_path.clear();
        show_map();
    });
    show_map();
    // The changes to come, one row each: generation, setting, value.
    schedule = new QTableWidget(0, 3);
    schedule->setHorizontalHeaderLabels({"Generation", "Setting", "Value"});
    schedule->horizontalHeader()->setStretchLastSection(true);
    schedule->setToolTip("Changes the run makes at the start of a generation: plants, mutate_amount, generation_length or wrap "
                         "(1 on, 0 off); Apply From Now On keeps them");
    for (const run_event_type& change : environment.schedule) add_change_row(change.generation, change.setting, change.value);
    auto* schedule_buttons = new QHBoxLayout;
    auto* add = new QPushButton("Add Change");
    auto* remove = new QPushButton("Remove Change");
    schedule_buttons->addWidget(add);
    schedule_buttons->addWidget(remove);
    form->addRow("Scheduled changes", schedule);
    form->addRow("", schedule_buttons);
    connect(add, &QPushButton::clicked, this, [this] { add_change_row(0, "plants", 10); });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (schedule->currentRow() >= 0) schedule->removeRow(schedule->currentRow());
    });
}

void settings_dialog::add_change_row(std::uint32_t generation, const std::string& setting, double value)
{
    const int row = schedule->rowCount();
    schedule->insertRow(row);
    schedule->setItem(row, 0, new QTableWidgetItem(QString::number(generation)));
    schedule->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(setting)));
    schedule->setItem(row, 2, new QTableWidgetItem(QString::number(value, 'g', 17)));
}

void settings_dialog::show_map()
{
    if (!food_map_on(chosen_map)) {
        map_preview->setPixmap(QPixmap());
        map_preview->setText("none:\nplants grow\nanywhere");
        return;
    }
    double most = 0.0;
    for (const double weight : chosen_map.weights) most = std::max(most, weight);
    QImage picture(static_cast<int>(chosen_map.width), static_cast<int>(chosen_map.height), QImage::Format_Grayscale8);
    for (std::uint32_t y = 0; y < chosen_map.height; ++y)
        for (std::uint32_t x = 0; x < chosen_map.width; ++x)
            picture.scanLine(static_cast<int>(y))[x] = static_cast<uchar>(std::lround(255.0 * chosen_map.weights[y * chosen_map.width + x] / most));
    map_preview->setPixmap(QPixmap::fromImage(picture.scaled(map_preview->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}

std::string settings_dialog::environment(environment_type& out) const
{
    environment_type made;
    if (seasons->isChecked()) {
        made.season_period = season_period->value();
        made.season_low = season_low->value();
        made.season_high = season_high->value();
        made.season_square = season_shape->currentIndex() == 1;
        if (std::string problem = run_seasons_problem(made.season_period, made.season_low, made.season_high); !problem.empty()) return problem;
    }
    made.food_map = chosen_map;
    made.food_map_path = chosen_map_path;
    for (int row = 0; row < schedule->rowCount(); ++row) {
        const auto cell = [this, row](int column) { return schedule->item(row, column) ? schedule->item(row, column)->text() : QString(); };
        bool whole = false, real = false;
        const qlonglong generation = cell(0).toLongLong(&whole);
        const double value = cell(2).toDouble(&real);
        const std::string setting = cell(1).trimmed().toStdString();
        const std::string where = "Scheduled change " + std::to_string(row + 1) + ": ";
        if (!whole || generation < 0 || generation > 4294967295LL) return where + "the generation must be a whole number of at least 0";
        if (!run_setting_changes(setting)) return where + "the setting must be plants, mutate_amount, generation_length or wrap";
        if (!real) return where + "the value must be a number";
        made.schedule.push_back(run_event_type{static_cast<std::uint32_t>(generation), 0, setting, value, 0.0});
    }
    std::stable_sort(made.schedule.begin(), made.schedule.end(),
                     [](const run_event_type& a, const run_event_type& b) { return a.generation < b.generation; });
    out = std::move(made);
    return {};
}

environment_type environment_of_world(const window_state_type& state)
{
    const world_type& world = state.world;
    environment_type environment;
    environment.season_period = world.season_period;
    environment.season_low = world.season_low;
    environment.season_high = world.season_high;
    environment.season_square = world.season_square;
    environment.food_map = world.food_map;
    environment.food_map_path = state.run_start.food_map_opened;
    environment.schedule = world_scheduled(world);
    return environment;
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

std::string settings_confirm(window_state_type& state, const world_settings_type& settings, bool& reset,
                             const environment_type& environment)
{
    reset = false;
    if (std::string problem = settings_problem(settings); !problem.empty()) return problem;
    for (const run_event_type& change : environment.schedule)
        if (std::string problem = run_event_problem(change); !problem.empty()) return problem;
    if (environment.season_period > 0)
        for (const run_event_type& change : environment.schedule)
            if (change.setting == "plants") return "plants follow the seasons: a scheduled change cannot set them";
    if (!state.ask_question("Reset the world with these settings?", "World settings")) return {};
    world_type& world = state.world;
    // The environment first, so that the new population's plants grow by the map.
    world_set_seasons(world, environment.season_period, environment.season_low, environment.season_high, environment.season_square);
    world.food_map = environment.food_map;
    settings_apply(world, settings);
    world.run = run_type{};
    world_schedule(world, environment.schedule);
    runs_begin(state, true);
    reset = true;
    return {};
}

std::string settings_change_now(window_state_type& state, const world_settings_type& settings, const environment_type* environment)
{
    world_type& world = state.world;
    if (environment != nullptr) {
        const environment_type now = environment_of_world(state);
        if (environment->season_period != now.season_period || environment->season_low != now.season_low ||
            environment->season_high != now.season_high || environment->season_square != now.season_square ||
            environment->food_map.weights != now.food_map.weights || environment->food_map.width != now.food_map.width)
            return "Seasons and the food map begin a run: they need Reset With These";
        // Changes before now cannot be made; those the table still shows from the past are kept as made.
        std::vector<run_event_type> changes;
        for (run_event_type change : environment->schedule) {
            if (change.generation == world.generation && world.update_count > 0) change.update = world.update_count;
            changes.push_back(change);
        }
        if (std::string problem = world_schedule(world, changes); !problem.empty()) return problem;
    }
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
    settings_dialog dialog(settings_of_world(state.world), state.autosave_minutes, state.dialog_parent, environment_of_world(state));
    for (int result = dialog.exec(); result != QDialog::Rejected; result = dialog.exec()) {
        state.set_autosave(dialog.autosave->value());
        bool reset = false;
        environment_type environment;
        std::string problem = dialog.environment(environment);
        if (problem.empty())
            problem = result == settings_apply_now ? settings_change_now(state, dialog.settings(), &environment)
                                                   : settings_confirm(state, dialog.settings(), reset, environment);
        if (problem.empty()) return;
        state.show_problem(problem);
    }
}
