#include "animal/animal.h"

#include "neuron/neuron.h"

void animal_show_neurons(animal_type* animal)
{
    if (animal == nullptr) return;
    for (const neuron_type* neuron = animal->neurons; neuron != nullptr; neuron = neuron->next)
        show_neuron(animal->neurons, neuron->id);
}
