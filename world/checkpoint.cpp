#include "world/checkpoint.h"

#include "animal/animal.h"
#include "base/utility.h"
#include "neuron/neuron.h"
#include "plant/plant.h"
#include "world/grid.h"
#include "world/world.h"
#include "world/world_file.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using shape_type = std::vector<std::uint64_t>;
using owner = checkpoint_owner_type;

[[noreturn]] void fail(const std::string& reason) { throw refusal_error{refusal_type(reason)}; }

constexpr int rays = 2 * animal_vision_count;  // ray ends kept per animal

std::uint32_t neurons_per_animal(const world_type& numbers)
{
    return static_cast<std::uint32_t>(numbers.layer_width) * static_cast<std::uint32_t>(numbers.layer_count) + 2;
}

std::uint32_t genes_per_animal(const world_type& numbers)
{
    return static_cast<std::uint32_t>(animal_genes_for_shape(numbers.layer_count, numbers.layer_width));
}

template <class T> struct member_of;
template <class Record, class Value> struct member_of<Value Record::*> {
    using record_type = Record;
    using value_type = Value;
};

shape_type single(const world_type&) { return {}; }


// A field that is one number of its record.
template <auto Member>
constexpr checkpoint_field_type number(const char* name, owner whose)
{
    using record_type = typename member_of<decltype(Member)>::record_type;
    using value_type = typename member_of<decltype(Member)>::value_type;
    return {name, whose, npz_descr_of<value_type>(), npz_item_size<value_type>, single,
            [](const void* record, unsigned char* out) { npz_put_value(out, static_cast<const record_type*>(record)->*Member); },
            [](world_type&, void* record, const unsigned char* in) {
                static_cast<record_type*>(record)->*Member = npz_get_value<value_type>(in);
            }};
}

// A field of a later format, or one that keyframes share.
constexpr checkpoint_field_type since(std::int32_t format, checkpoint_field_type field)
{
    field.since = format;
    return field;
}
constexpr checkpoint_field_type shared(checkpoint_share_type share, checkpoint_field_type field)
{
    field.share = share;
    return field;
}
constexpr checkpoint_field_type nan_allowed(checkpoint_field_type field)
{
    field.nan_allowed = true;
    return field;
}

// A field that is one number of the world's seasons.
template <auto Member>
constexpr checkpoint_field_type season(const char* name)
{
    using value_type = typename member_of<decltype(Member)>::value_type;
    return {name, owner::world, npz_descr_of<value_type>(), npz_item_size<value_type>, single,
            [](const void* record, unsigned char* out) { npz_put_value(out, static_cast<const world_type*>(record)->seasons.*Member); },
            [](world_type&, void* record, const unsigned char* in) {
                static_cast<world_type*>(record)->seasons.*Member = npz_get_value<value_type>(in);
            },
            4};
}

template <class T> const T& as(const void* record) { return *static_cast<const T*>(record); }
template <class T> T& as(void* record) { return *static_cast<T*>(record); }

// The fields of a checkpoint, in the order of its members. Capture, check and
// apply all walk this one list; a field missing here is missing everywhere,
// and the tests hold it against the records' own fields.
using w = world_type;
using a = animal_type;
using p = plant_type;
using h = generation_record_type;
// A change as the archive keeps it: its kind by name (a setting's by its
// keyword), and its fields in the slots its row of the events' table gives.
struct stored_event_type {
    std::uint32_t generation = 0;
    std::int32_t update = 0;
    std::string setting;
    double value = 0.0;
    double value2 = 0.0;
    std::vector<double> data;
};
using e = stored_event_type;

stored_event_type stored(const run_event_type& event)
{
    stored_event_type kept;
    kept.generation = event.generation;
    kept.update = event.update;
    kept.setting = run_event_name(event);
    run_event_pack(event, kept.value, kept.value2, kept.data);
    return kept;
}

// The change a stored one is, or what is wrong with it.
std::string unstored(const stored_event_type& kept, run_event_type& event)
{
    setting_id_type setting = setting_plants;
    const run_event_kind_type kind = run_event_kind_named(kept.setting, &setting);
    if (kind == event_kind_count) return kept.setting + " is not a change a run makes";
    event = run_event_of(kind, kept.generation, kept.update);
    event.setting = setting;
    if (std::string problem = run_event_unpack(event, kept.value, kept.value2, kept.data); !problem.empty()) return problem;
    return run_event_problem(event);
}

constexpr std::size_t setting_bytes = 24;   // an event's setting name, NUL-padded

