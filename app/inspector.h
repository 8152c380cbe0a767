// The "Animal" window: the selected animal (or the first) as it is at every
// frame: its family, its counts, its senses and motors as labelled bars, and
// its genes as a heat map, one block per layer.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

struct animal_type;

class inspector_widget : public QWidget {
public:
    inspector_widget();

protected:
    void paintEvent(QPaintEvent* event) override;
};

extern inspector_widget* inspector;   // made on first use; null before

struct inspector_bar_type {
    std::string label;   // "wall 1", "vision 3", "left motor", ...
    double value;
};

animal_type* inspector_animal();                                   // the selected animal, or the first; null for none
std::vector<std::string> inspector_lines(const animal_type* animal);   // id, parents, birth, counts
std::vector<inspector_bar_type> inspector_bars(const animal_type* animal);  // whiskers, vision, motors
void inspector_show();           // shows and raises the window
void inspector_copy_genes();     // the animal's block, in world-file form, on the clipboard
void inspector_follow();         // redraws it, when shown
