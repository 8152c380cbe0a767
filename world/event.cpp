#include "world/event.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>

namespace {

using e = run_event_type;
using slot = event_slot_type;

// Ids are kept as doubles by checkpoints, exact up to here.
constexpr std::uint64_t largest_id = std::uint64_t{1} << 53;

// ---- Making the changes.

// Inside the world, a body's half-size from its edges where the world is that large.
double inside(double value, double side, double margin)
{
    if (side <= 2.0 * margin) return side / 2.0;
    return std::clamp(value, margin, side - margin);
}

std::size_t genes_per_animal(const world_type& world) { return animal_genes_for_shape(world.layer_count, world.layer_width); }

void apply_setting(world_type& world, const e& event)
{
    const setting_row_type& row = setting_row(event.setting);
    row.set(world, event.value);
    if (row.changed != nullptr) row.changed(world);
}

void apply_add_plant(world_type& world, const e&) { add_random_plant(world); }
void apply_remove_plants(world_type& world, const e&) { world_free_plants(world); }
void apply_add_animal(world_type& world, const e&) { world_add_animal(world); }
void apply_remove_animals(world_type& world, const e&) { world_free_animals(world); }
void apply_manual(world_type& world, const e& event) { world.mode_manual = event.on; }
void apply_steer(world_type& world, const e& event) { animal_motion(world, event.left, event.right); }

void apply_move(world_type& world, const e& event)
{
    animal_type* animal = world_find_animal(world, event.id);
    if (animal == nullptr) return;
    animal->x = inside(event.x, world.width, animal->size_x / 2);
    animal->y = inside(event.y, world.height, animal->size_y / 2);
    grid_move_animal(world, animal);
}

void apply_clone(world_type& world, const e& event)
{
    animal_type* animal = world_find_animal(world, event.id);
    if (animal == nullptr) return;
    std::vector<double> genes(genes_per_animal(world));
    animal_export_chromosome(animal, genes.data());
    const animal_type original = *animal;
    world_add_animal(world);
    animal_type* clone = world.animals;
    animal_inport_chromosome(world, clone, genes.data());
    // Beside the original, a body's width along its heading, inside the world.
    clone->heading = original.heading;
    double sine, cosine;
    math_sincos(world.math, original.heading, sine, cosine);
    clone->x = inside(original.x + original.size_x * cosine, world.width, clone->size_x / 2);
    clone->y = inside(original.y + original.size_y * sine, world.height, clone->size_y / 2);
    clone->parent_a = clone->parent_b = original.id;
    clone->founder = original.founder;
    clone->line = original.line;
    grid_move_animal(world, clone);
}

void apply_remove(world_type& world, const e& event)
{
    animal_type* animal = world_find_animal(world, event.id);
    if (animal == nullptr) return;
    world_lineage_record(world, animal);
    world_lineage_flush(world);
    for (animal_type** at = &world.animals; *at != nullptr; at = &(*at)->next)
        if (*at == animal) {
            *at = animal->next;
            break;
        }
    free_neuron_list(world.network_edits, animal->neurons);
    delete animal;
    world.num_animals -= 1;
    world.animal_frees += 1;   // views that hold an animal must drop it
    // The animals filed in the index again, as after a removal.
    grid_clear_animals(world);
    for (animal_type* other = world.animals; other != nullptr; other = other->next) grid_add_animal(world, other);
    neuron_pack_clear(world.networks, world.network_edits);
}

void apply_genes(world_type& world, const e& event)
{
    animal_type* animal = world_find_animal(world, event.id);
    if (animal != nullptr && event.genes.size() == genes_per_animal(world)) animal_inport_chromosome(world, animal, event.genes.data());
}

void apply_add_founder(world_type& world, const e& event)
{
    if (event.genes.size() != genes_per_animal(world)) return;
    world_add_animal(world);
    animal_type* animal = world.animals;
    animal_inport_chromosome(world, animal, event.genes.data());
    animal->x = inside(event.x, world.width, animal->size_x / 2);
    animal->y = inside(event.y, world.height, animal->size_y / 2);
    animal->heading = std::fmod(std::fmod(event.heading, two_pi) + two_pi, two_pi);
    animal->came_from = event.id;
    grid_move_animal(world, animal);
}

void apply_add_plant_at(world_type& world, const e& event)
{
    add_plant(world, inside(event.x, world.width, 0.0), inside(event.y, world.height, 0.0), world.plant_size, world.plant_size);
}

void apply_remove_plants_in(world_type& world, const e& event)
{
    const double x0 = std::min(event.x, event.x1), x1 = std::max(event.x, event.x1);
    const double y0 = std::min(event.y, event.y1), y1 = std::max(event.y, event.y1);
    for (plant_type** at = &world.plants; *at != nullptr;) {
        plant_type* plant = *at;
        if (plant->x >= x0 && plant->x <= x1 && plant->y >= y0 && plant->y <= y1) {
            *at = plant->next;
            grid_remove_plant(world, plant);
            delete plant;
            world.num_plants -= 1;
        } else {
            at = &plant->next;
        }
    }
}

// ---- Checks beyond the fields' own.

std::string check_setting(const e& event)
{
    if (event.setting >= setting_count) return "no such setting";
    const setting_row_type& row = setting_row(event.setting);
    if (!row.changes) return std::string(row.name) + " cannot change during a run";
    if (std::string rule = setting_value_problem(row, event.value); !rule.empty())
        return std::string(row.name) + " " + setting_value_text(row, event.value) + ": " + rule;
    return {};
}

std::string check_steer(const e& event)
{
    const auto motor = [](double v) { return v >= -1.0 && v <= 1.0; };
    return motor(event.left) && motor(event.right) ? std::string() : "steer's left and right must be from -1 to 1";
}

// ---- The rows.

constexpr run_event_field_type setting_fields[] = {{"value", &e::value, nullptr, nullptr, nullptr, slot::value}};
constexpr run_event_field_type manual_fields[] = {{"on", nullptr, nullptr, &e::on, nullptr, slot::value}};
constexpr run_event_field_type steer_fields[] = {{"left", &e::left, nullptr, nullptr, nullptr, slot::value},
                                                 {"right", &e::right, nullptr, nullptr, nullptr, slot::value2}};
constexpr run_event_field_type move_fields[] = {{"id", nullptr, &e::id}, {"x", &e::x}, {"y", &e::y}};
constexpr run_event_field_type id_fields[] = {{"id", nullptr, &e::id}};
constexpr run_event_field_type genes_fields[] = {{"id", nullptr, &e::id}, {"genes", nullptr, nullptr, nullptr, &e::genes}};
constexpr run_event_field_type founder_fields[] = {{"x", &e::x},
                                                   {"y", &e::y},
                                                   {"heading", &e::heading},
                                                   {"came_from", nullptr, &e::id, nullptr, nullptr, slot::data, true},
                                                   {"genes", nullptr, nullptr, nullptr, &e::genes}};
constexpr run_event_field_type place_fields[] = {{"x", &e::x}, {"y", &e::y}};
constexpr run_event_field_type corner_fields[] = {{"x0", &e::x}, {"y0", &e::y}, {"x1", &e::x1}, {"y1", &e::y1}};

// The order is that of run_event_kind_type.
constexpr run_event_row_type table[] = {
    {event_setting, "setting", setting_fields, check_setting, apply_setting, false},
    {event_add_plant, "add_plant", {}, nullptr, apply_add_plant, false},
    {event_remove_plants, "remove_plants", {}, nullptr, apply_remove_plants, false},
    {event_add_animal, "add_animal", {}, nullptr, apply_add_animal, false},
    {event_remove_animals, "remove_animals", {}, nullptr, apply_remove_animals, false},
    {event_manual, "manual", manual_fields, nullptr, apply_manual, false},
    {event_steer, "steer", steer_fields, check_steer, apply_steer, false},
    {event_move, "move", move_fields, nullptr, apply_move, true},
    {event_clone, "clone", id_fields, nullptr, apply_clone, true},
    {event_remove, "remove", id_fields, nullptr, apply_remove, true},
    {event_genes, "genes", genes_fields, nullptr, apply_genes, true},
    {event_add_founder, "add_founder", founder_fields, nullptr, apply_add_founder, true},
    {event_add_plant_at, "add_plant_at", place_fields, nullptr, apply_add_plant_at, true},
    {event_remove_plants_in, "remove_plants_in", corner_fields, nullptr, apply_remove_plants_in, true},
};

constexpr bool table_in_order()
{
    for (std::size_t k = 0; k < std::size(table); ++k)
        if (table[k].kind != k) return false;
    return std::size(table) == event_kind_count;
}
static_assert(table_in_order(), "the kinds' rows come in the order of run_event_kind_type");

double field_value(const run_event_type& event, const run_event_field_type& field)
{
    if (field.number != nullptr) return event.*field.number;
    if (field.whole != nullptr) return static_cast<double>(event.*field.whole);
    return event.*field.flag ? 1.0 : 0.0;
}

// A stored value into its field; what is wrong with it otherwise.
std::string set_field(run_event_type& event, const run_event_field_type& field, double value, const char* name)
{
    if (field.number != nullptr) {
        event.*field.number = value;
    } else if (field.whole != nullptr) {
        if (!(value >= 0.0 && value <= static_cast<double>(largest_id) && value == std::floor(value)))
            return std::string(name) + ": " + field.key + " must be a whole number";
        event.*field.whole = static_cast<std::uint64_t>(value);
    } else {
        if (value != 0.0 && value != 1.0) return std::string(name) + " must be true or false";
        event.*field.flag = value != 0.0;
    }
    return {};
}

}  // namespace