constexpr checkpoint_field_type fields_table[] = {
        number<&w::width>("width", owner::world),
        number<&w::height>("height", owner::world),
        number<&w::mutate_rate>("mutate_rate", owner::world),
        since(6, number<&w::mutate_rate_set>("mutate_rate_set", owner::world)),
        since(6, number<&w::seed>("seed", owner::world)),
        {"math", owner::world, npz_descr_of<std::int32_t>(), 4, single,
         [](const void* record, unsigned char* out) { npz_put_value<std::int32_t>(out, as<w>(record).math); },
         [](world_type&, void* record, const unsigned char* in) {
             as<w>(record).math = static_cast<math_type>(npz_get_value<std::int32_t>(in));
         },
         6},
        // The hash of the functions the run was made with (base/exact_math.h): kept, never read into the world.
        {"math_hash", owner::world, npz_descr_of<std::uint64_t>(), 8, single,
         [](const void*, unsigned char* out) { npz_put_value<std::uint64_t>(out, exact_math_hash); },
         [](world_type&, void*, const unsigned char*) {}, 6},
        number<&w::mutate_amount>("mutate_amount", owner::world),
        number<&w::animal_size>("animal_size", owner::world),
        number<&w::plant_size>("plant_size", owner::world),
        number<&w::ave_food>("ave_food", owner::world),
        number<&w::food_sum>("food_sum", owner::world),
        number<&w::generation_length>("generation_length", owner::world),
        number<&w::start_plants>("start_plants", owner::world),
        number<&w::start_animals>("start_animals", owner::world),
        number<&w::layer_width>("layer_width", owner::world),
        number<&w::layer_count>("layer_count", owner::world),
        number<&w::update_count>("update_count", owner::world),
        number<&w::updates_per_tick>("updates_per_tick", owner::world),
        number<&w::generation>("generation", owner::world),
        {"random_state", owner::world, npz_descr_of<std::uint32_t>(), 4, single,
         [](const void* record, unsigned char* out) { npz_put_value(out, as<w>(record).random.state); },
         [](world_type&, void* record, const unsigned char* in) { as<w>(record).random.state = npz_get_value<std::uint32_t>(in); }},
        number<&w::last_id>("last_id", owner::world),
        number<&w::wrap_edges>("wrap_edges", owner::world),
        number<&w::draw_enabled>("draw_enabled", owner::world),
        number<&w::running>("running", owner::world),
        number<&w::mode_manual>("mode_manual", owner::world),
        {"run_next", owner::world, npz_descr_of<std::uint64_t>(), 8, single,
         [](const void* record, unsigned char* out) { npz_put_value<std::uint64_t>(out, as<w>(record).run.next); },
         [](world_type&, void* record, const unsigned char* in) { as<w>(record).run.next = npz_get_value<std::uint64_t>(in); }, 2},
        since(4, number<&w::line_horizon>("line_horizon", owner::world)),
        season<&seasons_type::period>("season_period"),
        season<&seasons_type::low>("season_low"),
        season<&seasons_type::high>("season_high"),
        season<&seasons_type::square>("season_square"),
        // The map's size comes before its weights, whose shape it gives.
        {"food_map_width", owner::world, npz_descr_of<std::uint32_t>(), 4, single,
         [](const void* record, unsigned char* out) { npz_put_value(out, as<w>(record).food_map.width); },
         [](world_type&, void* record, const unsigned char* in) { as<w>(record).food_map.width = npz_get_value<std::uint32_t>(in); }, 4},
        {"food_map_height", owner::world, npz_descr_of<std::uint32_t>(), 4, single,
         [](const void* record, unsigned char* out) { npz_put_value(out, as<w>(record).food_map.height); },
         [](world_type&, void* record, const unsigned char* in) { as<w>(record).food_map.height = npz_get_value<std::uint32_t>(in); }, 4},
        {"food_map", owner::world, "<f8", 8,
         [](const world_type& numbers) { return shape_type{numbers.food_map.height, numbers.food_map.width}; },
         [](const void* record, unsigned char* out) {
             for (const double weight : as<w>(record).food_map.weights) npz_put_value(out, weight), out += 8;
         },
         [](world_type&, void* record, const unsigned char* in) {
             food_map_type& map = as<w>(record).food_map;
             std::vector<double> weights(static_cast<std::size_t>(map.width) * map.height);
             for (double& weight : weights) weight = npz_get_value<double>(in), in += 8;
             // Unsound weights are kept as they are for the check to refuse them.
             if (food_map_set(map, map.width, map.height, weights) != "") map.weights = std::move(weights);
         },
         4, checkpoint_share_type::whole},

        number<&a::x>("animal_x", owner::animal),
        number<&a::y>("animal_y", owner::animal),
        number<&a::size_x>("animal_size_x", owner::animal),
        number<&a::size_y>("animal_size_y", owner::animal),
        number<&a::vel_x>("animal_vel_x", owner::animal),
        number<&a::vel_y>("animal_vel_y", owner::animal),
        number<&a::heading>("animal_heading", owner::animal),
        number<&a::turn>("animal_turn", owner::animal),
        number<&a::speed>("animal_speed", owner::animal),
        // Nobody ate in the generation: every fitness is 0 over 0.
        nan_allowed(number<&a::fitness>("animal_fitness", owner::animal)),
        number<&a::left_motor>("animal_left_motor", owner::animal),
        number<&a::right_motor>("animal_right_motor", owner::animal),
        number<&a::food>("animal_food", owner::animal),
        number<&a::wall_hits>("animal_wall_hits", owner::animal),
        shared(checkpoint_share_type::animal_ids, number<&a::id>("animal_id", owner::animal)),
        number<&a::parent_a>("animal_parent_a", owner::animal),
        number<&a::parent_b>("animal_parent_b", owner::animal),
        number<&a::founder>("animal_founder", owner::animal),
        since(4, number<&a::line>("animal_line", owner::animal)),
        number<&a::born>("animal_born", owner::animal),
        since(5, number<&a::came_from>("animal_came_from", owner::animal)),
        {"animal_touch", owner::animal, "<f8", 8,
         [](const world_type&) { return shape_type{animal_touch_count, 3}; },
         [](const void* record, unsigned char* out) {
             for (const sensor_type& s : as<a>(record).touch) {
                 npz_put_value(out, s.wall);
                 npz_put_value(out + 8, s.plant);
                 npz_put_value(out + 16, s.animal);
                 out += 24;
             }
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (sensor_type& s : as<a>(record).touch) {
                 s = sensor_type{npz_get_value<double>(in), npz_get_value<double>(in + 8), npz_get_value<double>(in + 16)};
                 in += 24;
             }
         }},
        {"animal_vision", owner::animal, "<f8", 8, [](const world_type&) { return shape_type{animal_vision_count}; },
         [](const void* record, unsigned char* out) {
             for (int j = 0; j < animal_vision_count; ++j) npz_put_value(out + 8 * j, as<a>(record).vision[j].plant);
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (int j = 0; j < animal_vision_count; ++j) as<a>(record).vision[j].plant = npz_get_value<double>(in + 8 * j);
         }},
        {"animal_ray_x", owner::animal, "<f8", 8, [](const world_type&) { return shape_type{rays}; },
         [](const void* record, unsigned char* out) {
             for (int r = 0; r < rays; ++r) npz_put_value(out + 8 * r, as<a>(record).ray_x[r]);
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (int r = 0; r < rays; ++r) as<a>(record).ray_x[r] = npz_get_value<double>(in + 8 * r);
         }},
        {"animal_ray_y", owner::animal, "<f8", 8, [](const world_type&) { return shape_type{rays}; },
         [](const void* record, unsigned char* out) {
             for (int r = 0; r < rays; ++r) npz_put_value(out + 8 * r, as<a>(record).ray_y[r]);
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (int r = 0; r < rays; ++r) as<a>(record).ray_y[r] = npz_get_value<double>(in + 8 * r);
         }},
        // Every network has the world's shape, so its neurons and genes are rows of one width.
        {"neuron_out", owner::animal, "<f8", 8, [](const world_type& numbers) { return shape_type{neurons_per_animal(numbers)}; },
         [](const void* record, unsigned char* out) {
             for (const neuron_type* n = as<a>(record).neurons; n != nullptr; n = n->next, out += 8) npz_put_value(out, n->out);
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (neuron_type* n = as<a>(record).neurons; n != nullptr; n = n->next, in += 8) n->out = npz_get_value<double>(in);
         }},
        // Per neuron in list order its scalers, then its bias: the chromosome.
        {"animal_genes", owner::animal, "<f8", 8, [](const world_type& numbers) { return shape_type{genes_per_animal(numbers)}; },
         [](const void* record, unsigned char* out) {
             for (const neuron_type* n = as<a>(record).neurons; n != nullptr; n = n->next) {
                 for (std::uint32_t i = 0; i < n->input_count; ++i, out += 8) npz_put_value(out, n->scaler[i]);
                 npz_put_value(out, n->bias);
                 out += 8;
             }
         },
         [](world_type& world, void* record, const unsigned char* in) {
             neuron_rewrite(world.network_edits, as<a>(record).neurons, [&in](neuron_type& n) {
                 for (std::uint32_t i = 0; i < n.input_count; ++i, in += 8) n.scaler[i] = npz_get_value<double>(in);
                 n.bias = npz_get_value<double>(in);
                 in += 8;
             });
         },
         1, checkpoint_share_type::per_animal},

        number<&p::x>("plant_x", owner::plant),
        number<&p::y>("plant_y", owner::plant),
        number<&p::size_x>("plant_size_x", owner::plant),
        number<&p::size_y>("plant_size_y", owner::plant),

        // The history's columns, as the CSV names them.
        number<&h::generation>("history_generation", owner::history),
        number<&h::food>("history_food", owner::history),
        number<&h::wall>("history_wall", owner::history),
        number<&h::food_per_animal>("history_food_per_animal", owner::history),
        number<&h::best_food>("history_best_food", owner::history),
        number<&h::ave_food>("history_ave_food", owner::history),
        number<&h::animals>("history_animals", owner::history),
        number<&h::plants>("history_plants", owner::history),
        number<&h::gene_spread>("history_gene_spread", owner::history),
        number<&h::lineages>("history_lineages", owner::history),
        {"history_line_founders", owner::history, "<u8", 8, [](const world_type&) { return shape_type{8}; },
         [](const void* record, unsigned char* out) {
             for (int k = 0; k < 8; ++k) npz_put_value(out + 8 * k, as<h>(record).line_founders[k]);
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (int k = 0; k < 8; ++k) as<h>(record).line_founders[k] = npz_get_value<std::uint64_t>(in + 8 * k);
         }},
        {"history_line_animals", owner::history, "<u4", 4, [](const world_type&) { return shape_type{8}; },
         [](const void* record, unsigned char* out) {
             for (int k = 0; k < 8; ++k) npz_put_value(out + 4 * k, as<h>(record).line_animals[k]);
         },
         [](world_type&, void* record, const unsigned char* in) {
             for (int k = 0; k < 8; ++k) as<h>(record).line_animals[k] = npz_get_value<std::uint32_t>(in + 4 * k);
         }},

        // The run's changes, made and to come.
        since(2, number<&e::generation>("event_generation", owner::event)),
        since(2, number<&e::update>("event_update", owner::event)),
        {"event_setting", owner::event, "|S24", setting_bytes, single,
         [](const void* record, unsigned char* out) {
             const std::string& name = as<e>(record).setting;
             std::fill(out, out + setting_bytes, 0);
             std::copy_n(name.begin(), std::min(name.size(), setting_bytes), out);
         },
         [](world_type&, void* record, const unsigned char* in) {
             as<e>(record).setting.assign(in, std::find(in, in + setting_bytes, 0));
         },
         2},
        since(2, number<&e::value>("event_value", owner::event)),
        since(3, number<&e::value2>("event_value2", owner::event)),
        // An edit's data: its length with the change, the values in one list after the changes' order.
        {"event_data_length", owner::event, npz_descr_of<std::uint32_t>(), 4, single,
         [](const void* record, unsigned char* out) { npz_put_value(out, static_cast<std::uint32_t>(as<e>(record).data.size())); },
         [](world_type&, void* record, const unsigned char* in) { as<e>(record).data.resize(npz_get_value<std::uint32_t>(in)); }, 5},
        {"event_data", owner::event_data, "<f8", 8, single,
         [](const void* record, unsigned char* out) { npz_put_value(out, *static_cast<const double*>(record)); },
         [](world_type&, void* record, const unsigned char* in) { *static_cast<double*>(record) = npz_get_value<double>(in); }, 5},
};

