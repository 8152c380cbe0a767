// Program-wide variables that belong to the window program but that the
// simulation reads or writes; they live here so the simulation links without it.
#pragma once

struct animal_type;

extern int updates;               // world updates since the last statistics tick; world_update adds 1
extern bool mode_manual;          // head animal steered by the keys instead of its network
extern animal_type* cur_animal;   // animal shown in the neuron window; cleared whenever the animal list is freed
