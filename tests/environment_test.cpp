#include "base/png.h"
#include "cli/run_file.h"
#include "plant/food_map.h"
#include "plant/plant.h"
#include "test_support.h"
#include "world/checkpoint.h"
#include "world/run.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string data = VELMORA_TEST_DATA;

// The plants in the world at the start of each generation, after its first update has set them.
std::vector<std::int32_t> plants_by_generation(world_type& world, std::uint32_t generations)
{
    std::vector<std::int32_t> counts;
    while (world.generation < generations) {
        world_update(world);
        if (world.update_count == 1) counts.push_back(world.num_plants);
    }
    return counts;
}

}  // namespace

// A scheduled change sets the plants from its generation on; seasons set
// them at every generation's start, by hand-worked cycles over two periods.
TEST(Environment, ScheduleAndSeasonsSetThePlantsByGeneration)
{
    const struct {
        const char* name;
        std::int32_t period, low, high;
        bool square;
        std::vector<std::int32_t> counts;
    } rows[] = {
        {"scheduled 4 from generation 3", 0, 0, 0, false, {10, 10, 10, 4, 4, 4, 4, 4}},
        {"sine of 4 between 0 and 10", 4, 0, 10, false, {5, 10, 5, 0, 5, 10, 5, 0}},
        {"square of 4 between 2 and 8", 4, 2, 8, true, {8, 8, 2, 2, 8, 8, 2, 2}},
        {"square of 5 between 1 and 3", 5, 1, 3, true, {3, 3, 1, 1, 1, 3, 3, 1}},
    };
    for (const auto& row : rows) {
        world_type world, again;
        for (world_type* w : {&world, &again}) {
            quiet_world(*w, 4, 30);
            if (row.period == 0) {
                w->run.events.push_back(run_setting_event(3, 0, setting_plants, 4.0));
            } else {
                ASSERT_EQ(world_set_seasons(*w, seasons_type{row.period, row.low, row.high, row.square}), "");
            }
        }
        EXPECT_EQ(plants_by_generation(world, 8), row.counts) << row.name;
        plants_by_generation(again, 8);
        EXPECT_TRUE(world_state(world) == world_state(again)) << row.name << ": the same run again";
        if (row.period > 0) {
            EXPECT_EQ(world_change_setting(world, setting_plants, 3), "plants follow the seasons in this run") << row.name;
        }
    }
    world_type world;
    EXPECT_NE(world_set_seasons(world, seasons_type{1, 0, 5, false}), "");
    EXPECT_NE(world_set_seasons(world, seasons_type{10, 6, 5, false}), "");
}

// Plants grow only where the map is bright, in proportion to its
// brightness: 10,000 growths on maps of black and white, and of two greys.
TEST(Environment, PlantsGrowByTheFoodMapsBrightness)
{
    const struct {
        const char* name;
        std::uint32_t width, height;
        std::vector<double> weights;
        double right_share;   // of the plants in the right half of the world
    } rows[] = {
        {"left half black", 4, 2, {0, 0, 1, 1, 0, 0, 1, 1}, 1.0},
        {"right thrice as bright", 2, 1, {0.25, 0.75}, 0.75},
        {"a bright top row", 1, 2, {1.0, 0.0}, 0.5},
    };
    for (const auto& row : rows) {
        world_type world;
        quiet_world(world, 8, 30);
        ASSERT_EQ(food_map_set(world.food_map, row.width, row.height, row.weights), "") << row.name;
        world_free_plants(world);
        for (int i = 0; i < 10000; ++i) add_random_plant(world);
        int right = 0, top = 0;
        for (const plant_type* p = world.plants; p != nullptr; p = p->next) {
            EXPECT_TRUE(p->x >= world.plant_size && p->x <= world.width - world.plant_size) << row.name;
            right += p->x >= world.width / 2;
            top += p->y < world.height / 2;
        }
        // Within 0.02 of the share: more than four standard deviations of 10,000 draws.
        EXPECT_NEAR(right / 10000.0, row.right_share, 0.02) << row.name;
        if (row.right_share == 1.0) {
            EXPECT_EQ(right, 10000) << row.name << ": never on black";
        }
        if (row.width == 1) {
            EXPECT_EQ(top, 10000) << row.name << ": the top row is y's smallest, as the window shows it";
        }
    }
}

// PNGs of 8 and 16 bits and of colour read as their brightness; missing,
// cut, black and too wide ones are refused naming the file.
TEST(Environment, FoodMapPicturesAreReadOrRefused)
{
    for (const char* name : {"map_half8.png", "map_half16.png", "map_red.png"}) {
        food_map_type map;
        ASSERT_EQ(food_map_read(map, data + "/" + name), "") << name;
        ASSERT_EQ(map.width, 4u);
        ASSERT_EQ(map.height, 2u);
        // Red's brightness, its luminance taken in linear light, lies between its share of it and white.
        const double bright = map.weights[2];
        EXPECT_EQ(map.weights, (std::vector<double>{0, 0, bright, bright, 0, 0, bright, bright})) << name;
        if (std::string(name) == "map_red.png") {
            EXPECT_TRUE(bright > 0.29 && bright < 0.65) << bright;
        } else {
            EXPECT_EQ(bright, 1.0) << name;
        }
    }
    const struct {
        const char* name;
        const char* reason;
    } refused[] = {
        {"missing.png", "No such file"},
        {"map_cut.png", "not a readable PNG"},
        {"map_black.png", "all black"},
        {"map_wide.png", "4097 x 1 pixels, larger than 4096 a side"},
        {"format1_at_730.npz", "it is not a PNG"},
    };
    for (const auto& row : refused) {
        food_map_type map;
        const std::string path = data + "/" + row.name;
        const std::string problem = food_map_read(map, path);
        EXPECT_EQ(problem.rfind("Unable to load " + path + ": ", 0), 0u) << problem;
        EXPECT_NE(problem.find(row.reason), std::string::npos) << problem;
        EXPECT_FALSE(food_map_on(map)) << row.name;
    }
}

// A run with a map, seasons and a change resumed from a checkpoint taken
// before the change and a season's turn equals the straight run.
TEST(Environment, AResumeAcrossAChangeAndATurnEqualsTheStraightRun)
{
    scratch_folder folder;
    console_capture quiet;
    world_type straight;
    quiet_world(straight, 12, 30);
    ASSERT_EQ(food_map_set(straight.food_map, 3, 1, {0.0, 1.0, 2.0}), "");
    ASSERT_EQ(world_set_seasons(straight, seasons_type{4, 3, 12, true}), "");
    world_reset(straight);   // the first plants by the map too
    straight.run.events.push_back(run_setting_event(3, 0, setting_mutate_amount, 1.5));
    while (straight.generation < 1 || straight.update_count < 17) world_update(straight);
    ASSERT_EQ(checkpoint_save(straight, "mid.npz"), "");
    while (straight.generation < 6) world_update(straight);

    world_type resumed;
    quiet_world(resumed, 1, 30);
    ASSERT_EQ(checkpoint_load(resumed, "mid.npz"), "");
    while (resumed.generation < 6) world_update(resumed);
    EXPECT_TRUE(world_state(resumed) == world_state(straight));
    EXPECT_EQ(resumed.mutate_amount, 1.5);
    for (const plant_type* p = resumed.plants; p != nullptr; p = p->next) EXPECT_GE(p->x, resumed.width / 3);
}