// The records of one owner, in the order of their rows.
struct records_type {
    std::vector<const void*> animals, plants, history, events, event_data;
    std::vector<stored_event_type> kept;   // the changes as the archive keeps them

    explicit records_type(const world_type& world)
    {
        animals.reserve(world.num_animals);
        for (const animal_type* a = world.animals; a != nullptr; a = a->next) animals.push_back(a);
        for (const plant_type* p = world.plants; p != nullptr; p = p->next) plants.push_back(p);
        for (const generation_record_type& record : world.history) history.push_back(&record);
        kept.reserve(world.run.events.size());
        for (const run_event_type& event : world.run.events) kept.push_back(stored(event));
        for (const stored_event_type& event : kept) {
            events.push_back(&event);
            for (const double& value : event.data) event_data.push_back(&value);
        }
    }
};

// The member of each name, and the rows each owner has.
class archive_view {
public:
    explicit archive_view(const checkpoint_type& checkpoint)
    {
        for (const checkpoint_array_type& array : checkpoint.arrays) members_[array.name] = &array;
    }

    const checkpoint_array_type* find(const std::string& name) const
    {
        const auto found = members_.find(name);
        return found != members_.end() ? found->second : nullptr;
    }

    // The length of a one-dimensional member; 0 for none or another shape.
    std::uint64_t length(const std::string& name) const
    {
        const checkpoint_array_type* array = find(name);
        return array != nullptr && array->shape.size() == 1 ? array->shape[0] : 0;
    }

