// The "Animal" window: the selected animal (or the first) as it is at every
// frame: its family, its counts, its senses and motors as labelled bars, and
// its genes as a heat map, one block per layer.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

struct animal_type;
struct window_state_type;
struct world_type;
struct view_type;

class inspector_widget : public QWidget {
public:
    explicit inspector_widget(window_state_type& state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    window_state_type& state_;   // whose selected animal it shows
    QWidget* copy_ = nullptr;    // the Copy Genes button, at the top right
};

struct inspector_bar_type {
    std::string label;   // "wall 1", "vision 3", "left motor", ...
    double value;
};

// The selected animal, or the first; null for none.
animal_type* inspector_animal(const world_type& world, const view_type& view);
std::vector<std::string> inspector_lines(const world_type& world, const animal_type* animal);   // id, parents, birth, counts
std::vector<inspector_bar_type> inspector_bars(const animal_type* animal);  // whiskers, vision, motors
void inspector_show(window_state_type& state);          // makes, shows and raises the window
void inspector_copy_genes(const window_state_type& state);   // the animal's block, in world-file form, on the clipboard
void inspector_follow(inspector_widget& inspector);     // redraws it, when shown
