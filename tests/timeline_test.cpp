#include "plant/food_map.h"
#include "test_support.h"
#include "world/run.h"
#include "world/timeline.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

// A small quick world: 20 animals, generations of 40 updates; mapped, its
// plants grow by a food map brighter to the right.
void small_world(world_type& world, std::uint32_t seed, bool mapped = false)
{
    quiet_world(world, seed, 40);
    world.start_animals = 20;
    world.start_plants = 20;
    if (mapped) {
        EXPECT_EQ(food_map_set(world.food_map, 4, 1, {0.0, 1.0, 2.0, 4.0}), "");
    }
    world_reset(world);
}

// Runs to the start of that generation, noting each update as the window does.
void run_to(timeline_type& timeline, world_type& world, std::uint32_t generation)
{
    while (world.generation < generation) {
        world_update(world);
        timeline_note(timeline, world);
    }
}

std::string restart_seed(world_type& world, std::uint32_t seed)
{
    small_world(world, seed);
    return {};
}

}  // namespace

// Going back to any generation and forward again gives the straight run,
// whole state, with keyframes aplenty, with so few that they thin out, and
// with none, when every rewind replays from the start.
TEST(Timeline, RewindAndForwardEqualTheStraightRun)
{
    const struct {
        const char* name;
        std::size_t budget;
        bool mapped;   // the keyframes share one food map
    } budgets[] = {{"plenty", std::size_t{64} << 20, false}, {"thinning", std::size_t{600} << 10, false}, {"none", 0, false},
                   {"a food map", std::size_t{64} << 20, true}};
    for (const auto& row : budgets) {
        world_type world;
        small_world(world, 11, row.mapped);
        timeline_type timeline;
        timeline.budget = row.budget;
        timeline.restart = [&row](world_type& w) {
            small_world(w, 11, row.mapped);
            return std::string();
        };
        timeline_begin(timeline, world);
        std::map<std::uint32_t, std::string> straight;
        std::size_t most_keyframes = 0;
        for (std::uint32_t g = 0; g <= 30; ++g) {
            run_to(timeline, world, g);
            straight[g] = world_state(world);
            EXPECT_LE(timeline.bytes, timeline.budget) << row.name << " at generation " << g;
            most_keyframes = std::max(most_keyframes, timeline.keyframes.size());
        }
        if (row.budget == 0) {
            EXPECT_EQ(timeline.keyframes.size(), 0u);
        }
        if (std::string(row.name) == "thinning") {
            // Fewer kept than generations, and the recent ones kept densest.
            EXPECT_LT(timeline.keyframes.size(), 25u);
            EXPECT_GT(timeline.keyframes.size(), 3u);
            const auto& k = timeline.keyframes;
            const std::size_t n = k.size();
            EXPECT_LE(k[n - 1].point.generation - k[n - 2].point.generation, k[1].point.generation - k[0].point.generation)
                << "gaps grow with age";
        }
        for (const std::uint32_t g : {25u, 3u, 17u, 0u, 29u, 29u, 12u}) {
            ASSERT_EQ(timeline_go(timeline, world, run_point_type{g, 0}), "") << row.name;
            EXPECT_TRUE(world_state(world) == straight[g]) << row.name << ": back to generation " << g;
            EXPECT_LE(timeline.bytes, timeline.budget) << row.name;
        }
        run_to(timeline, world, 30);
        EXPECT_TRUE(world_state(world) == straight[30]) << row.name << ": forward again to the end";
        EXPECT_EQ(timeline.branches.size(), 1u) << row.name << ": going back and forth starts no branch";
    }
}

// A change after going back starts a branch equal to that change made in a
// straight run; the run as it was stays, and switching between them gives
// each back unchanged. A progress that cancels leaves the world as it was.
TEST(Timeline, BranchesSwitchBackAndForthUnchanged)
{
    world_type world;
    small_world(world, 5);
    timeline_type timeline;
    timeline.restart = [](world_type& w) { return restart_seed(w, 5); };
    timeline_begin(timeline, world);
    run_to(timeline, world, 12);
    for (int i = 0; i < 7; ++i) {
        world_update(world);
        timeline_note(timeline, world);
    }
    const std::string first_at_end = world_state(world);

    ASSERT_EQ(timeline_go(timeline, world, run_point_type{6, 0}), "");
    ASSERT_EQ(world_change_setting(world, setting_plants, 5), "");
    ASSERT_EQ(world_act(world, run_event_of(event_add_animal)), "");
    timeline_note(timeline, world);
    ASSERT_EQ(timeline.branches.size(), 2u);
    EXPECT_EQ(timeline.current, 1u);
    EXPECT_EQ(timeline.branches[1].from, (run_point_type{6, 0}));
    EXPECT_EQ(timeline.branches[1].parent, 1u);
    run_to(timeline, world, 10);
    const std::string second_at_end = world_state(world);

    // The same change in a run that never went back.
    world_type straight;
    small_world(straight, 5);
    while (straight.generation < 6) world_update(straight);
    world_change_setting(straight, setting_plants, 5);
    world_act(straight, run_event_of(event_add_animal));
    while (straight.generation < 10) world_update(straight);
    EXPECT_TRUE(world_state(straight) == second_at_end);
    EXPECT_EQ(straight.num_plants, 5);

    // A change made at the branch's very end goes on with it and comes back with it.
    ASSERT_EQ(world_change_setting(world, setting_mutate_amount, 2.5), "");
    timeline_note(timeline, world);
    EXPECT_EQ(timeline.branches.size(), 2u);
    const std::string second_changed = world_state(world);

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(timeline_switch(timeline, world, 0), "");
        EXPECT_TRUE(world_state(world) == first_at_end) << "round " << round;
        EXPECT_EQ(timeline.current, 0u);
        ASSERT_EQ(timeline_switch(timeline, world, 1), "");
        EXPECT_TRUE(world_state(world) == second_changed) << "round " << round;
        EXPECT_EQ(world.mutate_amount, 2.5);
    }
    // The branch left midway through a generation was kept where it was left, so going back needs no replay.
    EXPECT_TRUE(std::any_of(timeline.keyframes.begin(), timeline.keyframes.end(),
                            [](const timeline_keyframe_type& k) { return k.point == run_point_type{12, 7}; }));
    EXPECT_EQ(timeline_history(timeline, world, 0).size(), 12u);

    // Cancelled at the first word of progress: as before.
    timeline_set_budget(timeline, 0);
    EXPECT_EQ(timeline_go(timeline, world, run_point_type{2, 0}, [](double) { return false; }), "cancelled");
    EXPECT_TRUE(world_state(world) == second_changed);

    timeline_delete(timeline, 1);   // the shown one stays
    EXPECT_EQ(timeline.branches.size(), 2u);
    timeline_delete(timeline, 0);
    EXPECT_EQ(timeline.branches.size(), 1u);
    EXPECT_EQ(timeline.current, 0u);
    EXPECT_EQ(timeline.branches[0].number, 2u);
}