    std::string text(const std::string& name) const
    {
        const checkpoint_array_type* array = find(name);
        if (array == nullptr || array->descr.compare(0, 2, "|S") != 0) return {};
        return std::string(array->data.begin(), std::find(array->data.begin(), array->data.end(), 0));
    }

private:
    std::map<std::string, const checkpoint_array_type*> members_;
};

// What an archive holds, checked: its rows per owner and each field's member.
struct checked_type {
    std::int32_t format = 0;
    std::uint64_t animals = 0;
    std::uint64_t plants = 0;
    std::uint64_t generations = 0;
    std::uint64_t events = 0;
    std::uint64_t event_data = 0;   // the values of the changes' data, all together
    std::vector<const checkpoint_array_type*> members;   // per field of the table; null for a member its format lacks
};

std::uint64_t rows_of(const checked_type& checked, owner whose)
{
    switch (whose) {
    case owner::animal: return checked.animals;
    case owner::plant: return checked.plants;
    case owner::history: return checked.generations;
    case owner::event: return checked.events;
    case owner::event_data: return checked.event_data;
    case owner::world: break;
    }
    return 1;
}

// One field's member: there, of its type and shape, its doubles finite.
const checkpoint_array_type& checked_member(const archive_view& view, const checkpoint_field_type& field, const shape_type& shape)
{
    const checkpoint_array_type* array = view.find(field.name);
    const std::string name = field.name;
    if (array == nullptr) fail("it has no " + name);
    if (array->descr != field.descr) fail(name + " holds " + array->descr + " values, expected " + field.descr);
    if (array->shape != shape)
        fail(name + " has the shape " + npz_shape_text(array->shape) + ", expected " + npz_shape_text(shape));
    if (array->descr == "<f8")
        for (std::size_t at = 0; at < array->data.size(); at += 8)
            if (const double value = npz_get_value<double>(array->data.data() + at); !std::isfinite(value) && !(field.nan_allowed && std::isnan(value)))
                fail(name + (field.owner == owner::world ? " is not a finite number" : " holds a value that is not a finite number"));
    return *array;
}

