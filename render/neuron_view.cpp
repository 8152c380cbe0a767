#include "render/neuron_view.h"

#include "animal/animal.h"
#include "neuron/neuron.h"
#include "render/surface.h"
#include "render/world_view.h"
#include "world/world.h"

#include <QKeyEvent>
#include <QDockWidget>
#include <QPainter>

animal_type* neuron_view_animal(const neuron_window_widget& window) { return held_animal(window.world, window.cur_animal); }

void neuron_view_show(neuron_window_widget& window, animal_type* animal) { hold_animal(window.world, window.cur_animal, animal); }

neuron_window_widget::neuron_window_widget(const world_type& world, const view_type& view)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      world(world), view(view)
{
    setWindowTitle("Neuron");
    // Beside the main window, above the Chart window: none covers another on a 1280 x 800 screen.
    move(780, 120);
    setFixedSize(200, 140);  // its close button only hides it, like typing "n"
}

void neuron_window_widget::paintEvent(QPaintEvent*) { paint_neuron_window(*this); }

void neuron_window_widget::keyPressEvent(QKeyEvent* event)
{
    // Only a lower-case "n" hides the window; no key goes any further.
    if (event->text() == QLatin1String("n")) {
        // In a dock, the dock goes.
        QWidget* holder = qobject_cast<QDockWidget*>(parentWidget()) != nullptr ? parentWidget() : this;
        holder->hide();
    }
    event->accept();
}

void set_neuron_brush(surface_type& surface, const world_type& world, double value)
{
    if (value == 0) {
        surface_select_brush(surface, world.brush_white);
    } else if (value > 0) {
        surface_select_brush(surface, world.brush_blue);
    } else {
        surface_select_brush(surface, world.brush_red);
    }
}

void paint_neuron_window(const neuron_window_widget& window)
{
    const world_type& world = window.world;
    const animal_type* cur_animal = neuron_view_animal(window);
    // A selected animal is shown; else the first of the list.
    const animal_type* selected = view_selected(world, window.view);
    const animal_type* shown = selected != nullptr ? selected : world.animals;
    if (cur_animal == nullptr || shown == nullptr || cur_animal->layer_width == 0) return;
    QPainter painter(const_cast<neuron_window_widget*>(&window));
    surface_type surface = surface_open(painter);
    surface_select_brush(surface, world.brush_white);
    const int client_width = window.width();
    const int client_height = window.height();
    surface_rectangle(surface, 0, 0, client_width, client_height);

    const int columns = static_cast<int>(cur_animal->layer_width);
    const int cell_width = client_width / columns;
    const int cell_height = client_height / static_cast<int>(cur_animal->layer_count + 1);
    int column = 0;
    int row = 0;
    for (std::uint32_t id = 0;; ++id) {
        const neuron_type* neuron = get_neuron(shown->neurons, id);
        if (neuron == nullptr) break;
        set_neuron_brush(surface, world, neuron->out);
        surface_ellipse(surface, column * cell_width, row * cell_height, (column + 1) * cell_width,
                        (row + 1) * cell_height);
        if (++column == columns) {
            column = 0;
            ++row;
        }
    }
}
