#include "plant/plant.h"

#include "base/console.h"
#include "base/utility.h"
#include "world/grid.h"
#include "world/world.h"

#include <cstdlib>
#include <new>

namespace {

// Draws x before y; the margin is a whole plant_size on every side. A food
// map draws its cell first.
void draw_plant_place(world_type& world, double& x, double& y)
{
    if (food_map_on(world.food_map)) {
        food_map_place(world.food_map, world.random, world.width, world.height, world.plant_size, x, y);
        return;
    }
    x = f_rand(world.random, world.plant_size, world.width - world.plant_size);
    y = f_rand(world.random, world.plant_size, world.height - world.plant_size);
}

void push_plant(world_type& world, double x, double y, double size_x, double size_y)
{
    plant_type* plant = new (std::nothrow) plant_type{x, y, size_x, size_y, world.plants, grid_none};
    if (plant == nullptr) {
        write_console("Unable to get plant memory\n");
        std::exit(EXIT_FAILURE);
    }
    world.plants = plant;
    grid_add_plant(world, plant);
}

}  // namespace

void add_plant(world_type& world, double x, double y, double size_x, double size_y)
{
    push_plant(world, x, y, size_x, size_y);
    world.num_plants += 1;
}

void add_random_plant(world_type& world)
{
    double x = 0.0, y = 0.0;
    draw_plant_place(world, x, y);
    add_plant(world, x, y, world.plant_size, world.plant_size);
}

void remove_plant(world_type& world, plant_type* plant)
{
    double x = 0.0, y = 0.0;
    draw_plant_place(world, x, y);
    push_plant(world, x, y, world.plant_size, world.plant_size);

    plant_type** link = grid_plant_link(world, plant);
    if (link == nullptr) {  // a plant the index does not hold
        link = &world.plants;
        while (*link != nullptr && *link != plant) link = &(*link)->next;
    }
    if (*link == nullptr) {
        // Not in the list: take the replacement back so the count stays the list length.
        plant_type* replacement = world.plants;
        world.plants = replacement->next;
        grid_remove_plant(world, replacement);
        delete replacement;
        return;
    }
    *link = plant->next;
    grid_remove_plant(world, plant);
    delete plant;
}
