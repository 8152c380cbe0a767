// Plants: the world's food, a singly linked list headed in the world record,
// newest first. An eaten plant is replaced at once, so eating keeps the count.
#pragma once

#include <cstdint>

struct world_type;

struct plant_type {
    double x;           // centre, world units
    double y;           // centre, world units
    double size_x;      // full extent along x (diameter), world units
    double size_y;      // full extent along y, world units
    plant_type* next;   // next plant of the list; null at the end
    std::int32_t grid_slot;  // place in the world's spatial index; written by the index only
};

void add_plant(world_type& world, double x, double y, double size_x, double size_y);  // pushes exactly this plant
void add_random_plant(world_type& world);                    // a plant of the world's plant_size at a random place
void remove_plant(world_type& world, plant_type* plant);       // pushes a replacement, then unlinks and frees plant