// The world's own numbers, written into numbers as the archive holds them; then every member checked.
checked_type check_archive(const checkpoint_type& checkpoint, world_type& numbers)
{
    const archive_view view(checkpoint);
    const std::span<const checkpoint_field_type> fields = checkpoint_fields();
    const checkpoint_array_type* format_member = view.find("format");
    if (format_member == nullptr) fail("it is not a Velmora checkpoint (it has no format)");
    if (format_member->descr != npz_descr_of<std::int32_t>() || !format_member->shape.empty())
        fail("its format is not a single <i4 number");
    const std::int32_t format = npz_get_value<std::int32_t>(format_member->data.data());
    if (format < 1 || format > checkpoint_format)
        fail("its format " + std::to_string(format) + " is not 1 to " + std::to_string(checkpoint_format) +
             " (written by velmora " + view.text("version") + ")");
    // Format 1 has no run: its world goes on with no changes to come. Format
    // 2 has only changes of settings, which take one value.
    const auto in_format = [format](const checkpoint_field_type& field) { return field.since <= format; };

    checked_type checked;
    checked.format = format;
    checked.members.resize(fields.size());
    for (std::size_t f = 0; f < fields.size(); ++f)
        if (fields[f].owner == owner::world && in_format(fields[f])) {
            if (fields[f].share == checkpoint_share_type::whole &&
                (numbers.food_map.width > food_map_max_side || numbers.food_map.height > food_map_max_side))
                fail("its food map is larger than " + std::to_string(food_map_max_side) + " a side");
            checked.members[f] = &checked_member(view, fields[f], fields[f].inner(numbers));
            fields[f].write(numbers, &numbers, checked.members[f]->data.data());
        }

    const auto rows = [&view](const char* name) {
        const checkpoint_array_type* array = view.find(name);
        if (array == nullptr) fail(std::string("it has no ") + name);
        return view.length(name);
    };
    checked.animals = rows("animal_x");
    checked.plants = rows("plant_x");
    checked.generations = view.length("history_generation");
    checked.events = format >= 2 ? view.length("event_generation") : 0;
    checked.event_data = format >= 5 ? view.length("event_data") : 0;
    if (checked.animals > static_cast<std::uint64_t>(world_file_max_animals))
        fail("it holds " + std::to_string(checked.animals) + " animals, more than " + std::to_string(world_file_max_animals));
    if (checked.plants > static_cast<std::uint64_t>(world_file_max_plants))
        fail("it holds " + std::to_string(checked.plants) + " plants, more than " + std::to_string(world_file_max_plants));
    const world_type& w = numbers;
    const std::string limits = world_file_limits_problem(w.width, w.height, w.plant_size, w.animal_size, w.generation_length,
                                                         static_cast<std::int32_t>(checked.plants),
                                                         static_cast<std::int32_t>(checked.animals), w.layer_width, w.layer_count);
    if (!limits.empty()) fail(limits);
    if (w.update_count < 0 || w.update_count >= w.generation_length)
        fail("update_count must be 0 to " + std::to_string(w.generation_length - 1) + ", found " + std::to_string(w.update_count));
    if (w.start_animals > world_file_max_animals || w.start_plants > world_file_max_plants)
        fail("the counts a reset makes are beyond a world file's limits");
    if (w.updates_per_tick < 1) fail("updates_per_tick must be at least 1");
    if (w.line_horizon < 0) fail("line_horizon must not be negative");
    if (w.seasons.period != 0)
        if (const std::string problem = seasons_problem(w.seasons.period, w.seasons.low, w.seasons.high); !problem.empty()) fail(problem);
    if (!(w.mutate_rate >= 0.0 && w.mutate_rate <= 1.0)) fail("mutate_rate must be from 0 to 1");
    if (w.math != math_system && w.math != math_exact) fail("math must be 0 (system) or 1 (exact)");
    if (format >= 6 && w.math == math_exact) {
        const checkpoint_array_type* made = view.find("math_hash");
        const std::uint64_t hash = made != nullptr && made->data.size() == 8 ? npz_get_value<std::uint64_t>(made->data.data()) : 0;
        if (hash != exact_math_hash) {
            char line[160];
            format_c(line, sizeof line, "it was made with other exact functions (hash %016llx, this velmora's %016llx): it would run differently here",
                     static_cast<unsigned long long>(hash), static_cast<unsigned long long>(exact_math_hash));
            fail(line);
        }
    }
    if (w.food_map.width != 0 || w.food_map.height != 0)
        if (const std::string problem = food_map_problem(w.food_map.width, w.food_map.height, w.food_map.weights); !problem.empty())
            fail("its food map: " + problem);

    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (fields[f].owner == owner::world || !in_format(fields[f])) continue;
        shape_type shape = fields[f].inner(numbers);
        shape.insert(shape.begin(), rows_of(checked, fields[f].owner));
        checked.members[f] = &checked_member(view, fields[f], shape);
    }
    // The changes: each of a kind a run makes, sound values, in order, the next no further than the last.
    stored_event_type before{};
    std::uint64_t data_used = 0;
    const checkpoint_array_type* data = format >= 5 ? view.find("event_data") : nullptr;
    for (std::uint64_t k = 0; k < checked.events; ++k) {
        stored_event_type event;
        for (std::size_t f = 0; f < fields.size(); ++f)
            if (fields[f].owner == owner::event && checked.members[f] != nullptr)
                fields[f].write(numbers, &event, checked.members[f]->data.data() + k * fields[f].item);
        if (event.data.size() > checked.event_data - data_used) fail("change " + std::to_string(k) + ": its data runs past event_data");
        for (double& value : event.data) value = npz_get_value<double>(data->data.data() + 8 * data_used++);
        run_event_type made;
        if (const std::string problem = unstored(event, made); !problem.empty()) fail("change " + std::to_string(k) + ": " + problem);
        if (k > 0 && (event.generation < before.generation || (event.generation == before.generation && event.update < before.update)))
            fail("change " + std::to_string(k) + " comes before the one above it");
        before = std::move(event);
    }
    if (data_used != checked.event_data) fail("event_data holds values no change takes");
    if (numbers.run.next > checked.events) fail("run_next is past the run's changes");
    for (const char* name : {"animal_size_x", "animal_size_y"}) {
        const checkpoint_array_type& sizes = *view.find(name);
        for (std::size_t at = 0; at < sizes.data.size(); at += 8)
            if (!(npz_get_value<double>(sizes.data.data() + at) >= world_file_min_size))
                fail(std::string(name) + " holds a size below 0.000001");
    }
    return checked;
}

// Writes every field of one owner from the archive into the records, row by row.
template <class Record>
void apply_rows(world_type& world, const checked_type& checked, owner whose, std::size_t row, Record& record)
{
    const std::span<const checkpoint_field_type> fields = checkpoint_fields();
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (fields[f].owner != whose || checked.members[f] == nullptr) continue;
        const checkpoint_array_type& array = *checked.members[f];
        const std::size_t width = array.data.size() / std::max<std::uint64_t>(rows_of(checked, whose), 1);
        fields[f].write(world, &record, array.data.data() + row * width);
    }
}

