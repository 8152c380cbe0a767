// libFuzzer target: arbitrary bytes as an animal file, read as Add Animal
// From File reads one. A refused file must leave the animal as it was; an
// accepted one must hold finite genes of its shape and read back the same
// from its own text.
#include "cli/animal_file.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    animal_file_type animal;
    animal.id = 99;
    if (!animal_file_parse(text, "fuzz.animal", animal).empty()) {
        if (animal.id != 99 || !animal.genes.empty()) std::abort();
        return 0;
    }
    for (const double gene : animal.genes)
        if (!std::isfinite(gene)) std::abort();
    animal_file_type again;
    if (!animal_file_parse(animal_file_text(animal), "again.animal", again).empty()) std::abort();
    if (again.genes != animal.genes || again.id != animal.id || again.layer_width != animal.layer_width) std::abort();
    return 0;
}