std::span<const run_event_row_type> run_event_table() { return table; }

const run_event_row_type& run_event_row(run_event_kind_type kind) { return table[kind]; }

run_event_kind_type run_event_kind_named(std::string_view name, setting_id_type* setting)
{
    for (const run_event_row_type& row : table)
        if (row.kind != event_setting && name == row.name) return row.kind;
    const setting_row_type* row = setting_find(name);
    if (row == nullptr || !row->changes || name.find('-') != std::string_view::npos) return event_kind_count;
    if (setting != nullptr) *setting = row->id;
    return event_setting;
}

std::string run_event_name(const run_event_type& event)
{
    return event.kind == event_setting ? setting_keyword(setting_row(event.setting)) : std::string(table[event.kind].name);
}

std::string run_event_problem(const run_event_type& event)
{
    if (event.kind >= event_kind_count) return "no such kind of change";
    if (event.kind == event_setting) return check_setting(event);
    const run_event_row_type& row = table[event.kind];
    const std::string name = row.name;
    for (const run_event_field_type& field : row.fields) {
        if (field.number != nullptr && !std::isfinite(event.*field.number)) return name + ": " + field.key + " is not a finite number";
        if (field.whole != nullptr && (event.*field.whole > largest_id || (!field.optional && event.*field.whole == 0)))
            return name + ": no animal has id " + std::to_string(event.*field.whole);
        if (field.list != nullptr) {
            if ((event.*field.list).empty()) return name + " needs its " + field.key;
            for (const double value : event.*field.list)
                if (!std::isfinite(value)) return name + ": a gene that is not a finite number";
        }
    }
    return row.check != nullptr ? row.check(event) : std::string();
}

