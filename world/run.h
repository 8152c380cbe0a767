// A run's course: the changes made to a world during it (world/event.h),
// each at the generation and update it was made, so that replaying them from
// the same start gives the same run, bit for bit. A run file
// (cli/run_file.h) holds them with the seed, the settings and the file a run
// started from.
#pragma once

#include "world/event.h"

#include <cstdint>
#include <string>
#include <vector>

struct world_type;

struct run_type {
    std::vector<run_event_type> events;   // in order of generation, then update
    std::size_t next = 0;                 // the first event not yet applied
    std::uint64_t changes = 0;            // changes made in this world so far, so that a timeline sees a new one cheaply
};

// Checks the event against the world as it is (its values, and a change of
// the plants while they follow the seasons), records it at the world's
// generation and update, in place of the course the run had from here on,
// and makes it. Returns what is wrong with it instead, and changes nothing.
std::string world_record(world_type& world, run_event_type event);
// A change of a setting made now, through world_record.
std::string world_change_setting(world_type& world, setting_id_type setting, double value);
// Settings given to a world that runs: one equal to the world's is no
// change; one that may change during a run and differs is made as a change
// of its run, in the table's order. When one that may not change differs,
// nothing changes and its row is returned (else null).
const setting_row_type* world_change_settings(world_type& world, const world_settings_type& settings);
// One of the window's actions made now. Steering is recorded only while
// manual steering is on and the motors differ from what the keys gave last,
// since only then does it change the run.
std::string world_act(world_type& world, run_event_type action);

// Applies the run's events that are due at the world's generation and update,
// and at a generation's start the plant count of its season.
void world_apply_events(world_type& world);
// Makes the changes due at the world's generation and update until limit of
// the run's changes are made.
void world_apply_events_until(world_type& world, std::size_t limit);