void apply_checked(world_type& world, const checked_type& checked, const world_type& numbers)
{
    const std::span<const checkpoint_field_type> fields = checkpoint_fields();
    std::vector<unsigned char> value;
    const auto take_numbers = [&] {
        for (const checkpoint_field_type& field : fields)
            if (field.owner == owner::world && checked.members[&field - fields.data()] != nullptr) {
                value.resize(std::max<std::size_t>(npz_element_count(field.inner(numbers)), 1) * field.item);
                field.read(&numbers, value.data());
                field.write(world, &world, value.data());
            }
    };
    // Files without an environment load into a world without one, and
    // those from before the rate could be given, with none given.
    world.seasons = seasons_type{};
    food_map_clear(world.food_map);
    world.mutate_rate_set = false;
    world.math = math_system;
    // A reset with the archive's numbers and counts makes the records and
    // sizes the index for them; then every field is written over.
    take_numbers();
    world.start_animals = static_cast<std::int32_t>(checked.animals);
    world.start_plants = static_cast<std::int32_t>(checked.plants);
    world_reset(world);
    std::size_t row = 0;
    // Files from before lines were counted afresh go on with the founders' lines.
    const bool lines_kept = checked.format >= 4;
    for (animal_type* animal = world.animals; animal != nullptr; animal = animal->next, ++row) {
        apply_rows(world, checked, owner::animal, row, *animal);
        if (!lines_kept) animal->line = animal->founder;
        const double s = animal->size_y + animal->size_x;
        animal->sensor_distance = s * 0.25;
        animal->sensor_size = s * 0.125;
        grid_move_animal(world, animal);
    }
    world_free_plants(world);
    for (std::size_t p = checked.plants; p-- > 0;) {
        plant_type plant{};
        apply_rows(world, checked, owner::plant, p, plant);
        add_plant(world, plant.x, plant.y, plant.size_x, plant.size_y);
    }
    world.history.assign(checked.generations, generation_record_type{});
    for (std::size_t g = 0; g < checked.generations; ++g) apply_rows(world, checked, owner::history, g, world.history[g]);
    std::vector<stored_event_type> kept(checked.events);
    for (std::size_t k = 0; k < checked.events; ++k) apply_rows(world, checked, owner::event, k, kept[k]);
    std::size_t value_row = 0;
    for (stored_event_type& event : kept)
        for (double& value : event.data) apply_rows(world, checked, owner::event_data, value_row++, value);
    world.run = run_type{};
    world.run.events.resize(checked.events);
    for (std::size_t k = 0; k < checked.events; ++k) unstored(kept[k], world.run.events[k]);
    take_numbers();
    world_check(world);
    world_check_networks(world);
}


}  // namespace

std::span<const checkpoint_field_type> checkpoint_fields() { return fields_table; }

checkpoint_array_type& checkpoint_member(checkpoint_type& checkpoint, const checkpoint_field_type& field)
{
    return checkpoint.arrays[checkpoint_leading_members + static_cast<std::size_t>(&field - fields_table)];
}

const checkpoint_array_type& checkpoint_member(const checkpoint_type& checkpoint, const checkpoint_field_type& field)
{
    return checkpoint.arrays[checkpoint_leading_members + static_cast<std::size_t>(&field - fields_table)];
}

checkpoint_type checkpoint_capture(const world_type& world)
{
    checkpoint_type checkpoint;
    checkpoint_capture_into(world, checkpoint);
    return checkpoint;
}

// Fills the members in the room of an earlier capture where there is one, so
// that capturing again and again (the window's autosave) neither allocates
// nor touches new memory.
void checkpoint_capture_into(const world_type& world, checkpoint_type& checkpoint)
{
    const std::span<const checkpoint_field_type> fields = checkpoint_fields();
    const records_type records(world);
    checkpoint.arrays.resize(fields.size() + checkpoint_leading_members);
    checkpoint_array_type& format = checkpoint.arrays[0];
    format.name = "format";
    format.descr = npz_descr_of<std::int32_t>();
    format.shape.clear();
    format.data.resize(4);
    npz_put_value(format.data.data(), checkpoint_format);
    checkpoint_array_type& version = checkpoint.arrays[1];
    const std::string text = VELMORA_VERSION;
    version.name = "version";
    version.descr = "|S" + std::to_string(text.size());
    version.shape.clear();
    version.data.assign(text.begin(), text.end());
    const std::vector<const void*> world_row{&world};
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const checkpoint_field_type& field = fields[f];
        const std::vector<const void*>& rows = field.owner == owner::animal  ? records.animals
                                               : field.owner == owner::plant ? records.plants
                                               : field.owner == owner::event ? records.events
                                               : field.owner == owner::event_data ? records.event_data
                                                                             : records.history;
        const std::vector<const void*>& of = field.owner == owner::world ? world_row : rows;
        checkpoint_array_type& array = checkpoint.arrays[f + checkpoint_leading_members];
        array.name = field.name;
        array.descr = field.descr;
        array.shape = field.inner(world);
        const std::size_t width = npz_element_count(array.shape) * field.item;
        if (field.owner != owner::world) array.shape.insert(array.shape.begin(), of.size());
        array.data.assign(of.size() * width, 0);
        for (std::size_t r = 0; r < of.size(); ++r) field.read(of[r], array.data.data() + r * width);
    }
}

refusal_type checkpoint_write(const checkpoint_type& checkpoint, const std::string& path)
{
    return npz_write(checkpoint, path);
}

refusal_type checkpoint_read(const std::string& path, checkpoint_type& checkpoint)
{
    const refusal_type refused = npz_read(path, checkpoint);
    if (refused.kind == refusal_kind_type::format) return refusal_type("not a checkpoint (" + refused + ")", refusal_kind_type::format);
    return refused;
}

std::string checkpoint_problem(const checkpoint_type& checkpoint)
{
    try {
        world_type numbers;
        check_archive(checkpoint, numbers);
    } catch (const refusal_error& refused) {
        return refused.refusal;
    }
    return {};
}

void checkpoint_apply(world_type& world, const checkpoint_type& checkpoint)
{
    world_type numbers;
    const checked_type checked = check_archive(checkpoint, numbers);
    apply_checked(world, checked, numbers);
}

