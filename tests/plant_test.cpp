#include "plant/plant.h"

#include "app/console.h"
#include "app/utility.h"
#include "test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<double> plant_xs()
{
    std::vector<double> xs;
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) xs.push_back(p->x);
    return xs;
}

void empty_plants()
{
    start_world(1);
    world_free_plants();
}

}  // namespace

TEST(Plant, RandomPlantsStayInsideTheMarginAndDrawXBeforeY)
{
    empty_plants();
    world.plant_size = 0.25;
    random_seed(21);
    const double x = f_rand(0.25, 9.75);
    const double y = f_rand(0.25, 9.75);
    random_seed(21);
    add_random_plant();
    EXPECT_EQ(world.plants->x, x);
    EXPECT_EQ(world.plants->y, y);
    EXPECT_EQ(world.plants->size_x, 0.25);
    EXPECT_EQ(world.plants->size_y, 0.25);

    for (int i = 0; i < 20000; ++i) add_random_plant();
    EXPECT_EQ(world.num_plants, 20001);
    EXPECT_EQ(plant_list_length(), 20001u);
    for (const plant_type* p = world.plants; p != nullptr; p = p->next) {
        ASSERT_GE(p->x, 0.25);
        ASSERT_LE(p->x, 9.75);
        ASSERT_GE(p->y, 0.25);
        ASSERT_LE(p->y, 9.75);
    }
}

TEST(Plant, RemovePlantReplacesAtTheHeadWherePlantStands)
{
    empty_plants();
    add_plant(5, 5, 1, 1);
    plant_type* only = world.plants;
    remove_plant(only);
    EXPECT_EQ(world.num_plants, 1);
    EXPECT_EQ(plant_list_length(), 1u);
    EXPECT_NE(world.plants->x, 5.0);

    for (int where : {1, 2, 4}) {  // second, middle and last of five
        empty_plants();
        for (int i = 5; i >= 1; --i) add_plant(i, 0, 1, 1);  // list: 1 2 3 4 5
        plant_type* target = world.plants;
        for (int i = 0; i < where; ++i) target = target->next;
        const double eaten = target->x;
        remove_plant(target);
        std::vector<double> expected{1, 2, 3, 4, 5};
        expected.erase(expected.begin() + where);
        std::vector<double> xs = plant_xs();
        ASSERT_EQ(xs.size(), 5u);
        EXPECT_NE(xs.front(), eaten);
        xs.erase(xs.begin());  // the replacement
        EXPECT_EQ(xs, expected);
        EXPECT_EQ(world.num_plants, 5);
    }

    // A plant that is not in the list (or none at all) leaves list and count alone.
    empty_plants();
    plant_type stranger{1, 1, 1, 1, nullptr};
    remove_plant(&stranger);
    EXPECT_EQ(world.plants, nullptr);
    EXPECT_EQ(world.num_plants, 0);
    add_plant(1, 2, 1, 1);
    remove_plant(&stranger);
    EXPECT_EQ(plant_xs(), std::vector<double>{1});
    EXPECT_EQ(world.num_plants, 1);
}

TEST(PlantDeathTest, ExhaustedHeapStopsTheProgramWithItsLine)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    empty_plants();
    add_plant(5, 5, 1, 1);
    const auto grow_without_memory = [](bool replace) {
        h_console = 2;  // the death test reads standard error
        simulate_heap_exhaustion();
        if (replace) {
            remove_plant(world.plants);
        } else {
            add_random_plant();
        }
    };
    EXPECT_EXIT(grow_without_memory(false), testing::ExitedWithCode(1), "^Unable to get plant memory\n$");
    EXPECT_EXIT(grow_without_memory(true), testing::ExitedWithCode(1), "^Unable to get plant memory\n$");
}