void run_event_apply(world_type& world, const run_event_type& event) { table[event.kind].apply(world, event); }

void run_event_pack(const run_event_type& event, double& value, double& value2, std::vector<double>& data)
{
    value = value2 = 0.0;
    data.clear();
    for (const run_event_field_type& field : table[event.kind].fields) {
        if (field.list != nullptr) {
            data.insert(data.end(), (event.*field.list).begin(), (event.*field.list).end());
            continue;
        }
        (field.slot == slot::value ? value : field.slot == slot::value2 ? value2 : data.emplace_back()) = field_value(event, field);
    }
}

std::string run_event_unpack(run_event_type& event, double value, double value2, const std::vector<double>& data)
{
    const run_event_row_type& row = table[event.kind];
    const std::string name = run_event_name(event);
    bool takes_value = false, takes_value2 = false, list = false;
    std::size_t fixed = 0;
    for (const run_event_field_type& field : row.fields) {
        takes_value = takes_value || field.slot == slot::value;
        takes_value2 = takes_value2 || field.slot == slot::value2;
        list = list || field.list != nullptr;
        fixed += field.slot == slot::data && field.list == nullptr;
    }
    if (!takes_value && value != 0.0) return name + " takes no value";
    if (!takes_value2 && value2 != 0.0) return name + " takes one value";
    if (list ? data.size() <= fixed : data.size() != fixed)
        return list ? name + " needs its genes"
                    : name + " takes " + std::to_string(fixed) + " value" + (fixed == 1 ? "" : "s") + " of data, not " +
                          std::to_string(data.size());
    std::size_t at = 0;
    for (const run_event_field_type& field : row.fields) {
        if (field.list != nullptr) {
            (event.*field.list).assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.end());
            continue;
        }
        const double stored = field.slot == slot::value ? value : field.slot == slot::value2 ? value2 : data[at++];
        if (std::string problem = set_field(event, field, stored, name.c_str()); !problem.empty()) return problem;
    }
    return {};
}

run_event_type run_setting_event(std::uint32_t generation, std::int32_t update, setting_id_type setting, double value)
{
    run_event_type event;
    event.generation = generation;
    event.update = update;
    event.kind = event_setting;
    event.setting = setting;
    event.value = value;
    return event;
}

run_event_type run_event_of(run_event_kind_type kind, std::uint32_t generation, std::int32_t update)
{
    run_event_type event;
    event.generation = generation;
    event.update = update;
    event.kind = kind;
    return event;
}

run_event_type run_manual(bool on)
{
    run_event_type event = run_event_of(event_manual);
    event.on = on;
    return event;
}

run_event_type run_steer(double left, double right)
{
    run_event_type event = run_event_of(event_steer);
    event.left = left;
    event.right = right;
    return event;
}
