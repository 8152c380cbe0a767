// The "Neuron" window: one disc per neuron of the head animal, laid out layer
// by layer, white for an output of exactly 0, blue above, red below.
#pragma once

#include <QWidget>

#include "render/world_view.h"

struct surface_type;
struct animal_type;
struct world_type;

// Shows one animal of a world: the selected one of the view, else the head of
// the list; laid out by the layer shape of the animal it was shown last.
class neuron_window_widget : public QWidget {
public:
    neuron_window_widget(const world_type& world, const view_type& view);

    const world_type& world;      // the world it shows, the window's
    const view_type& view;        // whose selection it shows
    held_animal_type cur_animal;  // shown by the N key, or followed after the list was freed

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The animal whose layer shape the window lays out: the one shown last, or
// null once the world's animals have been freed since (it is gone then).
animal_type* neuron_view_animal(const neuron_window_widget& window);
void neuron_view_show(neuron_window_widget& window, animal_type* animal);

void paint_neuron_window(const neuron_window_widget& window);   // only from the window's paint event
void set_neuron_brush(surface_type& surface, const world_type& world, double value);