refusal_type checkpoint_save(world_type& world, const std::string& path)
{
    // Saving refuses what loading would, so every saved checkpoint loads again.
    const checkpoint_type checkpoint = checkpoint_capture(world);
    if (const std::string reason = checkpoint_problem(checkpoint); !reason.empty())
        return world_refuse(world, "save", path, "the world is beyond what a checkpoint holds: " + reason);
    if (const refusal_type refused = checkpoint_write(checkpoint, path); !refused.empty()) return world_refuse(world, "save", path, refused);
    world_say(world, "Checkpoint saved to " + path + "\n");
    return {};
}

refusal_type checkpoint_load(world_type& world, const std::string& path)
{
    checkpoint_type checkpoint;
    if (const refusal_type refused = checkpoint_read(path, checkpoint); !refused.empty()) return world_refuse(world, "load", path, refused);
    try {
        world_type numbers;
        const checked_type checked = check_archive(checkpoint, numbers);
        apply_checked(world, checked, numbers);
    } catch (const refusal_error& refused) {
        return world_refuse(world, "load", path, refused.refusal);
    }
    char line[96];
    format_c(line, sizeof line, " at generation %u, update %d\n", world.generation, world.update_count);
    world_say(world, "Resumed from " + path + line);
    return {};
}

bool checkpoint_is_archive(const std::string& path) { return npz_is_archive(path); }

std::int64_t checkpoint_number(const checkpoint_type& checkpoint, const std::string& name)
{
    for (const checkpoint_array_type& array : checkpoint.arrays) {
        if (array.name != name || !array.shape.empty()) continue;
        if (array.descr == "<u4") return npz_get_value<std::uint32_t>(array.data.data());
        if (array.descr == "<i4") return npz_get_value<std::int32_t>(array.data.data());
    }
    return -1;
}

