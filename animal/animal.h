// Animals: an elliptic body with six whiskers and five vision sectors, steered
// like a differential drive by its own network of neurons.
#pragma once

#include "base/exact_math.h"

#include <cstddef>
#include <cstdint>

struct neuron_type;
struct world_type;
struct neuron_pack_type;
struct grid_plant_cells_type;
struct grid_plant_changes_type;

inline constexpr int animal_touch_count = 6;        // whiskers, always six
inline constexpr int animal_vision_count = 5;       // vision sectors every animal uses
// Vision slots per animal: the sectors it uses, and no room besides, as fifty
// thousand animals pay for every unused slot.
inline constexpr int animal_vision_capacity = animal_vision_count;
inline constexpr double max_animal_speed = 0.25;    // clamp of the network's motor values

// One sensor's values: -0.5 for nothing sensed, positive for something sensed,
// 0.0 only between a creation or reset and the next step.
struct sensor_type {
    double wall;    // touch: 0.5 when the whisker tip is outside the world
    double plant;   // touch: 0.5 inside a plant; vision: 0.1 per plant seen
    double animal;  // touch: 0.5 inside an animal
};

struct animal_type {
    animal_type* next;                                 // next animal of the world list; null at the end
    double size_x;                                     // body extent along x (diameter), world units
    double size_y;                                     // body extent along y, world units
    double x;                                          // centre, world units
    double y;                                          // centre, world units
    double vel_x;                                      // displacement along x of the last step
    double vel_y;                                      // displacement along y of the last step
    double heading;                                    // radians, kept in [0, 2*pi] by the step
    double turn;                                       // heading change of the last step, radians
    double speed;                                      // distance of the last step, world units (may be negative)
    double sensor_distance;                            // (size_x + size_y) / 4: whisker base length
    double sensor_size;                                // (size_x + size_y) / 8: whisker tip size
    std::int32_t food;                                 // plants eaten since the last reset
    std::int32_t wall_hits;                            // stops at an edge since the last reset
    double fitness;                                    // food / best food, written by the generation cycle
    std::int32_t num_touch;                            // always 6
    sensor_type touch[animal_touch_count];             // whisker k at heading - 60 deg + k * 60 deg
    std::int32_t num_vision;                           // sectors in use, always 5
    sensor_type vision[animal_vision_capacity];        // only plant is used
    double ray_x[2 * animal_vision_capacity];          // x offsets of the sector rays: 2j start, 2j + 1 end
    double ray_y[2 * animal_vision_capacity];          // y offsets, same indexing
    std::uint32_t layer_width;                         // neurons per layer, copied from the world at creation
    std::uint32_t layer_count;                         // layers before the motor neurons, at least 1
    double left_motor;                                 // left motor value of the current step
    double right_motor;                                // right motor value of the current step
    neuron_type* neurons;                              // head of the owned neuron list, highest id first
    std::uint32_t num_neurons;                         // layer_width * layer_count + 2
    std::uint32_t left_output_id;                      // id of the left motor neuron
    std::uint32_t right_output_id;                     // id of the right motor neuron
    std::int32_t grid_slot;                            // place in the world's spatial index; written by the index only
    // Family: written when the animal is made, and anew when breeding rewrites it as a child.
    std::uint64_t id;                                  // 1, 2, 3, ... in order of making within its world
    std::uint64_t parent_a;                            // the first parent's id, whole neurons of which it took; 0 for a founder
    std::uint64_t parent_b;                            // the second parent's id; 0 for a founder
    std::uint64_t founder;                             // the founder at the root of its first-parent line; its own id for a founder
    std::uint64_t line;                                // the animal its line began with: itself at the last count of lines, else its first parent's
    std::uint32_t born;                                // the first generation it lived in
    std::uint64_t came_from;                           // added from an animal file: its id in the world it came from; else 0
};

// Creation and reset (animal.cpp).
void animal_init(world_type& world, animal_type* animal);    // the caller has pushed the record at the list head
void animal_reset(world_type& world, animal_type* animal);   // new place and heading, counters cleared, network kept

// Chromosome: per neuron in list order its scalers, then its bias (animal.cpp).
unsigned animal_get_chromosome_size(animal_type* animal);
void animal_export_chromosome(animal_type* animal, double* genes);
void animal_inport_chromosome(world_type& world, animal_type* animal, const double* genes);
void animal_randomize(world_type& world, animal_type* animal);   // every gene uniform in [-1, 1], drawn in chromosome order

// Wiring (wiring.cpp).
void animal_setup_neurons(world_type& world, animal_type* animal);
// Inputs the wiring connects to the neuron with this id in a network of this
// layer width: the sensor layer reads every touch and vision value and the two
// motor outputs, every other neuron the layer before; never beyond capacity.
std::uint32_t animal_wired_inputs(std::uint32_t id, std::uint32_t layer_width);
// Genes of a network of this shape: per neuron its wired inputs and a bias.
std::uint64_t animal_genes_for_shape(std::int64_t layer_count, std::int64_t layer_width);

// Senses (senses.cpp).
// Plants vision tests at once: 4 where the processor has AVX2, else 2; any
// width this machine has gives the same counts (a world's vision_lanes).
int animal_vision_widest_lanes();
void check_sensor(const world_type& world, double x, double y, double angle, double length, sensor_type& sensor);
void check_vision(world_type& world, double x, double y, double heading, int count, sensor_type* sensors,
                  double* ray_x, double* ray_y);
// check_vision of an animal on the plants cells held when made, with the
// changes from .. to - 1 taken back. Reads only; several threads may see at once.
void animal_see(const world_type& world, animal_type* animal, const grid_plant_cells_type& cells, const grid_plant_changes_type& changes,
                std::size_t from, std::size_t to);
// The six whiskers, the same values as check_sensor, in two halves: the walls
// and animals a whisker touches, and the plants.
void animal_sense_touch_others(const world_type& world, animal_type* animal);
void animal_sense_touch_plants(const world_type& world, animal_type* animal);

// Step (step.cpp).
// The network is evaluated from networks, when that pack holds it as its
// network-th (see neuron/pack.h), else from its records: the same outs.
void animal_update(world_type& world, animal_type* animal, const neuron_pack_type* networks = nullptr, std::size_t network = 0);
// The step's halves, one after the other. The first (eating, the whiskers'
// plants, then animal_see) reads and changes only the plants, the random
// source (for the eaten ones' replacements) and this animal's plant senses;
// the second only the animals.
void animal_act(world_type& world, animal_type* animal, const neuron_pack_type* networks = nullptr, std::size_t network = 0);   // walls, animals, network, move
void animal_check_plants(world_type& world, animal_type* animal);
void animal_motion(world_type& world, double left, double right);

// Console report of the animal's network (report.cpp).
void animal_show_neurons(animal_type* animal);
