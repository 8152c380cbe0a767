#include "plant/plant.h"

#include "base/utility.h"
#include "test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Plant, RandomPlantsDrawXBeforeYWithinTheMargin)
{
    world_type world;
    start_world(world, 1);
    world_free_plants(world);
    random_seed(world.random, 21);
    const double x = f_rand(world.random, 0.25, 9.75);
    const double y = f_rand(world.random, 0.25, 9.75);
    random_seed(world.random, 21);
    add_random_plant(world);
    EXPECT_EQ(world.plants->x, x);
    EXPECT_EQ(world.plants->y, y);
    EXPECT_EQ(world.plants->size_x + world.plants->size_y, 0.5);
    world.width = 4.0;
    for (int i = 0; i < 20000; ++i) add_random_plant(world);
    EXPECT_EQ(world.num_plants, 20001);
    EXPECT_EQ(plant_list_length(world), 20001u);
    for (const plant_type* p = world.plants; p->next != nullptr; p = p->next)
        ASSERT_TRUE(p->x >= 0.25 && p->x <= 3.75 && p->y >= 0.25 && p->y <= 9.75) << p->x << " " << p->y;
}

TEST(Plant, RemovePlantReplacesAtTheHeadWhereverThePlantStands)
{
    world_type world;
    // Removing the first (only), second, middle, last and a stranger of five.
    for (int where : {-1, 0, 1, 2, 4, 5}) {
        start_world(world, 1);
        world_free_plants(world);
        const int count = where < 0 ? 1 : 5;
        for (int i = count; i >= 1; --i) add_plant(world, i, 0, 1, 1);
        plant_type stranger{9, 9, 1, 1, nullptr, -1};
        plant_type* target = where == 5 ? &stranger : world.plants;
        for (int i = 0; i < where && where < 5; ++i) target = target->next;
        std::vector<double> expected;
        for (int i = 1; i <= count; ++i)
            if (i - 1 != where && !(where < 0 && i == 1)) expected.push_back(i);
        remove_plant(world, target);
        std::vector<double> xs;
        for (const plant_type* p = world.plants; p != nullptr; p = p->next) xs.push_back(p->x);
        if (where != 5) xs.erase(xs.begin());  // the replacement heads the list
        EXPECT_EQ(xs, expected) << where;
        EXPECT_EQ(world.num_plants, count) << where;
        EXPECT_EQ(plant_list_length(world), static_cast<unsigned>(count)) << where;
    }
}