// Beside the table: every field of the records, in declaration order, and
// what keeps it. A field added to a record and not here leaves a gap that
// the tests find; one added here and not to the table names no member.
std::vector<checkpoint_record_field_type> checkpoint_record_fields()
{
    const world_type w;
    const animal_type a{};
    const plant_type p{};
    const generation_record_type h{};
    const run_type r{};
    const run_event_type v{};
    const auto at = [](const void* record, const void* field) {
        return static_cast<std::size_t>(static_cast<const char*>(field) - static_cast<const char*>(record));
    };
#define FIELD(probe, record, field, kept) \
    checkpoint_record_field_type { #record, #field, at(&probe, &probe.field), sizeof(probe.field), kept }
    const char* const palette = "- the palette, the same in every world";
    const char* const made_anew = "- made anew from the lists by the load";
    return {
        FIELD(w, world_type, brush_white, palette),
        FIELD(w, world_type, brush_black, palette),
        FIELD(w, world_type, brush_green, palette),
        FIELD(w, world_type, brush_blue, palette),
        FIELD(w, world_type, brush_red, palette),
        FIELD(w, world_type, pen_white, palette),
        FIELD(w, world_type, pen_black, palette),
        FIELD(w, world_type, pen_green, palette),
        FIELD(w, world_type, animals, "animal_x"),
        FIELD(w, world_type, plants, "plant_x"),
        FIELD(w, world_type, num_plants, "plant_x"),
        FIELD(w, world_type, num_animals, "animal_x"),
        FIELD(w, world_type, update_count, "update_count"),
        FIELD(w, world_type, generation, "generation"),
        FIELD(w, world_type, ave_food, "ave_food"),
        FIELD(w, world_type, food_sum, "food_sum"),
        FIELD(w, world_type, wrap_edges, "wrap_edges"),
        FIELD(w, world_type, draw_enabled, "draw_enabled"),
        FIELD(w, world_type, running, "running"),
        FIELD(w, world_type, updates_per_tick, "updates_per_tick"),
        FIELD(w, world_type, width, "width"),
        FIELD(w, world_type, height, "height"),
        FIELD(w, world_type, mutate_rate, "mutate_rate"),
        FIELD(w, world_type, mutate_rate_set, "mutate_rate_set"),
        FIELD(w, world_type, mutate_amount, "mutate_amount"),
        FIELD(w, world_type, generation_length, "generation_length"),
        FIELD(w, world_type, start_plants, "start_plants"),
        FIELD(w, world_type, start_animals, "start_animals"),
        FIELD(w, world_type, layer_width, "layer_width"),
        FIELD(w, world_type, layer_count, "layer_count"),
        FIELD(w, world_type, animal_size, "animal_size"),
        FIELD(w, world_type, plant_size, "plant_size"),
        FIELD(w, world_type, mode_manual, "mode_manual"),
        FIELD(w, world_type, random, "random_state"),
        FIELD(w, world_type, seed, "seed"),
        FIELD(w, world_type, math, "math math_hash"),
        FIELD(w, world_type, network_edits, "- a count that only tells packs made before a change; the load is one"),
        FIELD(w, world_type, grid, made_anew),
        FIELD(w, world_type, networks, made_anew),
        FIELD(w, world_type, ranking, "- room for the generation's ranking"),
        FIELD(w, world_type, ranked_last, "- the last generation as it ended, a report for scripts"),
        FIELD(w, world_type, gene_room, "- room for the generation's statistics"),
        FIELD(w, world_type, founder_room, "- room for the generation's statistics"),
        FIELD(w, world_type, lineage_rows, "- empty between updates: rows go to the file as they are made"),
        FIELD(w, world_type, last_id, "last_id"),
        FIELD(w, world_type, history, "history_generation"),
        FIELD(w, world_type, resets, "- counts for the views, which only grow"),
        FIELD(w, world_type, animal_frees, "- counts for the views, which only grow"),
        FIELD(w, world_type, options, "- how the world is run, not what it is: given again with the load"),
        FIELD(w, world_type, helper, "- the threads of an update, started on demand"),
        FIELD(w, world_type, update_order, "- room for an update's phases"),
        FIELD(w, world_type, run, "event_generation run_next"),
        FIELD(w, world_type, seasons, "season_period season_low season_high season_square"),
        FIELD(w, world_type, food_map, "food_map_width food_map_height food_map"),
        FIELD(w, world_type, line_horizon, "line_horizon"),
        FIELD(w, world_type, step_watch, "- a test's watcher"),
        FIELD(w, world_type, step_watch_context, "- a test's watcher"),

        FIELD(a, animal_type, next, "- the rows' order"),
        FIELD(a, animal_type, size_x, "animal_size_x"),
        FIELD(a, animal_type, size_y, "animal_size_y"),
        FIELD(a, animal_type, x, "animal_x"),
        FIELD(a, animal_type, y, "animal_y"),
        FIELD(a, animal_type, vel_x, "animal_vel_x"),
        FIELD(a, animal_type, vel_y, "animal_vel_y"),
        FIELD(a, animal_type, heading, "animal_heading"),
        FIELD(a, animal_type, turn, "animal_turn"),
        FIELD(a, animal_type, speed, "animal_speed"),
        FIELD(a, animal_type, sensor_distance, "- from the sizes"),
        FIELD(a, animal_type, sensor_size, "- from the sizes"),
        FIELD(a, animal_type, food, "animal_food"),
        FIELD(a, animal_type, wall_hits, "animal_wall_hits"),
        FIELD(a, animal_type, fitness, "animal_fitness"),
        FIELD(a, animal_type, num_touch, "- always animal_touch_count"),
        FIELD(a, animal_type, touch, "animal_touch"),
        FIELD(a, animal_type, num_vision, "- always animal_vision_count"),
        FIELD(a, animal_type, vision, "animal_vision"),
        FIELD(a, animal_type, ray_x, "animal_ray_x"),
        FIELD(a, animal_type, ray_y, "animal_ray_y"),
        FIELD(a, animal_type, layer_width, "layer_width"),
        FIELD(a, animal_type, layer_count, "layer_count"),
        FIELD(a, animal_type, left_motor, "animal_left_motor"),
        FIELD(a, animal_type, right_motor, "animal_right_motor"),
        FIELD(a, animal_type, neurons, "neuron_out animal_genes"),
        FIELD(a, animal_type, num_neurons, "- from the world's shape"),
        FIELD(a, animal_type, left_output_id, "- from the world's shape"),
        FIELD(a, animal_type, right_output_id, "- from the world's shape"),
        FIELD(a, animal_type, grid_slot, made_anew),
        FIELD(a, animal_type, id, "animal_id"),
        FIELD(a, animal_type, parent_a, "animal_parent_a"),
        FIELD(a, animal_type, parent_b, "animal_parent_b"),
        FIELD(a, animal_type, founder, "animal_founder"),
        FIELD(a, animal_type, line, "animal_line"),
        FIELD(a, animal_type, born, "animal_born"),
        FIELD(a, animal_type, came_from, "animal_came_from"),

        FIELD(p, plant_type, x, "plant_x"),
        FIELD(p, plant_type, y, "plant_y"),
        FIELD(p, plant_type, size_x, "plant_size_x"),
        FIELD(p, plant_type, size_y, "plant_size_y"),
        FIELD(p, plant_type, next, "- the rows' order"),
        FIELD(p, plant_type, grid_slot, made_anew),

        FIELD(h, generation_record_type, generation, "history_generation"),
        FIELD(h, generation_record_type, food, "history_food"),
        FIELD(h, generation_record_type, wall, "history_wall"),
        FIELD(h, generation_record_type, food_per_animal, "history_food_per_animal"),
        FIELD(h, generation_record_type, best_food, "history_best_food"),
        FIELD(h, generation_record_type, ave_food, "history_ave_food"),
        FIELD(h, generation_record_type, animals, "history_animals"),
        FIELD(h, generation_record_type, plants, "history_plants"),
        FIELD(h, generation_record_type, gene_spread, "history_gene_spread"),
        FIELD(h, generation_record_type, lineages, "history_lineages"),
        FIELD(h, generation_record_type, line_founders, "history_line_founders"),
        FIELD(h, generation_record_type, line_animals, "history_line_animals"),

        FIELD(r, run_type, events, "event_generation"),
        FIELD(r, run_type, next, "run_next"),
        FIELD(r, run_type, changes, "- counts the changes made in this world, for its timeline; not the run's state"),

        // The rest in the slots of their kind's row (world/event.h).
        FIELD(v, run_event_type, generation, "event_generation"),
        FIELD(v, run_event_type, update, "event_update"),
        FIELD(v, run_event_type, kind, "event_setting"),
        FIELD(v, run_event_type, setting, "event_setting"),
        FIELD(v, run_event_type, value, "event_value"),
        FIELD(v, run_event_type, on, "event_value"),
        FIELD(v, run_event_type, left, "event_value"),
        FIELD(v, run_event_type, right, "event_value2"),
        FIELD(v, run_event_type, id, "event_data"),
        FIELD(v, run_event_type, x, "event_data"),
        FIELD(v, run_event_type, y, "event_data"),
        FIELD(v, run_event_type, x1, "event_data"),
        FIELD(v, run_event_type, y1, "event_data"),
        FIELD(v, run_event_type, heading, "event_data"),
        FIELD(v, run_event_type, genes, "event_data_length event_data"),
    };
#undef FIELD
}

std::size_t checkpoint_record_size(const std::string& record)
{
    if (record == "world_type") return sizeof(world_type);
    if (record == "animal_type") return sizeof(animal_type);
    if (record == "plant_type") return sizeof(plant_type);
    if (record == "generation_record_type") return sizeof(generation_record_type);
    if (record == "run_type") return sizeof(run_type);
    if (record == "run_event_type") return sizeof(run_event_type);
    return 0;
}
