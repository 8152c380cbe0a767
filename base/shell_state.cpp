#include "base/shell_state.h"

int updates = 0;
bool mode_manual = false;
animal_type* cur_animal = nullptr;
