// The "Neuron" window: one disc per neuron of the head animal, laid out layer
// by layer, white for an output of exactly 0, blue above, red below.
#pragma once

#include <QWidget>

struct surface_type;

class neuron_window_widget : public QWidget {
public:
    neuron_window_widget();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

struct animal_type;

// The animal whose layer shape the window lays out: the one shown last, or
// null once the world's animals have been freed since (it is gone then).
animal_type* neuron_view_animal();
void neuron_view_show(animal_type* animal);

extern neuron_window_widget* neuron_window;   // made once at start-up; null before
extern bool neuron_window_active;             // show state at creation: false, so it starts hidden

void create_neuron_window();
void paint_neuron_window(QWidget* window);               // only from the window's paint event
void set_neuron_brush(surface_type& surface, double value);
